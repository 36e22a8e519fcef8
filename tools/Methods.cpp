#include "tools/Methods.h"

#include "platform/kelt/kelt_builder.h"
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
namespace {

/// A converter of the library that tells the program which inks it takes in
/// and which of its pixel transforms failed. Conversion itself is the
/// library's, unchanged.
template <class Converter, class Options>
class Watched final : public Converter {
  public:
    Watched(document_object_t* document, TGeneralColorConverterOptions& general, Options& options,
            ConversionWatch& watch)
        : Converter(document, general, options), document_(document), watch_(watch) {}

  protected:
    int Init() override {
        const int result = Converter::Init();
        if (result == 0) {
            for (const inkt_t* ink : rdz::kelt::Inks(document_)) {
                if (this->getSrcIndex(const_cast<inkt_t*>(ink)) >= 0) {
                    watch_.inputInks.insert(ink);
                }
            }
            watch_.initialised = true;
            if (watch_.afterInit) {
                watch_.afterInit();
            }
        }
        return result;
    }

    int Convert(const unsigned char* in, unsigned char* out, int n, bool linework) override {
        const int result = Converter::Convert(in, out, n, linework);
        if (result != 0) {
            (linework ? watch_.failedPaints : watch_.failedRows).fetch_add(1);
        }
        return result;
    }

  private:
    document_object_t* document_;
    ConversionWatch& watch_;
};

}  // namespace

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
                                               ConversionRequest& request, ConversionWatch& watch) {
    switch (request.method) {
        case Method::Strategy:
            return std::make_unique<Watched<TColorConverter_RodadazErivo, TRodadazErivoOptions>>(
                document, request.general, request.strategy, watch);
        case Method::Profile:
#if defined(RDZ_HAVE_PROFILE_CONVERTER)
            return std::make_unique<Watched<TColorConverter_ProfileToProfile, TReseparateOptions>>(
                document, request.general, request.reseparate, watch);
#else
            return nullptr;
#endif
        case Method::DeviceLink:
#if defined(RDZ_HAVE_DEVICELINK_CONVERTER)
            return std::make_unique<Watched<TColorConverter_IccDeviceLink, TReseparateOptions>>(
                document, request.general, request.reseparate, watch);
#else
            return nullptr;
#endif
        case Method::None:
            break;
    }
    return nullptr;
}

}  // namespace rdz::tools
