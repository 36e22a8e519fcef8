#include "formats/pdf/PdfCatalogue.h"

#include "formats/Errors.h"

namespace rdz::formats::pdf {

void PdfCatalogue::ReserveImageMemory(std::uint64_t bytes, const std::string& what) {
    // LOCAL MEMORY CHECK (see kLocalImageMemoryLimit).
    if (bytes > kLocalImageMemoryLimit - imageBytes) {
        throw InputError(file + ": " + what + " needs " + std::to_string(bytes >> 20) +
                         " MiB for its pixels; with the images before it that is more than the " +
                         std::to_string(kLocalImageMemoryLimit >> 20) +
                         " MiB a PDF's images may take");
    }
    imageBytes += bytes;
}

}  // namespace rdz::formats::pdf
