// Profiles and device links for the engine tests, made with LittleCMS at
// test time or read from Debian's profiles, and LittleCMS handle owners.
#pragma once

#include <lcms2.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/TintException.h"
#include "engine/littlecms/TintLittleCMS.h"

using Bytes = std::vector<unsigned char>;

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using TransformPtr = std::unique_ptr<void, TransformDeleter>;

/// A profile from /usr/share/color/icc/ghostscript/; empty if not installed.
Bytes GhostscriptProfile(const std::string& name);
Bytes Save(cmsHPROFILE profile);
/// LittleCMS's own view of `bytes`: the reference the tests compare against.
ProfilePtr Open(const Bytes& bytes);
TintProfile OpenProfile(const Bytes& bytes);
TintDLProfile OpenDL(const Bytes& bytes);

/// A profile made of a header and no tags.
Bytes HeaderOnlyProfile(cmsProfileClassSignature deviceClass, cmsColorSpaceSignature space,
                        cmsColorSpaceSignature pcs, double version);
/// A device link from `in` to `out` whose A2B0 copies input channel
/// k % inputs to output k and, with `saturationInverts`, whose A2B2 inverts.
ProfilePtr ClutDeviceLink(cmsColorSpaceSignature in, cmsColorSpaceSignature out,
                          cmsUInt32Number headerIntent = 0, bool saturationInverts = false);
/// Adds a colorant table ('clrt' or 'clot') naming `names`.
void AddColorantTable(cmsHPROFILE profile, cmsTagSignature tag,
                      const std::vector<std::string>& names);
/// Spoils the type signature of `tag` in `bytes`: listed, but unreadable.
bool DamageTag(Bytes& bytes, cmsTagSignature tag);
/// Deterministic pseudo-random bytes.
Bytes Noise(std::size_t size, unsigned int seed);

/// what() of the exception `action` throws, or "<no exception>".
template <class Action>
std::string ThrownMessage(Action&& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no exception>";
}
