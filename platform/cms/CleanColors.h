// Clean colours in the table of a CMY(K)-to-CMY(K) device link.
//
// A node is clean when the chromatic inks it uses (its non-zero cyan,
// magenta and yellow) all belong to one clean colour of the settings: a
// primary or a secondary. Its output then uses exactly those inks, plus black
// where the input has black (both sides CMYK), and no other ink; the values of
// those inks are solved (InkSolver.h) so that the colour comes as close as
// they allow to the colour the link gave the node before. So a pure cyan gives
// cyan only, a red (magenta + yellow) magenta and yellow only, and a colour of
// black alone black alone (on every clean face).
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

/// How far (in ink, 0..1) the change at clean nodes reaches into the table.
constexpr float kCleanBlendWidth = 0.2f;

/// Applies `settings` to `table` (grid^nIn nodes in LittleCMS order, the last
/// input varying fastest; nOut values 0..1 each), whose output is on
/// `destination`. Both sides must be CMY or CMYK (nIn, nOut 3 or 4). False with
/// the reason in `*error` when the destination cannot be modelled; the table
/// is then unchanged.
bool KeepColorsClean(const TCleanColorsSettings& settings, const TProc& destination, int grid,
                     int nIn, int nOut, std::vector<float>* table, std::string* error);

}  // namespace rdz::cms
