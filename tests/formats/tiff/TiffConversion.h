// Reading a TIFF file as the program does, converting it with a test
// converter and writing it back, streamed (PrepareOutput before the
// conversion) or not.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "formats/DocumentFormat.h"
#include "formats/InkBooks.h"
#include "formats/OutputFiles.h"
#include "formats/tiff/TiffDocument.h"
#include "platform/kelt/ImageStreams.h"
#include "platform/kelt/MessageSink.h"
#include "tests/converter/TestConverter.h"

namespace rdz::tifftest {

struct Job {
    bool stream = true;
    rdz::formats::ReadSettings read;
    rdz::formats::WriteSettings write;
    /// Which images the converter converts (default: all).
    std::function<bool(int, inkt_t**)> requiresConversion;
    /// Replaces the pixel transform (default: process inks inverted).
    TestConverter::PixelFunction pixel;
    /// Most pixel bytes the database held, and most bytes reserved against
    /// the budget, at any row read or written during the conversion.
    std::uint64_t mostHeld = 0;
    std::uint64_t mostReserved = 0;
};

/// Converts `input` into `output`: process inks (Cyan, Magenta, Yellow,
/// Black) are inverted into the process inks, every other ink is kept as an
/// image exception. Throws what the reading, the conversion or the writing
/// throws.
inline void Convert(const std::string& input, const std::string& output, Job& run) {
    static const rdz::formats::InkBooks books = rdz::formats::InkBooks::Load("");
    run.read.books = &books;
    rdz::formats::TiffDocument document(input, run.read);
    rdz::formats::OutputFiles outputs;
    if (run.stream) {
        document.PrepareOutput(output, output, outputs, run.write);
    }
    TGeneralColorConverterOptions options;
    TestConverter converter(document.Document(), options);
    converter.onInit = [&](TestConverter& c) {
        for (inkt_t* ink : rdz::kelt::Inks(document.Document())) {
            if (INK_is_process(ink, nullptr) != 0) {
                c.AddInputInk(ink);
            } else {
                c.AddImageExceptionInk(ink);
            }
        }
        c.AddOutputInks(4,
                        {TCMS::InkInfo("Process", "Cyan"), TCMS::InkInfo("Process", "Magenta"),
                         TCMS::InkInfo("Process", "Yellow"), TCMS::InkInfo("Process", "Black")},
                        {});
    };
    converter.pixel =
        run.pixel ? run.pixel : [](const unsigned char* in, unsigned char* out, int n, bool) {
            for (int i = 0; i < n * 4; ++i) {
                out[i] = static_cast<unsigned char>(255 - in[i]);
            }
            return 0;
        };
    converter.requiresConversion = run.requiresConversion;
    if (run.requiresConversion) {
        converter.SetMakeAllImagesInternal(false);
    }
    rdz::kelt::SetRowObserver([&run](const ct_def_t*, int, const unsigned char*, int, int, bool) {
        run.mostHeld = std::max(run.mostHeld, rdz::kelt::HeldPixelBytes());
        run.mostReserved = std::max(run.mostReserved, rdz::kelt::ReservedImageMemory());
    });
    struct ObserverOff {
        ~ObserverOff() { rdz::kelt::SetRowObserver(nullptr); }
    } off;
    converter.Convert();
    document.Write(output, output, outputs, run.write);
}

}  // namespace rdz::tifftest
