// What reading a PDF tells the operator: warnings about what it leaves as it
// is, and one warning counting the colours that are not inks.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "formats/DocumentFormat.h"

namespace rdz::formats::pdf {

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
    /// How many warnings of their own were given so far.
    std::size_t WarningCount() const { return warnings_.size(); }
    /// The warnings of their own from the `first`-th on; `file` starts each.
    std::vector<std::string> WarningsFrom(std::size_t first, const std::string& file) const;

  private:
    std::vector<std::string> warnings_;
    std::vector<LeftAlone> left_;
};

}  // namespace rdz::formats::pdf
