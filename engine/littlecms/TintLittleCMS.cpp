#include "engine/littlecms/TintLittleCMS.h"

#include <lcms2.h>

#include <climits>

#include "engine/TintException.h"
#include "engine/littlecms/TintLittleCMSDLProfile.h"
#include "engine/littlecms/TintLittleCMSErrorCode.h"
#include "engine/littlecms/TintLittleCMSFormat.h"
#include "engine/littlecms/TintLittleCMSLink.h"
#include "engine/littlecms/TintLittleCMSProfile.h"

TintLittleCMS* TintLittleCMS::s_instance = nullptr;

namespace {

// The profile size its header states (the first four bytes, big-endian).
unsigned long DeclaredSize(const void* data) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    return (static_cast<unsigned long>(bytes[0]) << 24) |
           (static_cast<unsigned long>(bytes[1]) << 16) |
           (static_cast<unsigned long>(bytes[2]) << 8) | static_cast<unsigned long>(bytes[3]);
}

cmsHPROFILE OpenFromMemory(const void* data, unsigned int size) {
    // LittleCMS reads a profile cut short as long as the tags it looks at
    // are whole, so a file that lost its end would pass for a good one;
    // fewer bytes than the header states is a truncated profile.
    if (data == nullptr || size < 4 || DeclaredSize(data) > size) {
        throw TintException("Could not open profile");
    }
    g_tintLittleCMSErrorCode = 0;
    cmsHPROFILE handle = cmsOpenProfileFromMem(data, size);
    if (handle == nullptr || g_tintLittleCMSErrorCode != 0) {
        if (handle != nullptr) {
            cmsCloseProfile(handle);
        }
        throw TintException("Could not open profile");
    }
    return handle;
}

// Wraps a freshly built transform (or its absence) into a link recording
// the given sides in chain order, each as colour space then channel count.
// The transform is deleted if anything fails on the way.
TintLink MakeLink(cmsHTRANSFORM transform, int bitsPerSample,
                  const std::vector<TintColorSpace>& spaces) {
    if (transform == nullptr || g_tintLittleCMSErrorCode != 0) {
        if (transform != nullptr) {
            cmsDeleteTransform(transform);
        }
        throw TintException("Error creating Link");
    }
    TintLittleCMSLink* object = nullptr;
    try {
        object = new TintLittleCMSLink(transform, bitsPerSample);
    } catch (...) {
        cmsDeleteTransform(transform);
        throw;
    }
    TintLink link(object);  // owns the object from here on
    for (TintColorSpace space : spaces) {
        object->AddColorSpace(space);
        object->AddNumberOfChannels(TintNumberOfChannels(space));
    }
    return link;
}

using PostScriptFunction = cmsUInt32Number (*)(cmsContext, cmsHPROFILE, cmsUInt32Number,
                                               cmsUInt32Number, void*, cmsUInt32Number);

bool WritePostScript(PostScriptFunction produce, cmsHPROFILE handle, cmsUInt32Number intent,
                     cmsUInt32Number flags, TintPostScriptWriter writer, void* userData) {
    if (writer == nullptr) {
        return false;
    }
    g_tintLittleCMSErrorCode = 0;
    const cmsUInt32Number size = produce(nullptr, handle, intent, flags, nullptr, 0);
    if (size == 0 || size > static_cast<cmsUInt32Number>(INT_MAX) ||
        g_tintLittleCMSErrorCode != 0) {
        throw TintException("Error Creating Postscript");
    }
    std::vector<char> buffer(size);
    g_tintLittleCMSErrorCode = 0;
    const cmsUInt32Number written = produce(nullptr, handle, intent, flags, buffer.data(), size);
    if (written == 0 || written > size || g_tintLittleCMSErrorCode != 0) {
        throw TintException("Error Creating Postscript");
    }
    const int length = static_cast<int>(written);
    return writer(length, buffer.data(), userData) == length;
}

/// A new engine object that owns `handle`; the handle is closed when the
/// object cannot be made.
template <typename Object>
Object* Adopt(cmsHPROFILE handle) {
    try {
        return new Object(handle);
    } catch (...) {
        cmsCloseProfile(handle);
        throw;
    }
}

}  // namespace

TintLittleCMS* TintLittleCMS::GetInstance() {
    if (s_instance == nullptr) {
        s_instance = new TintLittleCMS();
    }
    return s_instance;
}

void TintLittleCMS::ReleaseInstance() {
    TintLittleCMS* instance = s_instance;
    s_instance = nullptr;
    delete instance;
}

TintProfile TintLittleCMS::OpenProfile(const void* data, unsigned int size) {
    return TintProfile(Adopt<TintLittleCMSProfile>(OpenFromMemory(data, size)), m_engineId);
}

TintDLProfile TintLittleCMS::OpenDLProfile(const void* data, unsigned int size) {
    auto* object = Adopt<TintLittleCMSDLProfile>(OpenFromMemory(data, size));
    TintDLProfile profile(object, m_engineId);  // owns the object from here on
    if (m_reuseDeviceLinks) {
        object->KeepBytes(data, size);
    }
    return profile;
}

void TintLittleCMS::SetDeviceLinkReuse(bool reuse) {
    m_reuseDeviceLinks = reuse;
    if (!reuse) {
        m_keptDeviceLinks.clear();
    }
}

const TintLittleCMSProfile& TintLittleCMS::OwnProfile(const TintProfile& profile) const {
    if (!profile.IsValid()) {
        throw TintException("profile invalid");
    }
    const auto* own = profile.GetEngineId() == m_engineId
                          ? dynamic_cast<const TintLittleCMSProfile*>(profile.GetEngineProfile())
                          : nullptr;
    if (own == nullptr) {
        throw TintException("Profiles do not match");
    }
    return *own;
}

const TintLittleCMSDLProfile& TintLittleCMS::OwnProfile(const TintDLProfile& profile) const {
    if (!profile.IsValid()) {
        throw TintException("profile invalid");
    }
    const auto* own = profile.GetEngineId() == m_engineId
                          ? dynamic_cast<const TintLittleCMSDLProfile*>(profile.GetEngineProfile())
                          : nullptr;
    if (own == nullptr) {
        throw TintException("Profiles do not match");
    }
    return *own;
}

TintLink TintLittleCMS::CreateDeviceLink(const TintDLProfile& profile, TintRenderingIntent intent,
                                         int bitsPerSample, bool blackPointCompensation) {
    const TintLittleCMSDLProfile& link = OwnProfile(profile);
    if (intent == TintRI_FromProfile) {
        intent = link.GetRenderingIntent();
    }
    const TintColorSpace outSpace = link.GetOutputColorSpace();
    const TintColorSpace inSpace = link.GetInputColorSpace();
    const cmsUInt32Number outFormat = TintLittleCMSFormat(outSpace, bitsPerSample);
    const cmsUInt32Number inFormat = TintLittleCMSFormat(inSpace, bitsPerSample);

    const cmsUInt32Number cmsIntent = TintLittleCMSIntent(intent);
    const cmsUInt32Number flags = TintLittleCMSFlags(blackPointCompensation);
    const bool reuse = m_reuseDeviceLinks && !link.GetBytes().empty();
    if (reuse) {
        for (const KeptDeviceLink& kept : m_keptDeviceLinks) {
            if (kept.inFormat == inFormat && kept.outFormat == outFormat &&
                kept.intent == cmsIntent && kept.flags == flags && kept.bytes == link.GetBytes()) {
                return kept.link;
            }
        }
    }

    g_tintLittleCMSErrorCode = 0;
    cmsHTRANSFORM transform =
        cmsCreateTransform(link.GetHandle(), inFormat, nullptr, outFormat, cmsIntent, flags);
    TintLink made = MakeLink(transform, bitsPerSample, {inSpace, outSpace});
    if (reuse) {
        constexpr std::size_t kKept = 4;
        if (m_keptDeviceLinks.size() == kKept) {
            m_keptDeviceLinks.erase(m_keptDeviceLinks.begin());
        }
        m_keptDeviceLinks.push_back({link.GetBytes(), inFormat, outFormat, cmsIntent, flags, made});
    }
    return made;
}

TintLink TintLittleCMS::CreateProfileLink(const TintProfile& source, const TintProfile& destination,
                                          TintRenderingIntent intent, int bitsPerSample,
                                          bool blackPointCompensation) {
    // Both must be ours, which also makes their engine ids equal.
    const TintLittleCMSProfile& from = OwnProfile(source);
    const TintLittleCMSProfile& to = OwnProfile(destination);
    if (intent == TintRI_FromProfile) {
        intent = to.GetRenderingIntent();
    }
    const TintColorSpace toSpace = to.GetColorSpace();
    const TintColorSpace fromSpace = from.GetColorSpace();
    const cmsUInt32Number toFormat = TintLittleCMSFormat(toSpace, bitsPerSample);
    const cmsUInt32Number fromFormat = TintLittleCMSFormat(fromSpace, bitsPerSample);

    g_tintLittleCMSErrorCode = 0;
    cmsHTRANSFORM transform =
        cmsCreateTransform(from.GetHandle(), fromFormat, to.GetHandle(), toFormat,
                           TintLittleCMSIntent(intent), TintLittleCMSFlags(blackPointCompensation));
    return MakeLink(transform, bitsPerSample, {fromSpace, toSpace});
}

TintLink TintLittleCMS::CreateMultiProfileLink(const std::vector<TintProfile>& profiles,
                                               TintRenderingIntent intent, int bitsPerSample,
                                               bool blackPointCompensation) {
    if (profiles.empty()) {
        throw TintException("profile chain is empty");
    }
    std::vector<cmsHPROFILE> handles;
    std::vector<TintColorSpace> spaces;
    handles.reserve(profiles.size());
    spaces.reserve(profiles.size());
    for (const TintProfile& profile : profiles) {
        const TintLittleCMSProfile& own = OwnProfile(profile);
        handles.push_back(own.GetHandle());
        spaces.push_back(own.GetColorSpace());
    }
    if (intent == TintRI_FromProfile) {
        intent = profiles.back().GetRenderingIntent();
    }
    const cmsUInt32Number outFormat = TintLittleCMSFormat(spaces.back(), bitsPerSample);
    const cmsUInt32Number inFormat = TintLittleCMSFormat(spaces.front(), bitsPerSample);

    g_tintLittleCMSErrorCode = 0;
    cmsHTRANSFORM transform = cmsCreateMultiprofileTransform(
        handles.data(), static_cast<cmsUInt32Number>(handles.size()), inFormat, outFormat,
        TintLittleCMSIntent(intent), TintLittleCMSFlags(blackPointCompensation));
    return MakeLink(transform, bitsPerSample, spaces);
}

bool TintLittleCMS::GetPostScriptCRD(const TintProfile& profile, TintRenderingIntent intent,
                                     TintPostScriptWriter writer, void* userData,
                                     bool blackPointCompensation) {
    const TintLittleCMSProfile& own = OwnProfile(profile);
    return WritePostScript(cmsGetPostScriptCRD, own.GetHandle(), TintLittleCMSIntent(intent),
                           TintLittleCMSFlags(blackPointCompensation), writer, userData);
}

bool TintLittleCMS::GetPostScriptCSA(const TintProfile& profile, TintRenderingIntent intent,
                                     TintPostScriptWriter writer, void* userData) {
    const TintLittleCMSProfile& own = OwnProfile(profile);
    return WritePostScript(cmsGetPostScriptCSA, own.GetHandle(), TintLittleCMSIntent(intent), 0,
                           writer, userData);
}

void TintLittleCMS::SetCMM(bool /*adobeCMM*/) {}
