// Building transforms and running pixels and colour records through them.
#include <cstdint>
#include <vector>

#include "platform/win32/BitmapFormats.h"
#include "platform/win32/ColorManagementModule.h"
#include "platform/win32/ColorRecords.h"
#include "platform/win32/ColorTransformData.h"
#include "platform/win32/Guarded.h"

using rdz_win32::ColorTransformData;
using rdz_win32::Guarded;

namespace {

ColorTransformData* FindTransform(HTRANSFORM handle) {
    ColorTransformData* found = rdz_win32::TransformHandles().Find(handle);
    if (found == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return found;
}

// Bytes from one row to the next: the stride given, or with 0 the row
// padded to a multiple of four bytes. 0 when the stride cannot hold a row.
std::uint64_t RowStride(DWORD stride, DWORD width, unsigned int bytesPerPixel) {
    const std::uint64_t row = std::uint64_t(width) * bytesPerPixel;
    if (stride == 0) {
        return (row + 3) / 4 * 4;
    }
    return stride >= row ? stride : 0;
}

HTRANSFORM CreateTransform(PHPROFILE profiles, DWORD count, PDWORD intents, DWORD intentCount) {
    if (profiles == nullptr || intents == nullptr || count == 0 ||
        (intentCount != 1 && intentCount != count)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<std::shared_ptr<rdz_win32::ColorProfileData>> chain;
    std::vector<cmsUInt32Number> chainIntents;
    for (DWORD i = 0; i < count; ++i) {
        rdz_win32::ProfileHandle* profile = rdz_win32::ProfileHandles().Find(profiles[i]);
        const DWORD intent = intents[intentCount == 1 ? 0 : i];
        if (profile == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        if (intent > INTENT_ABSOLUTE_COLORIMETRIC) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        chain.push_back(profile->data);
        chainIntents.push_back(intent);
    }
    std::unique_ptr<ColorTransformData> data =
        ColorTransformData::Create(std::move(chain), std::move(chainIntents),
                                   rdz_win32::CurrentCMMUsesBlackPointCompensation());
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PROFILE);
        return nullptr;
    }
    return rdz_win32::TransformHandles().Add(std::move(data));
}

BOOL TranslateRows(ColorTransformData& data, const BYTE* source, BMFORMAT inputFormat, DWORD width,
                   DWORD height, DWORD inputStride, BYTE* destination, BMFORMAT outputFormat,
                   DWORD outputStride, PBMCALLBACKFN callback, LPARAM callbackData) {
    rdz_win32::BitmapLayout in{};
    rdz_win32::BitmapLayout out{};
    if (!rdz_win32::LookUpBitmapLayout(inputFormat, in) ||
        !rdz_win32::LookUpBitmapLayout(outputFormat, out)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    const std::uint64_t inStep = RowStride(inputStride, width, in.bytesPerPixel);
    const std::uint64_t outStep = RowStride(outputStride, width, out.bytesPerPixel);
    if (source == nullptr || destination == nullptr || inStep == 0 || outStep == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cmsHTRANSFORM transform = data.For(in.format, out.format);
    if (transform == nullptr) {
        SetLastError(ERROR_COLORSPACE_MISMATCH);
        return FALSE;
    }
    for (DWORD row = 0; row < height; ++row) {
        cmsDoTransform(transform, source + row * inStep, destination + row * outStep, width);
        if (callback != nullptr && !callback(row + 1, height, callbackData)) {
            SetLastError(ERROR_CANCELLED);
            return FALSE;
        }
    }
    return TRUE;
}

BOOL TranslateRecords(ColorTransformData& data, const COLOR* input, DWORD count,
                      COLORTYPE inputType, COLOR* output, COLORTYPE outputType) {
    cmsUInt32Number inFormat = 0;
    cmsUInt32Number outFormat = 0;
    unsigned int inBytes = 0;
    unsigned int outBytes = 0;
    if (!rdz_win32::LookUpRecordFormat(inputType, inFormat, inBytes) ||
        !rdz_win32::LookUpRecordFormat(outputType, outFormat, outBytes)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (input == nullptr || output == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cmsHTRANSFORM transform = data.For(inFormat, outFormat);
    if (transform == nullptr) {
        SetLastError(ERROR_COLORSPACE_MISMATCH);
        return FALSE;
    }
    std::vector<BYTE> in;
    rdz_win32::GatherRecords(inputType, input, count, in);
    std::vector<BYTE> out(std::size_t(count) * outBytes, 0);
    cmsDoTransform(transform, in.data(), out.data(), count);
    rdz_win32::ScatterRecords(outputType, out, count, output);
    return TRUE;
}

}  // namespace

extern "C" HTRANSFORM WINAPI CreateMultiProfileTransform(PHPROFILE pahProfiles, DWORD nProfiles,
                                                         PDWORD padwIntent, DWORD nIntents,
                                                         DWORD /*dwFlags*/,
                                                         DWORD /*indexPreferredCMM*/) {
    // The quality modes and gamut checking change nothing here: every
    // transform is LittleCMS's default, so that it matches LittleCMS used
    // directly with the same profiles.
    return Guarded<HTRANSFORM>(
        nullptr, [&] { return CreateTransform(pahProfiles, nProfiles, padwIntent, nIntents); });
}

extern "C" BOOL WINAPI DeleteColorTransform(HTRANSFORM hxform) {
    if (!rdz_win32::TransformHandles().Remove(hxform)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI TranslateBitmapBits(HTRANSFORM hColorTransform, PVOID pSrcBits,
                                           BMFORMAT bmInput, DWORD dwWidth, DWORD dwHeight,
                                           DWORD dwInputStride, PVOID pDestBits, BMFORMAT bmOutput,
                                           DWORD dwOutputStride, PBMCALLBACKFN pfnCallBack,
                                           LPARAM ulCallbackData) {
    ColorTransformData* data = FindTransform(hColorTransform);
    if (data == nullptr) {
        return FALSE;
    }
    return Guarded<BOOL>(FALSE, [&] {
        return TranslateRows(*data, static_cast<const BYTE*>(pSrcBits), bmInput, dwWidth, dwHeight,
                             dwInputStride, static_cast<BYTE*>(pDestBits), bmOutput, dwOutputStride,
                             pfnCallBack, ulCallbackData);
    });
}

extern "C" BOOL WINAPI TranslateColors(HTRANSFORM hColorTransform, PCOLOR paInputColors,
                                       DWORD nColors, COLORTYPE ctInput, PCOLOR paOutputColors,
                                       COLORTYPE ctOutput) {
    ColorTransformData* data = FindTransform(hColorTransform);
    if (data == nullptr) {
        return FALSE;
    }
    return Guarded<BOOL>(FALSE, [&] {
        return TranslateRecords(*data, paInputColors, nColors, ctInput, paOutputColors, ctOutput);
    });
}
