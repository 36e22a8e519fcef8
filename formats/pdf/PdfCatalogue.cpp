#include "formats/pdf/PdfCatalogue.h"

#include <algorithm>

#include "formats/Errors.h"
#include "formats/pdf/ImageDecoder.h"
#include "formats/pdf/ImageStreamer.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::formats::pdf {

PdfCatalogue::PdfCatalogue(document_object_t* document, const InkBooks& books)
    : inks(document, books),
      spaces(inks, math),
      slots(document),
      decoder(std::make_unique<ImageDecoder>(*this)),
      streamer(std::make_unique<ImageStreamer>(*this)) {}

PdfCatalogue::~PdfCatalogue() = default;

void PdfCatalogue::CheckImageMemory(std::uint64_t bytes, const std::string& what) const {
    const std::uint64_t budget = rdz::kelt::MemoryBudget();
    if (budget == 0) {
        return;
    }
    const std::uint64_t left =
        budget - std::min(rdz::kelt::ReservedImageMemory() + streamedBytes, budget);
    if (bytes > left) {
        throw InputError(file + ": " + what + " needs " + std::to_string(bytes >> 20) +
                         " MiB for its pixels, more than the " + rdz::kelt::MemorySizeText(left) +
                         " left of the memory budget of " + rdz::kelt::MemorySizeText(budget) +
                         " (--max-memory)");
    }
}

}  // namespace rdz::formats::pdf
