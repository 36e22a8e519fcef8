// Typed owners of LittleCMS handles. Every profile and transform the CMS
// library opens lives in one of these; nothing holds a bare handle that must
// be remembered and closed by hand.
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

/// An open ICC profile (cmsHPROFILE).
using ProfileHandle = std::unique_ptr<void, ProfileCloser>;
/// A colour transform (cmsHTRANSFORM).
using TransformHandle = std::unique_ptr<void, TransformDeleter>;

}  // namespace rdz::cms
