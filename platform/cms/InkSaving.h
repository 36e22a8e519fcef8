// Ink saving: re-separating CMYK colours on one profile with grey-component
// replacement (GCR). Every colour keeps its appearance (relative
// colorimetric, through the profile) while black replaces the grey component
// of cyan, magenta and yellow, within the total ink limit.
//
// For each colour (c, m, y, k), values 0..1, with the settings of
// GcrSettings (TProcLinkGCRPar.h):
//   grey component  g = min(c, m, y); chromatic spread s = max(c, m, y) - g
//   grey level      G = g + k - g k (the grey part and black printed together)
//   black curve     Kc = maximumK x shape(t), t = (G - startK) / (1 - startK)
//                   clamped to 0..1 (no black before the start); shape by purpose:
//                   None 0 (no black generated), Light 0.6 t^2, Medium 0.8 t^1.5,
//                   InkSaving t, Heavy t^0.8
//   range weight    w = 1 - s / range, clamped to 0..1 (0 for range 0): neutral
//                   colours take the whole curve, saturated ones less, pure
//                   primaries and secondaries none
//   black           K = k + w x max(0, Kc - k), at most the black channel limit:
//                   the curve only ever adds black
// Cyan, magenta and yellow are then solved (InkSolver.h) so that the colour
// matches the original with that black. Where it cannot be matched within
// 0.5 CIE94 (too much black for a light or saturated colour), the most black
// that still matches is searched by halving the interval between the
// original's black and the curve's (four steps); when none matches, the
// original separation is kept.
// A colour above the total ink limit gets more black, round by round, and
// whatever still exceeds the limit has its cyan, magenta and yellow scaled down
// (such a colour lies outside what the limited process can print). Channel
// limits bound each channel the same way. Black-only colours stay black-only
// (keepBlackOnly), paper stays paper.
#pragma once

#include <string>
#include <vector>

class TProc;

namespace rdz::cms {

struct GcrSettings;

/// Re-separates `cmyk` (four values 0..1 per colour) in place on `process`.
/// False with the reason in `*error` when the process is not CMYK or
/// LittleCMS cannot model it; `cmyk` is then unchanged.
bool Reseparate(const TProc& process, const GcrSettings& settings, std::vector<float>* cmyk,
                std::string* error);

/// The black the curve asks for a colour (K above, before the channel limit).
double BlackFor(const GcrSettings& settings, const float* cmyk);

}  // namespace rdz::cms
