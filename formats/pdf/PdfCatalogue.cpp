#include "formats/pdf/PdfCatalogue.h"

#include <algorithm>

#include "formats/Errors.h"
#include "formats/pdf/ImageDecoder.h"

namespace rdz::formats::pdf {

PdfCatalogue::PdfCatalogue(document_object_t* document, const InkBooks& books)
    : inks(document, books),
      spaces(inks, math),
      slots(document),
      decoder(std::make_unique<ImageDecoder>(*this)) {}

PdfCatalogue::~PdfCatalogue() = default;

namespace {
std::uint64_t imageMemoryLimit = kLocalImageMemoryLimit;
}  // namespace

void SetImageMemoryLimit(std::uint64_t bytes) {
    imageMemoryLimit = bytes != 0 ? bytes : kLocalImageMemoryLimit;
}

void PdfCatalogue::ReserveImageMemory(std::uint64_t bytes, const std::string& what) {
    // LOCAL MEMORY CHECK (see kLocalImageMemoryLimit).
    if (bytes > imageMemoryLimit - std::min(imageBytes, imageMemoryLimit)) {
        throw InputError(file + ": " + what + " needs " + std::to_string(bytes >> 20) +
                         " MiB for its pixels; with the images before it that is more than the " +
                         std::to_string(imageMemoryLimit >> 20) + " MiB a PDF's images may take");
    }
    imageBytes += bytes;
}

}  // namespace rdz::formats::pdf
