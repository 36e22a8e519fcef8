// Nothing of a TIFF file lost in a conversion through the program: inks,
// alpha and mask samples, pages, orientation, tags; and an image far larger
// than its file converted without holding it.
#include <gtest/gtest.h>

#include <tiffio.h>

#include "tests/e2e/E2eSupport.h"
#include "tests/formats/tiff/TiffTestSupport.h"

namespace rdz::e2e {
namespace {

using rdz::tifftest::Recipe;
using Bytes = std::vector<std::uint8_t>;

class TiffFidelity : public testing::Test {
  protected:
    void SetUp() override {
        if (!Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
            GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
        }
        if (!MethodBuilt("device-link")) {
            GTEST_SKIP() << "the device-link converter is not part of this build";
        }
        WriteDeviceLink(DefaultCmykProfile(), PsCmykProfile(), Link());
    }

    std::string Link() const { return scratch_.Path("link.icc"); }

    CliRun Convert(const std::string& input, const std::string& output) {
        return RunCli(
            {"convert", "--cms", ExampleCmsDb(), "--device-link", Link(), input, "-o", output});
    }

    /// The process samples of `pixels` through the link, interleaved.
    Bytes Linked(const Bytes& pixels, int samples) {
        return ApplyDeviceLink(Link(), rdz::tifftest::Samples(pixels, samples, {0, 1, 2, 3}));
    }

    Scratch scratch_;
};

TEST_F(TiffFidelity, InkNameWithAControlCharacterIsRefusedBeforeAnyWork) {
    Recipe recipe;
    recipe.extras = {EXTRASAMPLE_UNSPECIFIED};
    recipe.inkNames = {"Cyan", "Magenta", "Yellow", "Black", "My\tSpot"};
    rdz::tifftest::Write(scratch_.Path("in.tif"), recipe);
    const CliRun run = Convert(scratch_.Path("in.tif"), scratch_.Path("out.tif"));
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("ERROR: " + scratch_.Path("in.tif") +
                  ": the name of ink sample 5 (\"My\\tSpot\") holds a control character; such ink "
                  "names are not accepted\n",
              run.err);
    EXPECT_FALSE(Exists(scratch_.Path("out.tif")));
}

TEST_F(TiffFidelity, EveryAlphaSampleIsCarriedAndAnUnknownExtraSampleIsRefused) {
    Recipe recipe;
    recipe.extras = {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNASSALPHA};
    recipe.compression = COMPRESSION_LZW;
    rdz::tifftest::Write(scratch_.Path("alphas.tif"), recipe);
    CliRun run = Convert(scratch_.Path("alphas.tif"), scratch_.Path("out.tif"));
    ASSERT_EQ(0, run.status) << run.err;
    const rdz::tifftest::Page out = rdz::tifftest::Read(scratch_.Path("out.tif")).at(0);
    ASSERT_EQ(6, out.samples);
    EXPECT_EQ((std::vector<std::uint16_t>{EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNASSALPHA}),
              out.extras);
    const Bytes in = rdz::tifftest::Pixels(recipe);
    // The colours are the four process samples through the link, not darkened
    // by a mask taken for black ink; both masks are as they were.
    EXPECT_EQ(Linked(in, 6), rdz::tifftest::Samples(out.pixels, 6, {0, 1, 2, 3}));
    EXPECT_EQ(rdz::tifftest::Samples(in, 6, {4, 5}), rdz::tifftest::Samples(out.pixels, 6, {4, 5}));

    Recipe unknown;
    unknown.extras = {EXTRASAMPLE_UNSPECIFIED};
    rdz::tifftest::Write(scratch_.Path("unknown.tif"), unknown);
    run = Convert(scratch_.Path("unknown.tif"), scratch_.Path("unknown-out.tif"));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos,
              run.err.find("ERROR: " + scratch_.Path("unknown.tif") +
                           ": extra sample 1 (sample 5) is neither alpha nor an ink named by the "
                           "InkNames tag"))
        << run.err;
    EXPECT_FALSE(Exists(scratch_.Path("unknown-out.tif")));
}

TEST_F(TiffFidelity, EveryPageIsConverted) {
    Recipe recipe;
    recipe.pages = 3;
    recipe.compression = COMPRESSION_ADOBE_DEFLATE;
    recipe.predictor = PREDICTOR_HORIZONTAL;
    rdz::tifftest::Write(scratch_.Path("pages.tif"), recipe);
    const CliRun run = Convert(scratch_.Path("pages.tif"), scratch_.Path("out.tif"));
    ASSERT_EQ(0, run.status) << run.err;
    const std::vector<rdz::tifftest::Page> pages = rdz::tifftest::Read(scratch_.Path("out.tif"));
    ASSERT_EQ(3u, pages.size());
    for (int p = 0; p < 3; ++p) {
        SCOPED_TRACE(p);
        EXPECT_EQ(Linked(rdz::tifftest::Pixels(recipe, p), 4),
                  pages[static_cast<std::size_t>(p)].pixels);
        EXPECT_EQ(COMPRESSION_ADOBE_DEFLATE, pages[static_cast<std::size_t>(p)].compression);
    }
}

TEST_F(TiffFidelity, OrientationProfileAndEveryOtherTagAreKept) {
    Recipe recipe;
    recipe.orientation = ORIENTATION_LEFTBOT;
    recipe.resolution = 150.0f;
    recipe.icc = rdz::tifftest::Profile(true, "Press");
    recipe.xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF/></x:xmpmeta>";
    recipe.iptc = {0x1C, 0x02, 0x78, 0x00, 0x03, 'C', 'a', 'p', 0, 0, 0, 0};
    recipe.photoshop = {'8', 'B', 'I', 'M', 0x07, 0xD0, 0, 0, 0, 0, 0, 4, 1, 2, 3, 4};
    recipe.description = "Cover";
    recipe.privateBytes = {42, 43, 44};
    recipe.exifDate = "2023:12:24 18:00:00";
    rdz::tifftest::Write(scratch_.Path("tagged.tif"), recipe);
    const CliRun run = Convert(scratch_.Path("tagged.tif"), scratch_.Path("out.tif"));
    ASSERT_EQ(0, run.status) << run.err;
    const rdz::tifftest::Page out = rdz::tifftest::Read(scratch_.Path("out.tif")).at(0);
    EXPECT_EQ(ORIENTATION_LEFTBOT, out.orientation);
    EXPECT_FLOAT_EQ(150.0f, out.xResolution);
    // A device link takes the colours to another CMYK whose profile is not
    // known: the input's profile would now be untrue, so it is left out.
    EXPECT_TRUE(out.icc.empty());
    EXPECT_NE(std::string::npos,
              run.err.find("WARNING: " + scratch_.Path("out.tif") +
                           ": the conversion changed the colour space and no ICC profile of the "
                           "new one is known: the input's embedded profile is left out\n"))
        << run.err;
    EXPECT_EQ(recipe.xmp, out.xmp);
    EXPECT_EQ(recipe.iptc, out.iptc);
    EXPECT_EQ(recipe.photoshop, out.photoshop);
    EXPECT_EQ(recipe.description, out.description);
    EXPECT_EQ(recipe.privateBytes, out.privateBytes);
    EXPECT_EQ(recipe.exifDate, out.exifDate);
    EXPECT_EQ(Linked(rdz::tifftest::Pixels(recipe), 4), out.pixels);
}

TEST_F(TiffFidelity, SmallFileOfAVeryLargeImageIsConvertedWithoutHoldingIt) {
    // 32 MiB of pixels in a few kilobytes of Deflate, one strip.
    const int width = 4096;
    const int height = 2048;
    TIFF* tiff = TIFFOpen(scratch_.Path("bomb.tif").c_str(), "w");
    ASSERT_NE(nullptr, tiff);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
    Bytes row(static_cast<std::size_t>(width) * 4, 0);
    for (int y = 0; y < height; ++y) {
        TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0);
    }
    TIFFClose(tiff);
    ASSERT_LT(ReadText(scratch_.Path("bomb.tif")).size(), 100000u);

    const CliRun run = Convert(scratch_.Path("bomb.tif"), scratch_.Path("out.tif"));
    ASSERT_EQ(0, run.status) << run.err;
    const TiffContent out = ReadTiff(scratch_.Path("out.tif"));
    ASSERT_EQ(static_cast<std::size_t>(width) * height * 4, out.pixels.size());
    const Bytes white = ApplyDeviceLink(Link(), Bytes(4, 0));
    for (std::size_t i = 0; i < out.pixels.size(); i += 4099) {
        ASSERT_EQ(white[i % 4], out.pixels[i]) << "sample " << i;
    }
}

}  // namespace
}  // namespace rdz::e2e
