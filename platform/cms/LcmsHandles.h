// Typed owners of LittleCMS handles. Every profile, transform, pipeline and
// tag object the CMS library creates lives in one of these; nothing holds a
// bare handle that must be remembered and freed by hand.
#pragma once

#include <lcms2.h>

#include <memory>

namespace rdz::cms {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
struct PipelineDeleter {
    void operator()(cmsPipeline* pipeline) const { cmsPipelineFree(pipeline); }
};
struct StageDeleter {
    void operator()(cmsStage* stage) const { cmsStageFree(stage); }
};
struct NamedColorListDeleter {
    void operator()(cmsNAMEDCOLORLIST* list) const { cmsFreeNamedColorList(list); }
};
struct MluDeleter {
    void operator()(cmsMLU* mlu) const { cmsMLUfree(mlu); }
};

/// An open ICC profile (cmsHPROFILE).
using ProfileHandle = std::unique_ptr<void, ProfileCloser>;
/// A colour transform (cmsHTRANSFORM).
using TransformHandle = std::unique_ptr<void, TransformDeleter>;
/// A pipeline of stages; owns the stages inserted into it.
using PipelineHandle = std::unique_ptr<cmsPipeline, PipelineDeleter>;
/// A stage not (yet) inserted into a pipeline.
using StageHandle = std::unique_ptr<cmsStage, StageDeleter>;
/// A colorant table.
using NamedColorListHandle = std::unique_ptr<cmsNAMEDCOLORLIST, NamedColorListDeleter>;
/// A localised text (profile description).
using MluHandle = std::unique_ptr<cmsMLU, MluDeleter>;

}  // namespace rdz::cms
