// TIFF images in and out of the program.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <algorithm>
#include <filesystem>

#include "tests/e2e/E2eSupport.h"

namespace rdz::e2e {
namespace {

class TiffImages : public testing::Test {
  protected:
    void SetUp() override {
        if (!Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
            GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
        }
    }

    /// Converts `input` with the "ISO Coated" strategy, which maps the
    /// process colours onto their own profile and so leaves them unchanged.
    CliRun ConvertUnchanged(const std::string& input, const std::string& output) {
        return RunCli(
            {"convert", "--cms", ExampleCmsDb(), "--strategy", "ISO Coated", input, "-o", output});
    }

    Scratch scratch_;
};

TEST_F(TiffImages, EveryLayoutAndCompressionIsReadSampleForSample) {
    struct Case {
        const char* name;
        std::uint16_t compression;
        std::uint16_t predictor;
        bool tiled;
        bool separate;
    };
    const Case cases[] = {
        {"strips-none", COMPRESSION_NONE, 1, false, false},
        {"strips-lzw-predictor", COMPRESSION_LZW, 2, false, false},
        {"strips-separate-deflate", COMPRESSION_ADOBE_DEFLATE, 1, false, true},
        {"tiles-packbits", COMPRESSION_PACKBITS, 1, true, false},
        {"tiles-separate-lzw", COMPRESSION_LZW, 1, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestTiff tiff;
        tiff.width = 37;  // not a multiple of the tile size
        tiff.height = 21;
        tiff.extras = {EXTRASAMPLE_UNASSALPHA};
        tiff.compression = c.compression;
        tiff.predictor = c.predictor;
        tiff.tiled = c.tiled;
        tiff.separate = c.separate;
        tiff.resolution = 150.0f;
        const std::vector<std::uint8_t> pixels = TestPixels(tiff);
        const std::string input = scratch_.Path(std::string(c.name) + ".tif");
        const std::string output = scratch_.Path(std::string(c.name) + "-out.tif");
        WriteTiff(input, tiff, pixels);

        const CliRun run = ConvertUnchanged(input, output);
        ASSERT_EQ(0, run.status) << run.err;
        const TiffContent out = ReadTiff(output);
        EXPECT_EQ(tiff.width, out.width);
        EXPECT_EQ(tiff.height, out.height);
        EXPECT_EQ(5, out.samples);
        EXPECT_EQ(INKSET_CMYK, out.inkSet);
        EXPECT_EQ(std::vector<std::uint16_t>{EXTRASAMPLE_UNASSALPHA}, out.extras);
        EXPECT_EQ(c.compression, out.compression);
        EXPECT_FLOAT_EQ(150.0f, out.xResolution);
        EXPECT_EQ(pixels, out.pixels);
    }
}

TEST_F(TiffImages, CompressionLevelTradesTimeForSmallerFilesWithTheSamePixels) {
    // Gradients with a little noise: the slow levels find what the fast
    // one leaves.
    TestTiff tiff;
    tiff.width = 400;
    tiff.height = 300;
    tiff.rowsPerStrip = 300;
    std::vector<std::uint8_t> pixels;
    std::uint32_t noise = 7;
    for (int y = 0; y < tiff.height; ++y) {
        for (int x = 0; x < tiff.width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int jitter = static_cast<int>(noise >> 29) - 4;
            for (int c = 0; c < 4; ++c) {
                const int v = (c % 2 == 0 ? x * 255 / tiff.width : y * 255 / tiff.height) + jitter;
                pixels.push_back(static_cast<std::uint8_t>(std::clamp(v, 0, 255)));
            }
        }
    }
    WriteTiff(scratch_.Path("in.tif"), tiff, pixels);
    const auto written = [&](const std::vector<std::string>& options, const std::string& name) {
        std::vector<std::string> args = {"convert", "--cms", ExampleCmsDb(), "--strategy",
                                         "ISO Coated"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {scratch_.Path("in.tif"), "-o", scratch_.Path(name)});
        const CliRun run = RunCli(args);
        EXPECT_EQ(0, run.status) << run.err;
        const TiffContent out = ReadTiff(scratch_.Path(name));
        EXPECT_EQ(pixels, out.pixels) << name;
        return std::filesystem::file_size(scratch_.Path(name));
    };
    const auto fast = written({"--compression", "deflate"}, "fast.tif");
    EXPECT_EQ(fast, written({"--compression", "deflate", "--compression-level", "1"}, "one.tif"));
    EXPECT_LT(written({"--compression", "deflate", "--compression-level", "9"}, "nine.tif"), fast);
    if (TIFFIsCODECConfigured(COMPRESSION_ZSTD) != 0) {
        EXPECT_LT(written({"--compression", "zstd", "--compression-level", "9"}, "zstd9.tif"),
                  written({"--compression", "zstd"}, "zstd.tif"));
    }
}

TEST_F(TiffImages, SpotSamplesAreInksNamedByInkNamesAndComeOutAsNamedExtraSamples) {
    // CMYK, a spot sample and associated alpha, converted to the six-colour
    // HexaPress process whose own spot channels take Orange and Green.
    TestTiff tiff;
    tiff.extras = {EXTRASAMPLE_UNSPECIFIED, EXTRASAMPLE_ASSOCALPHA};
    tiff.inkNames = {"Cyan", "Magenta", "Yellow", "Black", "SPECTRA Orange C"};
    tiff.compression = COMPRESSION_LZW;
    const std::vector<std::uint8_t> pixels = TestPixels(tiff);
    WriteTiff(scratch_.Path("spot.tif"), tiff, pixels);

    const CliRun run =
        RunCli({"convert", "--cms", ExampleCmsDb(), "--strategy", "Digital Press Hexa",
                scratch_.Path("spot.tif"), "-o", scratch_.Path("hexa.tif")});
    ASSERT_EQ(0, run.status) << run.err;
    const TiffContent out = ReadTiff(scratch_.Path("hexa.tif"));
    ASSERT_EQ(7, out.samples);
    EXPECT_EQ(INKSET_CMYK, out.inkSet);
    EXPECT_EQ((std::vector<std::string>{"Cyan", "Magenta", "Yellow", "Black", "SPECTRA Orange C",
                                        "SPECTRA Green C"}),
              out.inkNames);
    EXPECT_EQ((std::vector<std::uint16_t>{EXTRASAMPLE_UNSPECIFIED, EXTRASAMPLE_UNSPECIFIED,
                                          EXTRASAMPLE_ASSOCALPHA}),
              out.extras);
    // Orange goes to its own channel at 100% of its tint; alpha is carried over.
    for (std::size_t p = 0; p < pixels.size() / 6; ++p) {
        ASSERT_EQ(pixels[p * 6 + 4], out.pixels[p * 7 + 4]) << "orange of pixel " << p;
        ASSERT_EQ(0, out.pixels[p * 7 + 5]) << "green of pixel " << p;
        ASSERT_EQ(pixels[p * 6 + 5], out.pixels[p * 7 + 6]) << "alpha of pixel " << p;
    }
}

TEST_F(TiffImages, DeviceLinkOnAnImageMatchesLittleCms) {
    if (!MethodBuilt("device-link")) {
        GTEST_SKIP() << "the device-link converter is not part of this build";
    }
    TestTiff tiff;
    tiff.width = 64;
    tiff.height = 32;
    const std::vector<std::uint8_t> pixels = TestPixels(tiff);
    WriteTiff(scratch_.Path("in.tif"), tiff, pixels);
    const std::string link = scratch_.Path("link.icc");
    WriteDeviceLink(DefaultCmykProfile(), PsCmykProfile(), link);

    const CliRun run = RunCli({"convert", "--cms", ExampleCmsDb(), "--device-link", link,
                               scratch_.Path("in.tif"), "-o", scratch_.Path("out.tif")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(ApplyDeviceLink(link, pixels), ReadTiff(scratch_.Path("out.tif")).pixels);
}

TEST_F(TiffImages, AnyNumberOfThreadsWritesTheFileAndMessagesOfOne) {
    // Tall enough for several bands at every thread count, with an alpha
    // channel and strips that do not line up with the bands.
    TestTiff tiff;
    tiff.width = 37;
    tiff.height = 211;
    tiff.extras = {2};
    tiff.rowsPerStrip = 5;
    tiff.compression = COMPRESSION_ADOBE_DEFLATE;
    tiff.predictor = 2;
    WriteTiff(scratch_.Path("in.tif"), tiff, TestPixels(tiff));
    CopyFolder(ExampleCmsDb(), scratch_.Path("cmsdb"));
    const std::string link = scratch_.Path("link.icc");
    WriteDeviceLink(DefaultCmykProfile(), PsCmykProfile(), link);

    const std::vector<std::pair<std::string, std::vector<std::string>>> methods = {
        {"device-link", {"--device-link", link}},
        {"profile",
         {"--profile", "--source", "default_cmyk.icc", "--destination", "ps_cmyk.icc",
          "--total-ink", "260"}},
        {"strategy", {"--strategy", "Coated to Uncoated"}},
    };
    for (const auto& method : methods) {
        const std::vector<std::string>& options = method.second;
        if (!MethodBuilt(method.first)) {
            continue;
        }
        SCOPED_TRACE(method.first);
        const auto convert = [&](const std::string& threads) {
            std::vector<std::string> args = {"convert", "--cms", scratch_.Path("cmsdb"),
                                             "--threads", threads};
            args.insert(args.end(), options.begin(), options.end());
            args.insert(args.end(), {scratch_.Path("in.tif"), "-o", scratch_.Path("out.tif")});
            const CliRun run = RunCli(args);
            EXPECT_EQ(0, run.status) << run.err;
            return std::make_pair(ReadText(scratch_.Path("out.tif")), run.err);
        };
        convert("1");  // stores the links the method computes, so that every run reuses them
        const auto one = convert("1");
        EXPECT_NE(TestPixels(tiff), ReadTiff(scratch_.Path("out.tif")).pixels);
        for (const char* threads : {"2", "3", "7"}) {
            const auto many = convert(threads);
            EXPECT_TRUE(one.first == many.first) << threads << " threads: another file";
            EXPECT_EQ(one.second, many.second) << threads << " threads";
        }
    }
}

TEST_F(TiffImages, ImagesThatAreNotCmykOrNotWholeAreRefusedWithTheirName) {
    TestTiff rgb;
    rgb.colour = 3;
    rgb.photometric = PHOTOMETRIC_RGB;
    WriteTiff(scratch_.Path("rgb.tif"), rgb, TestPixels(rgb));
    CliRun run = ConvertUnchanged(scratch_.Path("rgb.tif"), scratch_.Path("out.tif"));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos,
              run.err.find("ERROR: " + scratch_.Path("rgb.tif") + ": not a CMYK image"))
        << run.err;

    // A file cut short in its pixel data (strips of 3 rows, uncompressed).
    TestTiff cmyk;
    cmyk.width = 50;
    cmyk.height = 40;
    WriteTiff(scratch_.Path("whole.tif"), cmyk, TestPixels(cmyk));
    const std::string whole = ReadText(scratch_.Path("whole.tif"));
    WriteText(scratch_.Path("cut.tif"), whole.substr(0, whole.size() / 2));
    run = ConvertUnchanged(scratch_.Path("cut.tif"), scratch_.Path("out.tif"));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("ERROR: " + scratch_.Path("cut.tif") + ": "))
        << run.err;

    // A spot ink whose name would not fit the host's name buffers.
    TestTiff longName;
    longName.extras = {EXTRASAMPLE_UNSPECIFIED};
    longName.inkNames = {"Cyan", "Magenta", "Yellow", "Black", std::string(256, 'O')};
    WriteTiff(scratch_.Path("long-name.tif"), longName, TestPixels(longName));
    run = ConvertUnchanged(scratch_.Path("long-name.tif"), scratch_.Path("out.tif"));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos,
              run.err.find("ERROR: " + scratch_.Path("long-name.tif") +
                           ": the name of ink sample 5 holds 256 bytes; an ink name holds at "
                           "most 255"))
        << run.err;

    WriteText(scratch_.Path("text.tif"), "not a TIFF file at all\n");
    run = ConvertUnchanged(scratch_.Path("text.tif"), scratch_.Path("out.tif"));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("ERROR: " + scratch_.Path("text.tif") + ": "))
        << run.err;
    EXPECT_FALSE(Exists(scratch_.Path("out.tif")));
}

TEST_F(TiffImages, ProgressBarShowsOnATerminalOnly) {
    TestTiff tiff;
    tiff.width = 40;
    tiff.height = 300;
    WriteTiff(scratch_.Path("in.tif"), tiff, TestPixels(tiff));
    const CliRun terminal = RunCli({"convert", "--cms", ExampleCmsDb(), "--strategy", "ISO Coated",
                                    scratch_.Path("in.tif"), "-o", scratch_.Path("a.tif")},
                                   true);
    ASSERT_EQ(0, terminal.status) << terminal.err;
    EXPECT_NE(std::string::npos, terminal.err.find("Converting in")) << terminal.err;
    EXPECT_NE(std::string::npos, terminal.err.find("100%")) << terminal.err;

    const CliRun piped = ConvertUnchanged(scratch_.Path("in.tif"), scratch_.Path("b.tif"));
    ASSERT_EQ(0, piped.status) << piped.err;
    EXPECT_EQ(std::string::npos, piped.err.find("Converting in")) << piped.err;
    EXPECT_EQ(std::string::npos, piped.err.find("100%")) << piped.err;
    EXPECT_EQ(std::string::npos, piped.err.find('\r')) << piped.err;
}

}  // namespace
}  // namespace rdz::e2e
