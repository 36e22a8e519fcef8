// How spot inks mix with the process colour and with each other.
//
// Colours are mixed as CIE XYZ relative to the PCS white (D50), which stands
// for the paper: 1.0 is the paper, 0.0 absorbs everything. The process inks
// of a pixel give the starting colour through the source profile (with no
// process ink, the source profile's paper). The spot inks are then laid down
// one after the other, in input order, each with its tint t (byte / 255) and
// opacity o (0 transparent .. 1 opaque); r is the ink's own colour at full
// tint on white paper, from its L*a*b*:
//
//   transparent part:  C' = C * ((1 - t) + t * r)      the ink filters the light
//   opaque part:       C' = C * (1 - t) + t * r        the ink covers what lies below
//   mixed:             C' = (1 - o) * transparent + o * opaque
//
// each for X, Y and Z. Both are area-coverage (Murray-Davies) models with no
// dot gain or trapping. The result goes to the destination through its
// profile as L*a*b*. Everything per tint is tabulated once per strategy.
// Which opacity an ink is mixed with (its book's, or the caller's): InkRules.h.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace rdz::cms {

/// One spot ink's effect per tint: C' = C * scale[t] + offset[t].
struct SpotInkTable {
    std::vector<std::array<float, 3>> scale;   // 256 entries
    std::vector<std::array<float, 3>> offset;  // 256 entries
};

SpotInkTable MakeSpotInkTable(const std::array<double, 3>& lab, double opacity);

/// XYZ relative to the PCS white from LittleCMS's 16-bit XYZ encoding.
void DecodeXYZ16(const std::uint16_t* xyz, float* relative);

/// Relative XYZ to LittleCMS's 16-bit L*a*b* encoding (ICC v4), with the
/// cube root of CIE L*a*b* read from a table.
class LabEncoder {
  public:
    LabEncoder();
    void Encode(const float* relative, std::uint16_t* lab) const;

  private:
    float F(float ratio) const;
    std::vector<float> table_;
};

}  // namespace rdz::cms
