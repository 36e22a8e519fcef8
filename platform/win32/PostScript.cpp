// PostScript colour-rendering dictionaries and colour-space arrays.
#include <lcms2.h>

#include <climits>
#include <vector>

#include "host/win32_icm.h"
#include "platform/win32/ColorProfileData.h"
#include "platform/win32/Guarded.h"

namespace {

using Produce = cmsUInt32Number (*)(cmsContext, cmsHPROFILE, cmsUInt32Number, cmsUInt32Number,
                                    void*, cmsUInt32Number);

// Channels a colour-space array type describes; 0 for an unknown type.
int ChannelsOfArrayType(DWORD type) {
    switch (type) {
        case CSA_A:
        case CSA_GRAY:
            return 1;
        case CSA_ABC:
        case CSA_DEF:
        case CSA_RGB:
        case CSA_Lab:
            return 3;
        case CSA_DEFG:
        case CSA_CMYK:
            return 4;
        default:
            return 0;
    }
}

// LittleCMS writes ASCII PostScript without a terminating zero; the data is
// handed over exactly as written and reported as not binary.
BOOL Deliver(Produce produce, cmsHPROFILE handle, DWORD intent, PBYTE buffer, PDWORD size,
             PBOOL binary) {
    if (size == nullptr || binary == nullptr || intent > INTENT_ABSOLUTE_COLORIMETRIC) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const cmsUInt32Number needed = produce(nullptr, handle, intent, 0, nullptr, 0);
    if (needed == 0 || needed > INT_MAX) {
        SetLastError(ERROR_INVALID_PROFILE);
        return FALSE;
    }
    *binary = FALSE;
    if (buffer == nullptr) {
        *size = needed;
        return TRUE;
    }
    if (*size < needed) {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    *size = produce(nullptr, handle, intent, 0, buffer, needed);
    return *size != 0 ? TRUE : FALSE;
}

}  // namespace

extern "C" BOOL WINAPI GetPS2ColorRenderingDictionary(HPROFILE hProfile, DWORD dwIntent,
                                                      PBYTE pBuffer, PDWORD pcbSize,
                                                      PBOOL pbBinary) {
    const rdz_win32::ColorProfileData* profile = rdz_win32::FindProfile(hProfile);
    if (profile == nullptr) {
        return FALSE;
    }
    return rdz_win32::Guarded<BOOL>(FALSE, [&] {
        return Deliver(cmsGetPostScriptCRD, profile->Handle(), dwIntent, pBuffer, pcbSize,
                       pbBinary);
    });
}

extern "C" BOOL WINAPI GetPS2ColorSpaceArray(HPROFILE hProfile, DWORD dwIntent, DWORD dwCSAType,
                                             PBYTE pBuffer, PDWORD pcbSize, PBOOL pbBinary) {
    const rdz_win32::ColorProfileData* profile = rdz_win32::FindProfile(hProfile);
    if (profile == nullptr) {
        return FALSE;
    }
    const int channels = ChannelsOfArrayType(dwCSAType);
    if (channels == 0 || static_cast<cmsUInt32Number>(channels) !=
                             cmsChannelsOf(cmsGetColorSpace(profile->Handle()))) {
        SetLastError(ERROR_COLORSPACE_MISMATCH);
        return FALSE;
    }
    return rdz_win32::Guarded<BOOL>(FALSE, [&] {
        return Deliver(cmsGetPostScriptCSA, profile->Handle(), dwIntent, pBuffer, pcbSize,
                       pbBinary);
    });
}
