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
/// process, evaluated in floating point through the profile's own tables (no
/// precalculated grid): relative colorimetric (paper is L* 100), or absolute
/// colorimetric when `absolute` is true.
class ColourModel {
  public:
    /// Null with the reason in `*error` for a process that is not CMY or
    /// CMYK, or that LittleCMS cannot evaluate.
    static std::unique_ptr<ColourModel> Create(const TProc& process, std::string* error,
                                               bool absolute = false);

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

/// Where solved ink values may lie: each channel c within [0, upper[c]], and
/// all channels of a pixel together at most `total` (the total ink limit; 4
/// or more for none).
struct InkBounds {
    std::array<float, 4> upper{{1.0f, 1.0f, 1.0f, 1.0f}};
    float total = 4.0f;
};

/// Moves the free channels of one pixel (`channels` values) into `bounds`:
/// each into its range, then, when the pixel's total is over the limit, all
/// free channels down by one common amount (none below 0) until it is not.
/// Fixed channels are left as they are, even if they alone exceed the limit.
void ProjectInks(const InkBounds& bounds, unsigned freeChannels, int channels, float* values);

/// How the distance between a colour and its target is measured.
enum class ColourDifference {
    Cie94,      // CIE94, graphic arts weights at the target's chroma
    Ciede2000,  // CIEDE2000
};

struct SolveOptions {
    int maxIterations = 12;
    /// With a value above 0, a task whose distance is above it and that a
    /// step no longer brings a quarter closer stops early: for callers that
    /// only need to know whether a colour can be matched within it.
    float giveUpAbove = 0.0f;
    ColourDifference difference = ColourDifference::Cie94;
};

/// For every task, moves the free channels of `values` (Channels() per pixel)
/// within `bounds` (ProjectInks, applied to the start as well), so that the
/// pixel's colour approaches its target (three per pixel in `targets`), and
/// stores the distance that remains in `residual[pixel]`. Other channels are
/// left as they are.
/// Levenberg-Marquardt on the colour difference written as a vector whose
/// length is the difference, with a numerical Jacobian, each step projected
/// into the bounds; every step converts all pixels still moving in one
/// LittleCMS call. A task stops when it is within 0.02 of its target, or no
/// step brings it closer, or a step brings it less than 0.002 closer.
void SolveInks(ColourModel& model, const std::vector<InkTask>& tasks, const InkBounds& bounds,
               const float* targets, float* values, float* residual,
               const SolveOptions& options = SolveOptions());

}  // namespace rdz::cms
