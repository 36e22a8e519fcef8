// Helper of compare-tificc.sh: makes a large CMYK test image and compares the
// samples of two TIFF files.
//
//   rdz_bench_tiff make WIDTH HEIGHT OUT.tif [CONTENT]
//       uncompressed 8-bit CMYK, 64-row strips; CONTENT: gradient (the
//       default: gradients with a little noise everywhere), noise, or
//       realistic (bench/BenchImages.h)
//   rdz_bench_tiff compare A.tif B.tif          exit 0 when every sample is equal
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchImages.h"

namespace {

int Make(int width, int height, const char* path, const std::string& content) {
    TIFF* tiff = TIFFOpen(path, "w");
    if (tiff == nullptr) {
        return 1;
    }
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 64);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 4);
    if (content != "gradient") {
        const std::vector<std::uint8_t> pixels =
            content == "noise" ? Noise(static_cast<std::size_t>(width) * height * 4)
                               : RealisticImage(width, height, 4);
        for (int y = 0; y < height; ++y) {
            std::copy_n(pixels.data() + static_cast<std::size_t>(y) * row.size(), row.size(),
                        row.data());
            if (TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
                TIFFClose(tiff);
                return 1;
            }
        }
        TIFFClose(tiff);
        return 0;
    }
    std::uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int jitter = static_cast<int>(noise >> 28) - 8;
            std::uint8_t* p = row.data() + static_cast<std::size_t>(x) * 4;
            // Gradients across the whole gamut, with a little noise.
            p[0] = static_cast<std::uint8_t>((x * 255 / width + jitter) & 0xFF);
            p[1] = static_cast<std::uint8_t>((y * 255 / height + jitter) & 0xFF);
            p[2] = static_cast<std::uint8_t>(((x + y) * 255 / (width + height)) & 0xFF);
            p[3] = static_cast<std::uint8_t>(((x ^ y) >> 4) & 0xFF);
        }
        if (TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
            TIFFClose(tiff);
            return 1;
        }
    }
    TIFFClose(tiff);
    return 0;
}

struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t samples = 0;
    TIFF* tiff = nullptr;
};

bool Open(const char* path, Image& image) {
    image.tiff = TIFFOpen(path, "r");
    if (image.tiff == nullptr) {
        return false;
    }
    TIFFGetField(image.tiff, TIFFTAG_IMAGEWIDTH, &image.width);
    TIFFGetField(image.tiff, TIFFTAG_IMAGELENGTH, &image.height);
    TIFFGetFieldDefaulted(image.tiff, TIFFTAG_SAMPLESPERPIXEL, &image.samples);
    return true;
}

int Compare(const char* first, const char* second) {
    Image a;
    Image b;
    if (!Open(first, a) || !Open(second, b)) {
        std::fprintf(stderr, "cannot open the images\n");
        return 2;
    }
    if (a.width != b.width || a.height != b.height || a.samples != b.samples) {
        std::printf("different sizes\n");
        return 1;
    }
    std::vector<std::uint8_t> rowA(static_cast<std::size_t>(TIFFScanlineSize(a.tiff)));
    std::vector<std::uint8_t> rowB(static_cast<std::size_t>(TIFFScanlineSize(b.tiff)));
    if (rowA.size() != rowB.size()) {
        std::printf("different row sizes\n");
        return 1;
    }
    unsigned long long differing = 0;
    int largest = 0;
    for (std::uint32_t y = 0; y < a.height; ++y) {
        if (TIFFReadScanline(a.tiff, rowA.data(), y, 0) < 0 ||
            TIFFReadScanline(b.tiff, rowB.data(), y, 0) < 0) {
            std::fprintf(stderr, "cannot read row %u\n", y);
            return 2;
        }
        for (std::size_t i = 0; i < rowA.size(); ++i) {
            const int difference = std::abs(rowA[i] - rowB[i]);
            differing += difference != 0 ? 1 : 0;
            largest = difference > largest ? difference : largest;
        }
    }
    TIFFClose(a.tiff);
    TIFFClose(b.tiff);
    std::printf("%llu differing samples (largest difference %d)\n", differing, largest);
    return differing == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "make") == 0) {
        const std::string content = argc == 6 ? argv[5] : "gradient";
        if (content != "gradient" && content != "noise" && content != "realistic") {
            std::fprintf(stderr, "content: gradient, noise or realistic\n");
            return 2;
        }
        return Make(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], content);
    }
    if (argc == 4 && std::strcmp(argv[1], "compare") == 0) {
        return Compare(argv[2], argv[3]);
    }
    std::fprintf(stderr,
                 "usage: %s make WIDTH HEIGHT OUT.tif [gradient|noise|realistic] | "
                 "compare A.tif B.tif\n",
                 argv[0]);
    return 2;
}
