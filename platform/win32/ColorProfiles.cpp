// Opening, checking and reading profiles.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32/ColorProfileData.h"
#include "platform/win32/StandInState.h"

using rdz_win32::ColorProfileData;
using rdz_win32::FindProfile;

namespace {

std::shared_ptr<ColorProfileData> OpenFile(const char* name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ColorProfileData::Open(bytes.data(), bytes.size());
}

// Fixed-point s15.16 of the ICC header as the 2.30 of CIEXYZ.
FXPT2DOT30 ToFixed2Dot30(std::uint32_t s15Fixed16) {
    return static_cast<FXPT2DOT30>(static_cast<std::uint32_t>(s15Fixed16 << 14));
}

}  // namespace

extern "C" HPROFILE WINAPI OpenColorProfileA(PPROFILE pProfile, DWORD dwDesiredAccess,
                                             DWORD /*dwShareMode*/, DWORD /*dwCreationMode*/) {
    if (pProfile == nullptr || pProfile->pProfileData == nullptr ||
        (dwDesiredAccess != PROFILE_READ && dwDesiredAccess != PROFILE_READWRITE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<ColorProfileData> data;
    if (pProfile->dwType == PROFILE_MEMBUFFER) {
        data = ColorProfileData::Open(pProfile->pProfileData, pProfile->cbDataSize);
    } else if (pProfile->dwType == PROFILE_FILENAME) {
        data = OpenFile(static_cast<const char*>(pProfile->pProfileData));
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PROFILE);
        return nullptr;
    }
    auto handle = std::make_unique<rdz_win32::ProfileHandle>();
    handle->data = std::move(data);
    return rdz_win32::ProfileHandles().Add(std::move(handle));
}

extern "C" BOOL WINAPI IsColorProfileValid(HPROFILE hProfile, PBOOL pbValid) {
    const ColorProfileData* profile = FindProfile(hProfile);
    if (profile == nullptr) {
        return FALSE;
    }
    if (pbValid == nullptr || rdz_win32::State().validityCheckFails) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *pbValid = profile->IsWellFormed() ? TRUE : FALSE;
    return TRUE;
}

extern "C" BOOL WINAPI CloseColorProfile(HPROFILE hProfile) {
    if (!rdz_win32::ProfileHandles().Remove(hProfile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI GetColorProfileHeader(HPROFILE hProfile, PPROFILEHEADER pHeader) {
    const ColorProfileData* profile = FindProfile(hProfile);
    if (profile == nullptr) {
        return FALSE;
    }
    if (pHeader == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PROFILEHEADER header{};
    DWORD* numbers[] = {
        &header.phSize,          &header.phCMMType,        &header.phVersion,
        &header.phClass,         &header.phDataColorSpace, &header.phConnectionSpace,
        &header.phDateTime[0],   &header.phDateTime[1],    &header.phDateTime[2],
        &header.phSignature,     &header.phPlatform,       &header.phProfileFlags,
        &header.phManufacturer,  &header.phModel,          &header.phAttributes[0],
        &header.phAttributes[1], &header.phRenderingIntent};
    std::size_t at = 0;
    for (DWORD* number : numbers) {
        *number = profile->Big32(at);
        at += 4;
    }
    header.phIlluminant.ciexyzX = ToFixed2Dot30(profile->Big32(68));
    header.phIlluminant.ciexyzY = ToFixed2Dot30(profile->Big32(72));
    header.phIlluminant.ciexyzZ = ToFixed2Dot30(profile->Big32(76));
    header.phCreator = profile->Big32(80);
    std::memcpy(header.phReserved, profile->Bytes().data() + 84, sizeof(header.phReserved));
    *pHeader = header;
    return TRUE;
}

extern "C" BOOL WINAPI GetColorProfileElement(HPROFILE hProfile, TAGTYPE tag, DWORD dwOffset,
                                              PDWORD pcbElement, PVOID pElement,
                                              PBOOL pbReference) {
    const ColorProfileData* profile = FindProfile(hProfile);
    if (profile == nullptr) {
        return FALSE;
    }
    if (pcbElement == nullptr || pbReference == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    if (!profile->FindTag(tag, offset, size)) {
        SetLastError(ERROR_TAG_NOT_FOUND);
        return FALSE;
    }
    *pbReference = profile->IsSharedTag(tag) ? TRUE : FALSE;
    if (pElement == nullptr) {
        // As the system does: the size comes with FALSE, not TRUE.
        *pcbElement = size;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (dwOffset > size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD count = std::min<DWORD>(*pcbElement, size - dwOffset);
    std::memcpy(pElement, profile->Bytes().data() + offset + dwOffset, count);
    *pcbElement = count;
    return TRUE;
}
