// Inks built from the colour values a document keeps on an ink that the CMS
// database does not know (TIDB_GetColorInk).
//
// "calibrator": three RGB components 0..1, read as sRGB (IEC 61966-2-1).
// "crom_offs":  four components 0..1, each one minus the coverage of cyan,
//               magenta, yellow and black. The coverages are turned into
//               sRGB the simple subtractive way, R = (1 - c)(1 - k),
//               G = (1 - m)(1 - k), B = (1 - y)(1 - k), and read as above.
// The sRGB colour becomes CIE L*a*b* (D50) through LittleCMS's sRGB profile,
// relative colorimetric. Components outside 0..1 are clamped (and said so in
// the message); a component that is not a number refuses the ink. The ink
// takes the name as it is given (any bytes, control characters included):
// documents name their inks as they please, and an ink the library cannot
// build would be left out of every paint that uses it.
#pragma once

#include <memory>
#include <string>
#include <vector>

class TInk;

namespace rdz::cms {

/// The ink, or null with the reason in `*message` (when not null). On
/// success `*message` describes how the colour was derived.
std::shared_ptr<TInk> BuildColorInk(const std::string& colorSpace,
                                    const std::vector<double>& values, double opacity,
                                    const char* name, const std::string& book,
                                    std::string* message);

}  // namespace rdz::cms
