// Finding ink values for a colour: the colour model of a CMY or CMYK process
// and a solver that moves some channels of many pixels at once until their
// colour matches a target. Ink saving (InkSaving.h) and clean colours
// (CleanColors.h) are built on it.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/cms/LcmsHandles.h"

class TProc;

namespace rdz::cms {

/// Ink values (0..1 per channel) to CIE L*a*b* (D50) through one CMY or CMYK
/// process, relative colorimetric, evaluated in floating point through the
/// profile's own tables (no precalculated grid).
class ColourModel {
  public:
    /// Null with the reason in `*error` for a process that is not CMY or
    /// CMYK, or that LittleCMS cannot evaluate.
    static std::unique_ptr<ColourModel> Create(const TProc& process, std::string* error);

    int Channels() const { return channels_; }
    /// `n` pixels of Channels() values into `n` L*a*b* triples.
    void ToLab(const float* values, float* lab, std::size_t n);

  private:
    ColourModel(TransformHandle transform, int channels);

    TransformHandle transform_;
    int channels_;
    std::vector<float> scaled_;
};

/// One pixel to solve: its index in the value and target arrays and the
/// channels (bit c for channel c) that may change.
struct InkTask {
    std::size_t pixel;
    unsigned freeChannels;
};

/// For every task, moves the free channels of `values` (Channels() per pixel),
/// each within [0, upper[c]], so that the pixel's colour approaches its
/// target (three per pixel in `targets`), and stores the distance that
/// remains (CIE94, graphic arts) in `residual[pixel]`. Other channels are left
/// as they are.
/// Levenberg-Marquardt with a numerical Jacobian; every step converts all
/// pixels still moving in one LittleCMS call.
void SolveInks(ColourModel& model, const std::vector<InkTask>& tasks,
               const std::array<float, 4>& upper, const float* targets, float* values,
               float* residual, int maxIterations);

}  // namespace rdz::cms
