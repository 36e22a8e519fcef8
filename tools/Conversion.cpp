#include "tools/Conversion.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <lcms2.h>

#include "host/ZQTypes.h"
#include "platform/cms/StandIn.h"
#include "platform/kelt/kelt_builder.h"
#include "formats/Errors.h"
#include "tools/IccFile.h"
#include "formats/LargeBlocks.h"
#include "tools/Methods.h"
#include "tools/ProgressBar.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files
namespace {

namespace fs = std::filesystem;

/// Shows the rows the converter reads as a progress bar while it lives.
class RowProgressScope {
  public:
    explicit RowProgressScope(ProgressBar& bar) : bar_(bar) {
        if (!bar_.Enabled()) {
            return;
        }
        rdz::kelt::SetRowProgress([this](const ct_def_t* definition, int row, int height) {
            if (definition != current_) {
                current_ = definition;
                label_ = std::string("Converting ") +
                         (definition != nullptr && definition->name != nullptr ? definition->name
                                                                               : "image");
            }
            bar_.Show(label_, static_cast<std::uint64_t>(row) + 1,
                      static_cast<std::uint64_t>(height));
        });
    }
    ~RowProgressScope() {
        if (bar_.Enabled()) {
            rdz::kelt::SetRowProgress(nullptr);
            bar_.Clear();
        }
    }
    RowProgressScope(const RowProgressScope&) = delete;
    RowProgressScope& operator=(const RowProgressScope&) = delete;

  private:
    ProgressBar& bar_;
    const ct_def_t* current_ = nullptr;
    std::string label_;
};

void CheckReadableFile(const std::string& path, const std::string& what) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        throw InputError(path + ": is a folder, not " + what);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw InputError(path + ": cannot open " + what + ": " + std::strerror(errno));
    }
}

/// The LittleCMS intent the engine uses for a link of `intent`.
unsigned int LittleCmsIntent(TCMS::RenderingIntent intent) {
    switch (intent) {
        case TCMS::Perceptual:
            return INTENT_PERCEPTUAL;
        case TCMS::Saturation:
            return INTENT_SATURATION;
        case TCMS::AbsoluteColorimetric:
            return INTENT_ABSOLUTE_COLORIMETRIC;
        default:
            return INTENT_RELATIVE_COLORIMETRIC;
    }
}

}  // namespace

std::string CanonicalPath(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    const fs::path canonical = fs::weakly_canonical(absolute, ec);
    return ec ? absolute.lexically_normal().string() : canonical.string();
}

void SelectCmsDatabase(const std::string& folder) {
    if (!folder.empty()) {
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) {
            throw InputError(folder + ": the CMS database folder does not exist");
        }
    }
    rdz::cms::SetDatabaseFolder(folder);
}

void CheckMethodInputs(const ConversionRequest& request) {
    if (request.method != Method::DeviceLink) {
        return;
    }
    // The converter reads the option as a URL or a path the same way.
    const std::string option = request.reseparate.GetIccDeviceLink();
    std::string path;
    try {
        path = ZQ_TURL::FromString(ZQ_TString(option.c_str(), 0xFFFFFFFFu)).LocalName().GetText();
    } catch (const ZQ_EException& error) {
        throw InputError(option + ": not a device-link file name: " + error.GetMessage());
    }
    CheckReadableFile(path, "the device-link file");
    CheckDeviceLinkFile(path, LittleCmsIntent(request.reseparate.GetRenderingIntent()));
}

const DocumentFormat& InputFormat(const std::string& input) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
        throw InputError(input + ": is a folder, not a file");
    }
    if (!std::ifstream(input, std::ios::binary)) {
        throw InputError(input + ": cannot open: " + std::strerror(errno));
    }
    const DocumentFormat* format = FormatOfFile(input);
    if (format == nullptr) {
        std::string known;
        for (const DocumentFormat* candidate : AllFormats()) {
            known += (known.empty() ? "" : ", ") + std::string(candidate->Description());
        }
        throw InputError(input + ": not a file rodadazerivo reads (it reads " + known + ")");
    }
    return *format;
}

std::unique_ptr<FormatDocument> LoadInput(const DocumentFormat& format,
                                          const ConversionRequest& request,
                                          const InkBooks& books, ProgressBar* progress) {
    ReadSettings settings;
    settings.books = &books;
    settings.progress = progress;
    return format.Read(request.input, settings);
}

void CheckOutputIsNotInput(const FormatDocument& input, const std::string& output) {
    const std::string target = CanonicalPath(output);
    for (const std::string& file : input.Files()) {
        if (CanonicalPath(file) == target) {
            throw UsageError("the output '" + output +
                             "' is a file of the input: the input is never overwritten");
        }
    }
}

void RunConversion(document_object_t* document, ConversionRequest& request, Console& console) {
    const std::string method = MethodName(request.method);
    std::unique_ptr<TColorConverter> converter = MakeConverter(document, request);
    if (!converter) {
        throw WorkError("The " + method +
                        " conversion is not available in this build of rodadazerivo.");
    }
    struct PreparedBlockRelease {
        ~PreparedBlockRelease() { ReleasePreparedBlock(); }
    } release;  // a block prepared for the converted image that it did not take
    {
        RowProgressScope progress(console.Progress());
        try {
            if (request.resolve) {
                converter->Resolve();
            }
            converter->Convert();
        } catch (const std::exception& error) {
            // The converters report the reason first and then throw a bare
            // std::exception; anything else carries its own text.
            const std::string what = error.what();
            throw WorkError("The " + method + " conversion failed" +
                            (what == "std::exception" ? std::string() : ": " + what) +
                            "; no output was written.");
        } catch (...) {
            throw WorkError("The " + method +
                            " conversion failed (unknown error); no output was written.");
        }
    }
    if (!converter->ConversionRan()) {
        throw WorkError("The " + method +
                        " conversion could not be set up; nothing was converted and no output "
                        "was written.");
    }
}

}  // namespace rdz::tools
