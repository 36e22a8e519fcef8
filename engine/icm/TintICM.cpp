#include "engine/icm/TintICM.h"

#include "engine/TintCMMPreferences.h"
#include "engine/TintException.h"
#include "engine/icm/TintICMDLProfile.h"
#include "engine/icm/TintICMHeader.h"
#include "engine/icm/TintICMLink.h"
#include "engine/icm/TintICMPostScript.h"
#include "engine/icm/TintICMProfile.h"

TintICM* TintICM::s_instance = nullptr;

namespace {

constexpr DWORD kTransformFlags = BEST_MODE | ENABLE_GAMUT_CHECKING;
constexpr DWORD kAdobeCMM = 0x41444245;    // 'ADBE'
constexpr DWORD kWindowsCMM = 0x57696E20;  // 'Win '

// Builds the transform and wraps it into a link recording `spaces` in chain
// order; the transform is deleted if the link cannot be made.
TintLink MakeLink(std::vector<HPROFILE>& handles, DWORD intent, int bitsPerSample,
                  const std::vector<TintColorSpace>& spaces) {
    std::vector<DWORD> intents(handles.size(), intent);
    HTRANSFORM transform = CreateMultiProfileTransform(
        handles.data(), static_cast<DWORD>(handles.size()), intents.data(),
        static_cast<DWORD>(intents.size()), kTransformFlags, INDEX_DONT_CARE);
    if (transform == nullptr) {
        throw TintException("Error Creating Link");
    }
    TintICMLink* object = nullptr;
    try {
        object = new TintICMLink(transform, bitsPerSample);
    } catch (...) {
        DeleteColorTransform(transform);
        throw;
    }
    TintLink link(object);  // owns the object from here on
    for (TintColorSpace space : spaces) {
        object->AddColorSpace(space);
        object->AddNumberOfChannels(TintNumberOfChannels(space));
    }
    return link;
}

DWORD CheckedIntent(TintRenderingIntent intent) {
    const DWORD handedOver = TintICMIntent(intent);
    if (handedOver == kTintICMInvalidIntent) {
        throw TintException("invalid rendering intent");
    }
    return handedOver;
}

/// A new engine object that owns `handle`; the handle is closed when the
/// object cannot be made.
template <typename Object>
Object* Adopt(HPROFILE handle) {
    try {
        return new Object(handle);
    } catch (...) {
        CloseColorProfile(handle);
        throw;
    }
}

}  // namespace

TintICM* TintICM::GetInstance() {
    if (s_instance == nullptr) {
        s_instance = new TintICM();
    }
    return s_instance;
}

void TintICM::ReleaseInstance() {
    TintICM* instance = s_instance;
    s_instance = nullptr;
    delete instance;
}

HPROFILE TintICM::OpenChecked(const void* data, unsigned int size) const {
    PROFILE description{PROFILE_MEMBUFFER, const_cast<void*>(data), size};
    HPROFILE handle = OpenColorProfileA(&description, PROFILE_READ, 0, OPEN_EXISTING);
    BOOL valid = FALSE;
    if (handle == nullptr || !IsColorProfileValid(handle, &valid) || !valid) {
        if (handle != nullptr) {
            CloseColorProfile(handle);
        }
        throw TintException("created profile is invalid");
    }
    return handle;
}

TintProfile TintICM::OpenProfile(const void* data, unsigned int size) {
    return TintProfile(Adopt<TintICMProfile>(OpenChecked(data, size)), m_engineId);
}

TintDLProfile TintICM::OpenDLProfile(const void* data, unsigned int size) {
    return TintDLProfile(Adopt<TintICMDLProfile>(OpenChecked(data, size)), m_engineId);
}

void TintICM::HandOverBlackPointCompensation(bool blackPointCompensation) const {
    if (m_cmmChoice == 1) {
        TintCMMPreferences::GetInstance()->SetBlackPointCompensation(blackPointCompensation);
    }
}

HPROFILE TintICM::OwnHandle(const TintProfile& profile, const char* mismatchMessage) const {
    if (!profile.IsValid()) {
        throw TintException("profile invalid");
    }
    const auto* own = profile.GetEngineId() == m_engineId
                          ? dynamic_cast<const TintICMProfile*>(profile.GetEngineProfile())
                          : nullptr;
    if (own == nullptr) {
        throw TintException(mismatchMessage);
    }
    return own->GetHandle();
}

TintLink TintICM::CreateDeviceLink(const TintDLProfile& profile, TintRenderingIntent intent,
                                   int bitsPerSample, bool blackPointCompensation) {
    HandOverBlackPointCompensation(blackPointCompensation);
    if (intent == TintRI_FromProfile) {
        intent = profile.GetRenderingIntent();
    }
    const auto* own = profile.GetEngineId() == m_engineId
                          ? dynamic_cast<const TintICMDLProfile*>(profile.GetEngineProfile())
                          : nullptr;
    if (own == nullptr) {
        if (!profile.IsValid()) {
            throw TintException("profile invalid");
        }
        throw TintException("Error misMatchingTypes");
    }
    const DWORD handedOver = CheckedIntent(intent);
    std::vector<HPROFILE> handles{own->GetHandle()};
    return MakeLink(handles, handedOver, bitsPerSample,
                    {own->GetInputColorSpace(), own->GetOutputColorSpace()});
}

TintLink TintICM::CreateMultiProfileLink(const std::vector<TintProfile>& profiles,
                                         TintRenderingIntent intent, int bitsPerSample,
                                         bool blackPointCompensation) {
    HandOverBlackPointCompensation(blackPointCompensation);
    if (profiles.empty()) {
        throw TintException("profile chain is empty");
    }
    if (intent == TintRI_FromProfile) {
        intent = profiles.back().GetRenderingIntent();
    }
    std::vector<HPROFILE> handles;
    std::vector<TintColorSpace> spaces;
    for (const TintProfile& profile : profiles) {
        handles.push_back(OwnHandle(profile, "Profiles do not match"));
        spaces.push_back(profile.GetColorSpace());
    }
    return MakeLink(handles, CheckedIntent(intent), bitsPerSample, spaces);
}

TintLink TintICM::CreateProfileLink(const TintProfile& source, const TintProfile& destination,
                                    TintRenderingIntent intent, int bitsPerSample,
                                    bool blackPointCompensation) {
    HandOverBlackPointCompensation(blackPointCompensation);
    if (intent == TintRI_FromProfile) {
        intent = destination.GetRenderingIntent();
    }
    // Both ours, which also makes their engine ids equal.
    std::vector<HPROFILE> handles{OwnHandle(source, "Profiles do not match"),
                                  OwnHandle(destination, "Profiles do not match")};
    return MakeLink(handles, CheckedIntent(intent), bitsPerSample,
                    {source.GetColorSpace(), destination.GetColorSpace()});
}

bool TintICM::GetPostScriptCRD(const TintProfile& profile, TintRenderingIntent intent,
                               TintPostScriptWriter writer, void* userData,
                               bool /*blackPointCompensation*/) {
    HPROFILE handle = OwnHandle(profile, "Profiles do not match");
    const DWORD handedOver = TintICMIntent(intent);
    return TintICMWritePostScript(
        [&](PBYTE buffer, PDWORD size, PBOOL binary) {
            return GetPS2ColorRenderingDictionary(handle, handedOver, buffer, size, binary);
        },
        writer, userData);
}

bool TintICM::GetPostScriptCSA(const TintProfile& profile, TintRenderingIntent intent,
                               TintPostScriptWriter writer, void* userData) {
    HPROFILE handle = OwnHandle(profile, "Profiles do not match");
    const DWORD handedOver = TintICMIntent(intent);
    PROFILEHEADER header{};
    if (!GetColorProfileHeader(handle, &header)) {
        return false;
    }
    DWORD type = 0;
    switch (header.phDataColorSpace) {
        case SPACE_CMYK:
            type = CSA_CMYK;
            break;
        case SPACE_GRAY:
            type = CSA_GRAY;
            break;
        case SPACE_Lab:
            type = CSA_Lab;
            break;
        case SPACE_RGB:
            type = CSA_RGB;
            break;
        case SPACE_XYZ:
            type = CSA_ABC;
            break;
        default:
            return false;
    }
    return TintICMWritePostScript(
        [&](PBYTE buffer, PDWORD size, PBOOL binary) {
            return GetPS2ColorSpaceArray(handle, handedOver, type, buffer, size, binary);
        },
        writer, userData);
}

void TintICM::SetCMM(bool adobeCMM) {
    m_cmmChoice = adobeCMM ? 1 : 0;
    if (!SelectCMM(adobeCMM ? kAdobeCMM : kWindowsCMM)) {
        throw TintException("Could not select CMM");
    }
}
