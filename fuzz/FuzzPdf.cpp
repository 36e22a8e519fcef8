// PDF input of the program: the input is a PDF file, read through the PDF
// format into the document database (every page, form, pattern, glyph,
// annotation appearance, shading and image), its paints then changed as a
// conversion would change them and the file written back. Refusals are
// InputError (unreadable, encrypted, too large) and WorkError (qpdf cannot
// write what it read); any other exception escaping is a fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/Errors.h"
#include "formats/InkBooks.h"
#include "formats/OutputFiles.h"
#include "formats/pdf/PdfCatalogue.h"
#include "formats/pdf/PdfFormat.h"
#include "fuzz/FuzzSupport.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"

namespace {

/// Every solid (vignette steps included) gets half of each ink amount, as
/// a conversion would change it.
void Convert(document_object_t* document) {
    for (paint_t* paint : rdz::kelt::Paints(document)) {
        std::vector<paint_t*> solids{paint};
        if (PAI_get_vignet(paint) != nullptr) {
            solids = rdz::kelt::VignetteSteps(paint);
        }
        for (paint_t* solid : solids) {
            const std::vector<rdz::kelt::Amount> amounts = rdz::kelt::SolidAmounts(solid);
            PAI_log_solids(solid);
            SL_make_empty(PAI_get_solid(solid)->inkAmounts, IA_release);
            for (const rdz::kelt::Amount& amount : amounts) {
                SL_append_after_last(PAI_get_solid(solid)->inkAmounts,
                                     IA_create(amount.ink, amount.fraction / 2, 1));
            }
            PAO_set_changed(solid->paintObject);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static rdzfuzz::ScratchFolder folder("rdz-fuzz-pdf");
    static const rdz::formats::InkBooks books = rdz::formats::InkBooks::Load("");
    // Images of a fuzzed file would otherwise take up to the reader's limit.
    rdz::kelt::SetMemoryBudget(std::uint64_t{64} << 20);
    const std::string path = folder / "input.pdf";
    rdzfuzz::WriteBytes(path, data, size);

    rdz::kelt::RecordingMessageSink quiet;
    rdz::formats::ReadSettings settings;
    settings.books = &books;
    try {
        std::unique_ptr<rdz::formats::FormatDocument> document =
            rdz::formats::PdfFormat().Read(path, settings);
        Convert(document->Document());
        rdz::formats::OutputFiles outputs;
        document->Write(folder / "output.pdf", folder / "output.pdf", outputs,
                        rdz::formats::WriteSettings());
    } catch (const rdz::formats::InputError&) {
    } catch (const rdz::formats::WorkError&) {
    }
    return 0;
}
