// TIFF input of the program: the input is a TIFF file, opened by the
// program's reader and read row by row with the samples in reverse plane
// order; when the image is small, also read as a document (the program's
// TIFF conversion input: every page, every row) and written back as a TIFF
// file. Refusals are a false return, InputError or WorkError; any other
// exception escaping is a fault.
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "formats/Errors.h"
#include "formats/InkBooks.h"
#include "formats/OutputFiles.h"
#include "formats/tiff/TiffDocument.h"
#include "formats/tiff/TiffFile.h"

namespace {

// Larger images are still decoded row by row above; reading them whole as a
// document only costs the fuzzer time and memory.
constexpr std::uint64_t kDocumentLimit = 4u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static rdzfuzz::ScratchFolder folder("rdz-fuzz-tiff");
    static const rdz::formats::InkBooks books = rdz::formats::InkBooks::Load("");
    const std::string path = folder / "image.tif";
    rdzfuzz::WriteBytes(path, data, size);

    std::uint64_t bytes = 0;
    {
        rdz::formats::TiffReader reader;
        std::string error;
        if (!reader.Open(path, &error))
            return 0;
        const rdz::formats::TiffLayout& layout = reader.Layout();
        std::vector<int> planeOf(static_cast<std::size_t>(layout.samplesPerPixel));
        std::iota(planeOf.rbegin(), planeOf.rend(), 0);
        const std::size_t rowBytes = static_cast<std::size_t>(layout.width) *
                                     static_cast<std::size_t>(layout.samplesPerPixel);
        unsigned checksum = 0;
        reader.ReadRows(
            planeOf,
            [&](int, const std::uint8_t* planes) {
                // Touch the whole row the reader promises.
                for (std::size_t i = 0; i < rowBytes; ++i)
                    checksum += planes[i];
                return true;
            },
            &error);
        bytes = rdz::formats::ImageBytes(layout.width, layout.height, layout.samplesPerPixel);
    }
    if (bytes == 0 || bytes > kDocumentLimit)
        return 0;
    // Read whole as the program reads it (every page, every row through the
    // document's images), then written back unconverted.
    try {
        rdz::formats::ReadSettings settings;
        settings.books = &books;
        rdz::formats::TiffDocument document(path, settings);
        unsigned checksum = 0;
        for (const rdz::formats::TiffPage& page : document.Pages()) {
            cti_image_t* image = page.definition->internal;
            std::vector<unsigned char> row(static_cast<std::size_t>(page.definition->width) *
                                           static_cast<std::size_t>(CTI_nplanes(image)));
            for (int y = 0; y < page.definition->height; ++y) {
                if (CTI_getrow_line_il(image, y, 0, 0, row.data()) != 0)
                    break;
                checksum += row.empty() ? 0u : row.back();
            }
        }
        rdz::formats::OutputFiles outputs;
        const std::string output = folder / "written.tif";
        document.Write(output, output, outputs, rdz::formats::WriteSettings());
    } catch (const rdz::formats::InputError&) {
    } catch (const rdz::formats::WorkError&) {
    }
    return 0;
}
