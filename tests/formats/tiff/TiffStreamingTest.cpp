// A TIFF conversion streamed from the input file to the output file: the
// same bytes as the conversion in memory, a few bands of memory, and an
// output that is whole or refused.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <fstream>

#include "formats/Errors.h"
#include "tests/formats/tiff/TiffConversion.h"
#include "tests/formats/tiff/TiffTestSupport.h"

namespace rdz::tifftest {
namespace {

using Bytes = std::vector<std::uint8_t>;

class TiffStreaming : public testing::Test {
  protected:
    void TearDown() override { rdz::kelt::SetMemoryBudget(0); }

    /// Converts `input` streamed and in memory; the two outputs must be the
    /// same bytes. Returns the streamed run.
    Job BothWays(const std::string& input, Job run = Job()) {
        Job memory = run;
        memory.stream = false;
        Convert(input, folder_.Path("memory.tif"), memory);
        run.stream = true;
        Convert(input, folder_.Path("streamed.tif"), run);
        EXPECT_EQ(FileBytes(folder_.Path("memory.tif")), FileBytes(folder_.Path("streamed.tif")));
        memoryHeld_ = memory.mostHeld;
        return run;
    }

    Folder folder_;
    std::uint64_t memoryHeld_ = 0;
};

TEST_F(TiffStreaming, EveryLayoutStreamsToTheBytesOfTheConversionInMemory) {
    struct Case {
        const char* name;
        std::uint16_t compression;
        std::uint16_t predictor;
        bool tiled;
        bool separate;
        int rowsPerStrip;
    };
    const Case cases[] = {
        {"strips-none", COMPRESSION_NONE, 1, false, false, 4},
        {"strips-separate-none", COMPRESSION_NONE, 1, false, true, 5},
        {"strips-lzw-predictor", COMPRESSION_LZW, 2, false, false, 7},
        {"tiles-separate-deflate", COMPRESSION_ADOBE_DEFLATE, 1, true, true, 0},
        {"tiles-packbits", COMPRESSION_PACKBITS, 1, true, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recipe recipe;
        recipe.width = 301;  // not a multiple of the tile size
        recipe.height = 97;
        recipe.extras = {EXTRASAMPLE_ASSOCALPHA};
        recipe.compression = c.compression;
        recipe.predictor = c.predictor;
        recipe.tiled = c.tiled;
        recipe.separate = c.separate;
        recipe.rowsPerStrip = c.rowsPerStrip;
        const std::string input = folder_.Path(std::string(c.name) + ".tif");
        Write(input, recipe);
        const Job streamed = BothWays(input);
        EXPECT_EQ(0u, streamed.mostHeld);
        EXPECT_GE(memoryHeld_, static_cast<std::uint64_t>(recipe.width) * recipe.height * 5);
        const Page out = Read(folder_.Path("streamed.tif")).at(0);
        const Bytes in = Pixels(recipe);
        Bytes expected = Samples(in, 5, {0, 1, 2, 3, 4});
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (i % 5 != 4) {
                expected[i] = static_cast<std::uint8_t>(255 - expected[i]);
            }
        }
        EXPECT_EQ(expected, out.pixels);
    }
}

TEST_F(TiffStreaming, LargeImageHoldsAQuarterOfItsSizeAtMost) {
    // One LZW strip of 16.8 MB: read row by row.
    Recipe recipe;
    recipe.width = 2100;
    recipe.height = 2000;
    recipe.compression = COMPRESSION_LZW;
    recipe.rowsPerStrip = 2000;
    Write(folder_.Path("large.tif"), recipe);
    const std::uint64_t imageBytes = std::uint64_t{2100} * 2000 * 4;
    const std::uint64_t before = rdz::kelt::ReservedImageMemory();
    const Job streamed = BothWays(folder_.Path("large.tif"));
    EXPECT_EQ(0u, streamed.mostHeld);
    EXPECT_LE(streamed.mostReserved - before, imageBytes / 4);
    EXPECT_GE(memoryHeld_, imageBytes);
    EXPECT_EQ(before, rdz::kelt::ReservedImageMemory());
}

TEST_F(TiffStreaming, RowsLongerThanABandAreReadInPieces) {
    Recipe recipe;
    recipe.width = 300001;  // 1.2 MB per row: pieces of whole pixels
    recipe.height = 3;
    recipe.rowsPerStrip = 2;
    Write(folder_.Path("wide.tif"), recipe);
    BothWays(folder_.Path("wide.tif"));
    const Bytes in = Pixels(recipe);
    const Bytes out = Read(folder_.Path("streamed.tif")).at(0).pixels;
    ASSERT_EQ(in.size(), out.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        ASSERT_EQ(255 - in[i], out[i]) << "sample " << i;
    }
}

TEST_F(TiffStreaming, PagesLeftUnconvertedAreCopiedInTheirPlace) {
    // Page 2 is a spot-colour page the converter does not convert: written
    // between the streamed pages 1 and 3, sample for sample.
    Recipe cmyk;
    cmyk.pages = 1;
    Recipe spot;
    spot.colour = 1;
    spot.inkNames = {"Spot Orange"};
    Write(folder_.Path("one.tif"), cmyk);
    {
        TIFF* out = TIFFOpen(folder_.Path("one.tif").c_str(), "a");
        ASSERT_NE(nullptr, out);
        for (int page = 1; page < 3; ++page) {
            const Recipe& r = page == 1 ? spot : cmyk;
            const Bytes pixels = Pixels(r, page);
            const int samples = r.colour;
            TIFFSetField(out, TIFFTAG_IMAGEWIDTH, r.width);
            TIFFSetField(out, TIFFTAG_IMAGELENGTH, r.height);
            TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, samples);
            TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
            TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
            if (page == 1) {
                TIFFSetField(out, TIFFTAG_INKSET, INKSET_MULTIINK);
                TIFFSetField(out, TIFFTAG_INKNAMES, 12, "Spot Orange");
            }
            for (int y = 0; y < r.height; ++y) {
                TIFFWriteScanline(out,
                                  const_cast<std::uint8_t*>(pixels.data()) + y * r.width * samples,
                                  static_cast<std::uint32_t>(y), 0);
            }
            TIFFWriteDirectory(out);
        }
        TIFFClose(out);
    }
    Job run;
    run.requiresConversion = [](int nrInks, inkt_t**) { return nrInks == 4; };
    BothWays(folder_.Path("one.tif"), run);
    const std::vector<Page> pages = Read(folder_.Path("streamed.tif"));
    ASSERT_EQ(3u, pages.size());
    EXPECT_EQ(Samples(Pixels(cmyk, 0), 4, {0, 1, 2, 3}).size(), pages[0].pixels.size());
    EXPECT_EQ(255 - Pixels(cmyk, 0)[0], pages[0].pixels[0]);
    EXPECT_EQ(Pixels(spot, 1), pages[1].pixels);
    EXPECT_EQ((std::vector<std::string>{"Spot Orange"}), pages[1].inkNames);
    EXPECT_EQ(255 - Pixels(cmyk, 2)[7], pages[2].pixels[7]);
}

TEST_F(TiffStreaming, InputThatCannotBeDecodedHalfwayIsAnInputErrorAndNothingIsWritten) {
    Recipe recipe;
    recipe.width = 64;
    recipe.height = 64;
    recipe.compression = COMPRESSION_LZW;
    recipe.rowsPerStrip = 8;
    Write(folder_.Path("in.tif"), recipe);
    // Garble the fifth strip: the first rows decode, the later ones do not.
    TIFF* tiff = TIFFOpen(folder_.Path("in.tif").c_str(), "r");
    ASSERT_NE(nullptr, tiff);
    const std::uint64_t offset = TIFFGetStrileOffset(tiff, 4);
    const std::uint64_t size = TIFFGetStrileByteCount(tiff, 4);
    TIFFClose(tiff);
    {
        std::fstream file(folder_.Path("in.tif"), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(offset));
        const std::string garbage(static_cast<std::size_t>(size), '\xFF');
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    for (bool stream : {true, false}) {
        SCOPED_TRACE(stream);
        Job run;
        run.stream = stream;
        try {
            Convert(folder_.Path("in.tif"), folder_.Path("out.tif"), run);
            FAIL() << "a damaged input was converted";
        } catch (const rdz::formats::InputError& error) {
            EXPECT_EQ(
                0u, std::string(error.what())
                        .find(folder_.Path("in.tif") + ": cannot decode the data of rows from 32"))
                << error.what();
        }
    }
}

TEST_F(TiffStreaming, ConversionThatStopsHalfwayIsRefusedNotWrittenUnconverted) {
    Recipe recipe;
    recipe.height = 30;
    Write(folder_.Path("in.tif"), recipe);
    Job run;
    int calls = 0;
    run.pixel = [&calls](const unsigned char*, unsigned char* out, int n, bool) {
        std::fill(out, out + n * 4, 0);
        return ++calls == 12 ? -1 : 0;
    };
    try {
        Convert(folder_.Path("in.tif"), folder_.Path("out.tif"), run);
        FAIL() << "written";
    } catch (const rdz::formats::WorkError& error) {
        EXPECT_EQ("cannot write '" + folder_.Path("out.tif") +
                      "': the conversion of in stopped before its last row",
                  error.what());
    }
}

TEST_F(TiffStreaming, BudgetRefusesWholeImagesInMemoryButNotTheStream) {
    Recipe recipe;
    recipe.width = 800;
    recipe.height = 600;
    Write(folder_.Path("photo.tif"), recipe);
    const std::uint64_t imageBytes = 800 * 600 * 4;
    rdz::kelt::SetMemoryBudget(rdz::kelt::ReservedImageMemory() + imageBytes / 2);
    Job streamed;
    Convert(folder_.Path("photo.tif"), folder_.Path("streamed.tif"), streamed);
    EXPECT_EQ(800 * 600 * 4u, Read(folder_.Path("streamed.tif")).at(0).pixels.size());

    Job memory;
    memory.stream = false;
    try {
        Convert(folder_.Path("photo.tif"), folder_.Path("memory.tif"), memory);
        FAIL() << "an image over the budget was made";
    } catch (const rdz::kelt::MemoryBudgetExceeded& refused) {
        EXPECT_EQ(0u, std::string(refused.what())
                          .find("the image 'photo' (800 x 600 pixels, 4 planes) needs 1.8 MiB "
                                "of memory, more than the "))
            << refused.what();
    }

    // The band a page is read in must fit, checked when the file is read.
    rdz::kelt::SetMemoryBudget(rdz::kelt::ReservedImageMemory() + 100);
    try {
        Convert(folder_.Path("photo.tif"), folder_.Path("tiny.tif"), streamed);
        FAIL() << "read beyond the budget";
    } catch (const rdz::formats::InputError& refused) {
        EXPECT_EQ(0u, std::string(refused.what())
                          .find(folder_.Path("photo.tif") +
                                ": reading the rows of 'photo.tif' needs 12.5 KiB of memory"))
            << refused.what();
    }
}

TEST_F(TiffStreaming, CompressionIsTheInputsOrTheOneAskedFor) {
    Recipe recipe;
    recipe.compression = COMPRESSION_ADOBE_DEFLATE;
    recipe.predictor = PREDICTOR_HORIZONTAL;
    Write(folder_.Path("in.tif"), recipe);
    const auto written = [&](const std::string& choice) {
        Job run;
        run.write.compression = choice;
        Convert(folder_.Path("in.tif"), folder_.Path("out.tif"), run);
        const Page out = Read(folder_.Path("out.tif")).at(0);
        EXPECT_EQ(Samples(Pixels(recipe), 4, {0}).size() * 4, out.pixels.size());
        return std::make_pair(out.compression, out.predictor);
    };
    EXPECT_EQ((std::make_pair<std::uint16_t, std::uint16_t>(COMPRESSION_ADOBE_DEFLATE, 2)),
              written(""));
    EXPECT_EQ((std::make_pair<std::uint16_t, std::uint16_t>(COMPRESSION_NONE, 1)), written("none"));
    EXPECT_EQ((std::make_pair<std::uint16_t, std::uint16_t>(COMPRESSION_LZW, 2)), written("lzw"));
    if (TIFFIsCODECConfigured(COMPRESSION_ZSTD) != 0) {
        EXPECT_EQ((std::make_pair<std::uint16_t, std::uint16_t>(COMPRESSION_ZSTD, 2)),
                  written("zstd"));
    }
    EXPECT_THROW(written("jpeg"), rdz::formats::WorkError);
}

}  // namespace
}  // namespace rdz::tifftest
