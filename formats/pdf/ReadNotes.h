// What reading a PDF tells the operator: warnings about what it leaves as it
// is, and one warning counting the colours that are not inks.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace rdz::formats::pdf {

/// Something of the file that the conversion leaves as it is.
struct LeftAlone {
    std::string what;   // "colour", "image", "shading"
    std::string kind;   // its colour space: "DeviceRGB", "Lab", ...
    std::string where;  // "page 3", "form 12 0 R (page 3)"
};

class ReadNotes {
  public:
    /// A colour, image or shading in a colour space that is not inks.
    void Left(const std::string& what, const std::string& kind, const std::string& where);
    /// A warning of its own (said once however often it is given).
    void Warn(const std::string& text);

    /// The warnings, in the order given, then the one counting the colours
    /// that are not inks; `file` starts each.
    std::vector<std::string> Warnings(const std::string& file) const;
    const std::vector<LeftAlone>& Left() const { return left_; }

  private:
    std::vector<std::string> warnings_;
    std::vector<LeftAlone> left_;
};

}  // namespace rdz::formats::pdf
