// What a colour-system transform handle stands for.
#pragma once

#include <lcms2.h>

#include <memory>
#include <mutex>
#include <vector>

#include "platform/win32/ColorProfileData.h"

namespace rdz_win32 {

/// A transform through a chain of profiles with one intent per profile.
/// Windows chooses pixel formats per call, LittleCMS per transform: the
/// LittleCMS transform for each pair of formats is built on first use and
/// kept. The profiles are shared, so closing their handles does no harm.
/// For may be called from several threads at once.
class ColorTransformData {
  public:
    /// Checks that LittleCMS can link the chain and keeps what the later
    /// transforms need; null when it cannot. `intents` has one entry per
    /// profile.
    static std::unique_ptr<ColorTransformData> Create(
        std::vector<std::shared_ptr<ColorProfileData>> profiles,
        std::vector<cmsUInt32Number> intents, bool blackPointCompensation);
    ~ColorTransformData();
    ColorTransformData(const ColorTransformData&) = delete;
    ColorTransformData& operator=(const ColorTransformData&) = delete;

    /// The LittleCMS transform from `inputFormat` to `outputFormat`, or null
    /// when the formats do not fit the chain's colour spaces. Owned here.
    cmsHTRANSFORM For(cmsUInt32Number inputFormat, cmsUInt32Number outputFormat);

  private:
    ColorTransformData() = default;
    cmsHTRANSFORM Build(cmsUInt32Number inputFormat, cmsUInt32Number outputFormat,
                        cmsUInt32Number flags);

    struct Built {
        cmsUInt32Number inputFormat;
        cmsUInt32Number outputFormat;
        cmsHTRANSFORM transform;
    };

    std::vector<std::shared_ptr<ColorProfileData>> m_profiles;
    std::vector<cmsHPROFILE> m_handles;
    std::vector<cmsUInt32Number> m_intents;
    std::vector<cmsBool> m_blackPointCompensation;
    std::vector<cmsFloat64Number> m_adaptationStates;
    cmsUInt32Number m_flags = 0;
    std::mutex m_mutex;  // guards m_built
    std::vector<Built> m_built;
};

/// The process-wide registry of open transform handles.
HandleRegistry<ColorTransformData>& TransformHandles();

}  // namespace rdz_win32
