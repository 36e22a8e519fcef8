// Probes of the colour system, over the same declarations the engine uses:
// the stand-in off Windows, the real system on Windows.
#include <cstdio>
#include <memory>
#include <vector>

#include "SystemControls.h"
#include "host/win32_icm.h"

namespace {

// An open profile handle, closed on destruction.
class OpenedProfile {
  public:
    explicit OpenedProfile(const SystemBytes& bytes) {
        PROFILE description{PROFILE_MEMBUFFER, const_cast<unsigned char*>(bytes.data()),
                            static_cast<DWORD>(bytes.size())};
        m_handle = OpenColorProfileA(&description, PROFILE_READ, 0, OPEN_EXISTING);
    }
    ~OpenedProfile() {
        if (m_handle != nullptr) {
            CloseColorProfile(m_handle);
        }
    }
    OpenedProfile(const OpenedProfile&) = delete;
    OpenedProfile& operator=(const OpenedProfile&) = delete;

    HPROFILE Handle() const { return m_handle; }

  private:
    HPROFILE m_handle = nullptr;
};

std::string Because(const std::string& what) {
    char code[32];
    std::snprintf(code, sizeof code, " (last error %lu)",
                  static_cast<unsigned long>(GetLastError()));
    return SystemName() + ": " + what + code;
}

}  // namespace

std::string SystemCannotLink(const std::vector<SystemBytes>& profiles, DWORD intent) {
    std::vector<std::unique_ptr<OpenedProfile>> opened;
    std::vector<HPROFILE> handles;
    for (const SystemBytes& bytes : profiles) {
        opened.push_back(std::make_unique<OpenedProfile>(bytes));
        if (opened.back()->Handle() == nullptr) {
            return Because("OpenColorProfileA refuses a profile of the chain");
        }
        handles.push_back(opened.back()->Handle());
    }
    std::vector<DWORD> intents(handles.size(), intent);
    SetLastError(0);
    HTRANSFORM transform = CreateMultiProfileTransform(
        handles.data(), static_cast<DWORD>(handles.size()), intents.data(),
        static_cast<DWORD>(intents.size()), BEST_MODE | ENABLE_GAMUT_CHECKING, INDEX_DONT_CARE);
    if (transform == nullptr) {
        const std::string count = std::to_string(handles.size());
        return Because("CreateMultiProfileTransform builds no transform through " + count +
                       (handles.size() == 1 ? " profile (a device link)" : " profiles"));
    }
    DeleteColorTransform(transform);
    return std::string();
}

std::string SystemCannotWritePostScript(const SystemBytes& profile, bool crd) {
    OpenedProfile opened(profile);
    if (opened.Handle() == nullptr) {
        return Because("OpenColorProfileA refuses the profile");
    }
    DWORD size = 0;
    BOOL binary = FALSE;
    SetLastError(0);
    const BOOL given = crd ? GetPS2ColorRenderingDictionary(opened.Handle(), INTENT_PERCEPTUAL,
                                                            nullptr, &size, &binary)
                           : GetPS2ColorSpaceArray(opened.Handle(), INTENT_PERCEPTUAL, CSA_RGB,
                                                   nullptr, &size, &binary);
    if (!given || size == 0) {
        return Because(
            std::string(crd ? "GetPS2ColorRenderingDictionary" : "GetPS2ColorSpaceArray") +
            " gives no PostScript for a valid profile");
    }
    return std::string();
}

bool SystemAcceptsProfile(const SystemBytes& profile) {
    OpenedProfile opened(profile);
    BOOL valid = FALSE;
    return opened.Handle() != nullptr && IsColorProfileValid(opened.Handle(), &valid) && valid;
}

std::string SystemLabTripletsDiffer(const SystemBytes& srgb, const SystemBytes& lab) {
    OpenedProfile from(srgb);
    OpenedProfile to(lab);
    HPROFILE handles[2] = {from.Handle(), to.Handle()};
    DWORD intents[2] = {INTENT_RELATIVE_COLORIMETRIC, INTENT_RELATIVE_COLORIMETRIC};
    HTRANSFORM transform = CreateMultiProfileTransform(
        handles, 2, intents, 2, BEST_MODE | ENABLE_GAMUT_CHECKING, INDEX_DONT_CARE);
    if (transform == nullptr) {
        return Because("CreateMultiProfileTransform builds no sRGB to Lab transform");
    }
    unsigned char white[4] = {255, 255, 255, 0};
    unsigned char out[4] = {0, 0, 0, 0};
    const BOOL done = TranslateBitmapBits(transform, white, BM_BGRTRIPLETS, 1, 1, 0, out,
                                          BM_LabTRIPLETS, 0, nullptr, 0);
    DeleteColorTransform(transform);
    if (!done) {
        return Because("TranslateBitmapBits converts no pixels to BM_LabTRIPLETS");
    }
    // White is L 100, a 0, b 0: L's byte is 255, the others 128.
    if (out[2] >= 250 && out[0] < 250) {
        return std::string();
    }
    char bytes[64];
    std::snprintf(bytes, sizeof bytes, "%u %u %u", out[0], out[1], out[2]);
    return SystemName() + ": TranslateBitmapBits gives white as BM_LabTRIPLETS bytes " + bytes +
           " (L first), not b, a, L as the engine hands Lab pixels over";
}
