// Ink saving: re-separating CMYK colours on one profile with grey-component
// replacement (GCR). Every colour keeps its appearance (relative
// colorimetric, through the profile) while black replaces the grey component
// of cyan, magenta and yellow, within the total ink limit.
//
// For each colour (c, m, y, k), values 0..1, with the settings of
// GcrSettings (TProcLinkGCRPar.h):
//   darkness        D = (L*paper - L*) / (L*paper - L*black) of the colour,
//                   clamped to 0..1 (L*black: all four inks at 100%)
//   black curve     Kc = maximumK x shape(t), t = (D - startK) / (1 - startK)
//                   clamped to 0..1 (no black before the start); shape by purpose:
//                   None 0 (no black generated), Light 0.6 t^2, Medium 0.8 t^1.5,
//                   InkSaving t, Heavy t^0.8
//   range weight    w = (1.2 range - s) / 0.2 clamped to 0..1, s = max(c, m, y) -
//                   min(c, m, y) the chromatic spread: colours with a spread up
//                   to 1.2 x range - 0.2 take the whole curve, the weight falls
//                   to 0 at 1.2 x range (range 0: no colour, 1: every colour)
//   black wanted    K = k + w x max(0, Kc - k), at most the black channel limit:
//                   the curve only ever adds black
// Cyan, magenta and yellow are then solved (InkSolver.h) so that the colour
// matches the original (within 0.1 CIE94) with that black, within the channel
// limits and the total ink limit. Where that black cannot match, the black
// closest to it that can is used: the most black the colour allows (the
// separation in which black has replaced one of cyan, magenta and yellow
// entirely), or, over the ink limit, the least black that brings the colour
// within it. A colour that no separation within the limits matches gets the
// closest one. So the curve sets how far black generation goes, and the
// colour itself how far it can go.
// The total ink limit is kept 2.2/255 below at the table's nodes, so that
// colours interpolated between nodes and rounded to 8 bits stay within it.
// Black-only colours stay black-only (keepBlackOnly), paper stays paper.
#pragma once

#include <string>
#include <vector>

class TProc;

namespace rdz::cms {

struct GcrSettings;

/// The version of the separation below, part of the key of the links it
/// makes (LinkRecipe.h): 2 since black goes as far as each colour allows.
constexpr int kInkSavingMethod = 2;

/// Re-separates `cmyk` (four values 0..1 per colour) in place on `process`.
/// False with the reason in `*error` when the process is not CMYK or
/// LittleCMS cannot model it; `cmyk` is then unchanged.
bool Reseparate(const TProc& process, const GcrSettings& settings, std::vector<float>* cmyk,
                std::string* error);

/// The black the curve asks for a colour (K above, before the channel limit)
/// of `darkness` (0 paper .. 1 the process's darkest colour).
double BlackFor(const GcrSettings& settings, const float* cmyk, double darkness);

/// Share of the curve's black that a colour of chromatic `spread` takes.
double RangeWeight(double range, double spread);

}  // namespace rdz::cms
