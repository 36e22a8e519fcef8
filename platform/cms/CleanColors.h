// Clean colours in the table of a CMY(K)-to-CMY(K) device link.
//
// A node is clean when the chromatic inks it uses (its non-zero cyan,
// magenta and yellow) all belong to one clean colour of the settings: a
// primary or a secondary. Its output then uses exactly those inks, plus black
// where the input has black (both sides CMYK), and no other ink. The values of
// those inks are solved (InkSolver.h) so that the colour comes as close as
// they allow to the node's colour on the source (relative colorimetric; both
// sides absolute for an absolute colorimetric link), not to the colour the
// link gave the node: a destination whose gamut is smaller would otherwise
// bend the ramp of a clean ink. So a pure cyan gives cyan only, a red (magenta
// + yellow) magenta and yellow only, and a colour of black alone black alone
// (on every clean face).
//
// Solids stay solid: a kept ink at 100% in the input is 100% in the output,
// and from kSolidFrom up the solved value v is drawn towards 100% as
// v + (1 - v) x smoothstep((input - kSolidFrom) / (1 - kSolidFrom)), which
// keeps ramps rising.
//
// The change made at a clean node fades out into the rest of the table: a
// node that is near a clean colour, with at most 20% of the other chromatic
// inks, takes the change of its projection (those inks set to 0) weighted by
// smoothstep(1 - d / 0.2), d being the largest of the other inks (the nearest
// clean colour wins). Further nodes keep the link's colour.
#pragma once

#include <string>
#include <vector>

class TProc;
class TCleanColorsSettings;

namespace rdz::cms {

/// The version of this method, part of the key of the links it changes
/// (LinkRecipe.h): 2 since clean inks aim at the source's colour.
constexpr int kCleanColorsMethod = 2;

/// How far (in ink, 0..1) the change at clean nodes reaches into the table.
constexpr float kCleanBlendWidth = 0.2f;
/// Input value (0..1) from which a kept ink is drawn towards 100%.
constexpr float kSolidFrom = 0.9f;

/// Applies `settings` to `table` (grid^nIn nodes in LittleCMS order, the last
/// input varying fastest; nOut values 0..1 each), a link from `source` to
/// `destination`. Both sides must be CMY or CMYK (nIn, nOut 3 or 4).
/// `absolute`: colours are matched absolute colorimetric, else relative.
/// False with the reason in `*error` when a process cannot be modelled or
/// its channels are not the table's; the table is then unchanged.
bool KeepColorsClean(const TCleanColorsSettings& settings, const TProc& source,
                     const TProc& destination, bool absolute, int grid, int nIn, int nOut,
                     std::vector<float>* table, std::string* error);

}  // namespace rdz::cms
