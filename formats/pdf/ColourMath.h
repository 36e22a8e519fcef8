// The colour conversions a PDF's inks need, through LittleCMS: the L*a*b*
// (D50) of a spot colour's alternate colour, and the CMYK that stands for a
// spot ink in a written colour space.
//
// CMYK is turned into L*a*b* and back through the document's CMYK profile
// (relative colorimetric). Without one, the simple subtractive model stands
// in: R = (1 - c)(1 - k) and so on, read as sRGB, and back with full grey
// component replacement.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace rdz::formats::pdf {

using Lab = std::array<double, 3>;
using Cmyk = std::array<double, 4>;

class ColourMath {
  public:
    ColourMath();
    ~ColourMath();
    ColourMath(const ColourMath&) = delete;
    ColourMath& operator=(const ColourMath&) = delete;

    /// Uses `icc` (a CMYK output profile) for CMYK from now on. Returns false,
    /// and keeps the profile it had, when `icc` is not a CMYK profile
    /// LittleCMS can use.
    bool SetCmykProfile(const std::vector<unsigned char>& icc);
    bool HasCmykProfile() const;

    /// Components 0..1.
    Lab CmykToLab(const Cmyk& cmyk) const;
    Cmyk LabToCmyk(const Lab& lab) const;
    static Lab SrgbToLab(const std::array<double, 3>& rgb);
    static Lab GrayToLab(double gray);
    /// The L*a*b* of `values` (0..1, one per channel) in the ICC profile
    /// `icc` (an ICCBased colour space's stream); false when LittleCMS cannot
    /// use the profile or the count does not match it.
    bool IccToLab(const std::string& icc, const std::vector<double>& values, Lab* lab) const;

  private:
    struct Transforms;
    std::unique_ptr<Transforms> cmyk_;
    struct Embedded;
    mutable std::map<std::string, std::shared_ptr<Embedded>> embedded_;
};

}  // namespace rdz::formats::pdf
