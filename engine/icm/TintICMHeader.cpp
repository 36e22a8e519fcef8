#include "engine/icm/TintICMHeader.h"

#include "engine/TintException.h"

PROFILEHEADER TintICMReadHeader(HPROFILE profile) {
    PROFILEHEADER header{};
    if (!GetColorProfileHeader(profile, &header)) {
        throw TintException("could not read profile header");
    }
    return header;
}

TintColorSpace TintICMDataColorSpace(const PROFILEHEADER& header) {
    return TintColorSpaceFromSignature(header.phDataColorSpace);
}

TintColorSpace TintICMConnectionSpace(const PROFILEHEADER& header) {
    return TintColorSpaceFromSignature(header.phConnectionSpace);
}

TintRenderingIntent TintICMHeaderIntent(const PROFILEHEADER& header) {
    return TintRenderingIntentFromHeader(header.phRenderingIntent);
}

DWORD TintICMIntent(TintRenderingIntent intent) {
    return intent <= TintRI_AbsoluteColorimetric ? static_cast<DWORD>(intent)
                                                 : kTintICMInvalidIntent;
}
