#include "formats/DocumentFormat.h"

#include <filesystem>
#include <fstream>

#include "formats/FileNames.h"
#include "formats/InkBooks.h"
#include "formats/json/JsonFormat.h"
#include "formats/pdf/PdfFormat.h"
#include "formats/tiff/TiffFormat.h"

namespace rdz::formats {

bool HasExtension(const std::string& path, std::initializer_list<const char*> extensions) {
    const std::string extension = std::filesystem::path(path).extension().string();
    for (const char* candidate : extensions) {
        if (EqualsIgnoringCase(extension, candidate)) {
            return true;
        }
    }
    return false;
}

const std::vector<const DocumentFormat*>& AllFormats() {
    static const TiffFormat tiff;
    static const PdfFormat pdf;
    static const JsonFormat json;
    static const std::vector<const DocumentFormat*> formats{&tiff, &pdf, &json};
    return formats;
}

const DocumentFormat* FormatOfFile(const std::string& path) {
    std::string head(1024, '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(in ? head.size()
                   : static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    for (const DocumentFormat* format : AllFormats()) {
        if (format->Recognises(path, head)) {
            return format;
        }
    }
    return nullptr;
}

}  // namespace rdz::formats
