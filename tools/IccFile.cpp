#include "tools/IccFile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <lcms2.h>
#include <memory>

#include "formats/Errors.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files

std::vector<unsigned char> ReadIccFile(const std::string& path) {
    constexpr std::uintmax_t kMaxSize = std::uintmax_t{256} << 20;
    constexpr std::size_t kHeaderSize = 128;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw InputError(path + ": is a folder, not an ICC file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw InputError(path + ": cannot open: " + std::strerror(errno));
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxSize) {
        throw InputError(path + ": cannot read the file (or it is larger than 256 MiB)");
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in) {
        throw InputError(path + ": cannot read the file");
    }
    if (bytes.size() < kHeaderSize) {
        throw InputError(path + ": too short for an ICC profile (" + std::to_string(bytes.size()) +
                         " bytes)");
    }
    return bytes;
}

std::string HeaderSignature(const std::vector<unsigned char>& bytes, std::size_t offset) {
    std::string text;
    for (std::size_t i = offset; i < offset + 4 && i < bytes.size(); ++i) {
        text += static_cast<char>(bytes[i]);
    }
    return text;
}

const char* ProfileClassName(const std::string& signature) {
    static const struct {
        const char* signature;
        const char* name;
    } kClasses[] = {{"scnr", "input device profile"}, {"mntr", "display device profile"},
                    {"prtr", "output device profile"}, {"link", "device link"},
                    {"spac", "colour space profile"}, {"abst", "abstract profile"},
                    {"nmcl", "named colour profile"}};
    for (const auto& known : kClasses) {
        if (signature == known.signature) {
            return known.name;
        }
    }
    return "profile of an unknown class";
}

namespace {

/// A LittleCMS context that keeps the text of the first error it reports.
class RecordingContext {
  public:
    RecordingContext() : context_(cmsCreateContext(nullptr, &text_)) {
        if (context_ != nullptr) {
            cmsSetLogErrorHandlerTHR(context_, [](cmsContext id, cmsUInt32Number,
                                                  const char* text) {
                // The first error is the cause; later ones are its consequences.
                auto* first = static_cast<std::string*>(cmsGetContextUserData(id));
                if (first->empty()) {
                    *first = text;
                }
            });
        }
    }
    ~RecordingContext() {
        if (context_ != nullptr) {
            cmsDeleteContext(context_);
        }
    }
    RecordingContext(const RecordingContext&) = delete;
    RecordingContext& operator=(const RecordingContext&) = delete;

    cmsContext Get() const { return context_; }
    /// " (LittleCMS: <text>)" after an error, else "".
    std::string Detail() const { return text_.empty() ? "" : " (LittleCMS: " + text_ + ")"; }

  private:
    std::string text_;
    cmsContext context_;
};

bool IsFourColourSpace(const std::string& signature) {
    return signature == "CMYK" || signature == "4CLR";
}

/// A colour-space signature as an operator reads it: "CMYK", "RGB", or its
/// bytes in hexadecimal when they are not printable text.
std::string Readable(std::string signature) {
    while (!signature.empty() && (signature.back() == ' ' || signature.back() == '\0')) {
        signature.pop_back();
    }
    for (const char c : signature) {
        if (c < 0x21 || c > 0x7E) {
            std::string hex = "0x";
            for (const char byte : signature) {
                static const char kDigits[] = "0123456789abcdef";
                hex += kDigits[(static_cast<unsigned char>(byte) >> 4) & 0x0F];
                hex += kDigits[static_cast<unsigned char>(byte) & 0x0F];
            }
            return hex;
        }
    }
    return signature.empty() ? "(none)" : signature;
}

}  // namespace

void CheckDeviceLinkFile(const std::string& path, unsigned int lcmsIntent) {
    const std::vector<unsigned char> bytes = ReadIccFile(path);
    const std::uint32_t declared = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                   std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
    if (HeaderSignature(bytes, 36) != "acsp") {
        throw InputError(path + ": not an ICC profile (no \"acsp\" signature in its header)");
    }
    if (declared > bytes.size()) {
        throw InputError(path + ": the file is cut short: its header declares " +
                         std::to_string(declared) + " bytes, the file holds " +
                         std::to_string(bytes.size()));
    }
    const std::string profileClass = HeaderSignature(bytes, 12);
    if (profileClass != "link") {
        throw InputError(path + ": an ICC " + ProfileClassName(profileClass) +
                         ", not a device link");
    }
    const std::string input = HeaderSignature(bytes, 16);
    const std::string output = HeaderSignature(bytes, 20);
    if (!IsFourColourSpace(input) || !IsFourColourSpace(output)) {
        throw InputError(path + ": a device link from " + Readable(input) + " to " +
                         Readable(output) +
                         "; the device-link conversion needs one from CMYK to CMYK");
    }

    RecordingContext context;
    if (context.Get() == nullptr) {
        throw InputError(path + ": cannot check the device link (out of memory)");
    }
    const std::unique_ptr<void, decltype(&cmsCloseProfile)> profile(
        cmsOpenProfileFromMemTHR(context.Get(), bytes.data(),
                                 static_cast<cmsUInt32Number>(bytes.size())),
        &cmsCloseProfile);
    if (!profile) {
        throw InputError(path + ": the ICC file is damaged" + context.Detail());
    }
    // Reading the colour tables is what building the link needs; the tables
    // are not resampled here, so the check costs little.
    const cmsHTRANSFORM transform =
        cmsCreateTransformTHR(context.Get(), profile.get(), TYPE_CMYK_8, nullptr, TYPE_CMYK_8,
                              lcmsIntent, cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE);
    if (transform == nullptr) {
        throw InputError(path + ": the device link's colour tables cannot be used" +
                         context.Detail());
    }
    cmsDeleteTransform(transform);
}

}  // namespace rdz::tools
