#include "engine/TintRenderingIntent.h"

TintRenderingIntent TintRenderingIntentFromHeader(std::uint32_t headerIntent) {
    if (headerIntent <= TintRI_AbsoluteColorimetric) {
        return static_cast<TintRenderingIntent>(headerIntent);
    }
    return TintRI_InvalidInProfile;
}
