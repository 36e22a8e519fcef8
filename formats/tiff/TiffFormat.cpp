#include "formats/tiff/TiffFormat.h"

#include "formats/FileNames.h"
#include "formats/tiff/TiffDocument.h"

namespace rdz::formats {

bool TiffFormat::Recognises(const std::string& path, const std::string& head) const {
    if (head.size() >= 4) {
        // Classic TIFF and BigTIFF, either byte order.
        return head.compare(0, 4, "II*\0", 4) == 0 || head.compare(0, 4, "MM\0*", 4) == 0 ||
               head.compare(0, 4, "II+\0", 4) == 0 || head.compare(0, 4, "MM\0+", 4) == 0;
    }
    return head.empty() && HasExtension(path, {".tif", ".tiff"});
}

bool TiffFormat::NamesOutput(const std::string& path) const {
    return HasExtension(path, {".tif", ".tiff"});
}

std::unique_ptr<FormatDocument> TiffFormat::Read(const std::string& path,
                                                 const ReadSettings& settings) const {
    return std::make_unique<TiffDocument>(path, settings);
}

}  // namespace rdz::formats
