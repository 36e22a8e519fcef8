#include "tools/Methods.h"

#include "strategy/TColorConverter_RodadazErivo.h"

// The profile and device-link converters are optional parts of the build
// (tools/CMakeLists.txt defines these when their folders are there).
#if defined(RDZ_HAVE_PROFILE_CONVERTER)
#include "profile/TColorConverter_ProfileToProfile.h"
#endif
#if defined(RDZ_HAVE_DEVICELINK_CONVERTER)
#include "devicelink/TColorConverter_IccDeviceLink.h"
#endif

namespace rdz::tools {

bool MethodAvailable(Method method) {
    switch (method) {
        case Method::Strategy:
            return true;
        case Method::Profile:
#if defined(RDZ_HAVE_PROFILE_CONVERTER)
            return true;
#else
            return false;
#endif
        case Method::DeviceLink:
#if defined(RDZ_HAVE_DEVICELINK_CONVERTER)
            return true;
#else
            return false;
#endif
        case Method::None:
            break;
    }
    return false;
}

std::unique_ptr<TColorConverter> MakeConverter(document_object_t* document,
                                               ConversionRequest& request) {
    switch (request.method) {
        case Method::Strategy:
            return std::make_unique<TColorConverter_RodadazErivo>(document, request.general,
                                                                  request.strategy);
        case Method::Profile:
#if defined(RDZ_HAVE_PROFILE_CONVERTER)
            return std::make_unique<TColorConverter_ProfileToProfile>(document, request.general,
                                                                      request.reseparate);
#else
            return nullptr;
#endif
        case Method::DeviceLink:
#if defined(RDZ_HAVE_DEVICELINK_CONVERTER)
            return std::make_unique<TColorConverter_IccDeviceLink>(document, request.general,
                                                                   request.reseparate);
#else
            return nullptr;
#endif
        case Method::None:
            break;
    }
    return nullptr;
}

}  // namespace rdz::tools
