// What a TIFF file becomes as a document, and what its converted output
// keeps: pages, alpha samples, tags, ICC profiles.
#include <gtest/gtest.h>

#include <tiffio.h>

#include "formats/Errors.h"
#include "tests/formats/tiff/TiffConversion.h"
#include "tests/formats/tiff/TiffTestSupport.h"

namespace rdz::tifftest {
namespace {

using rdz::kelt::MessageLevel;
using Bytes = std::vector<std::uint8_t>;

/// 255 - v for every sample of `keep`, in that order.
Bytes Inverted(const Bytes& pixels, int samples, const std::vector<int>& keep) {
    Bytes out = Samples(pixels, samples, keep);
    for (std::uint8_t& v : out) {
        v = static_cast<std::uint8_t>(255 - v);
    }
    return out;
}

class TiffDocumentTest : public testing::Test {
  protected:
    Folder folder_;
};

TEST_F(TiffDocumentTest, EveryPageIsAnImageOfTheDocumentAndEveryPageIsConverted) {
    Recipe recipe;
    recipe.pages = 3;
    recipe.compression = COMPRESSION_LZW;
    recipe.exifDate = "2024:02:03 04:05:06";
    Write(folder_.Path("pages.tif"), recipe);
    const rdz::formats::InkBooks books = rdz::formats::InkBooks::Load("");
    rdz::formats::ReadSettings settings;
    settings.books = &books;
    {
        rdz::formats::TiffDocument document(folder_.Path("pages.tif"), settings);
        const std::vector<ct_def_t*> definitions = rdz::kelt::ImageDefinitions(document.Document());
        ASSERT_EQ(3u, definitions.size());
        EXPECT_STREQ("pages page 2", definitions[1]->name);
        // The pixels stay in the file until they are asked for.
        EXPECT_EQ(rdz::kelt::PixelStorage::Source,
                  rdz::kelt::StorageOf(CT_internal_handle(definitions[2])));
        Bytes row(static_cast<std::size_t>(recipe.width) * 4);
        ASSERT_EQ(0, CTI_getrow_line_il(CT_internal_handle(definitions[2]), 1, 0, 0, row.data()));
        const Bytes page3 = Pixels(recipe, 2);
        Bytes expected;
        for (std::size_t p = 0; p < 4; ++p) {
            for (std::size_t x = 0; x < static_cast<std::size_t>(recipe.width); ++x) {
                expected.push_back(page3[(static_cast<std::size_t>(recipe.width) + x) * 4 + p]);
            }
        }
        EXPECT_EQ(expected, row);
    }

    Job run;
    Convert(folder_.Path("pages.tif"), folder_.Path("out.tif"), run);
    const std::vector<Page> pages = Read(folder_.Path("out.tif"));
    ASSERT_EQ(3u, pages.size());
    for (int p = 0; p < 3; ++p) {
        SCOPED_TRACE(p);
        EXPECT_EQ(Inverted(Pixels(recipe, p), 4, {0, 1, 2, 3}),
                  pages[static_cast<std::size_t>(p)].pixels);
        EXPECT_EQ(COMPRESSION_LZW, pages[static_cast<std::size_t>(p)].compression);
        EXPECT_EQ(recipe.exifDate, pages[static_cast<std::size_t>(p)].exifDate);
    }
}

TEST_F(TiffDocumentTest, AlphaAndMaskSamplesAfterTheFirstAreCarriedUntouched) {
    // CMYK, unassociated alpha, a named spot, then two more masks.
    Recipe recipe;
    recipe.extras = {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNSPECIFIED, EXTRASAMPLE_ASSOCALPHA,
                     EXTRASAMPLE_UNASSALPHA};
    recipe.inkNames = {"Cyan", "Magenta", "Yellow", "Black", "Spot Green"};
    Write(folder_.Path("masks.tif"), recipe);
    for (bool stream : {true, false}) {
        SCOPED_TRACE(stream);
        Job run;
        run.stream = stream;
        Convert(folder_.Path("masks.tif"), folder_.Path("out.tif"), run);
        const Page out = Read(folder_.Path("out.tif")).at(0);
        ASSERT_EQ(8, out.samples);
        EXPECT_EQ((std::vector<std::uint16_t>{EXTRASAMPLE_UNSPECIFIED, EXTRASAMPLE_UNASSALPHA,
                                              EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNASSALPHA}),
                  out.extras);
        EXPECT_EQ((std::vector<std::string>{"Cyan", "Magenta", "Yellow", "Black", "Spot Green"}),
                  out.inkNames);
        const Bytes in = Pixels(recipe);
        EXPECT_EQ(Inverted(in, 8, {0, 1, 2, 3}), Samples(out.pixels, 8, {0, 1, 2, 3}));
        // Spot, first alpha, then the carried masks, every byte as it was.
        EXPECT_EQ(Samples(in, 8, {5, 4, 6, 7}), Samples(out.pixels, 8, {4, 5, 6, 7}));
    }
}

TEST_F(TiffDocumentTest, ConvertedPagesKeepEveryTagTheConversionLeavesTrue) {
    Recipe recipe;
    recipe.orientation = ORIENTATION_RIGHTTOP;
    recipe.resolution = 254.0f;
    recipe.icc = Profile(true, "Press CMYK");
    recipe.xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
    recipe.iptc = {0x1C, 0x02, 0x05, 0x00, 0x04, 'T', 'e', 's', 't', 0, 0, 0};
    recipe.photoshop = {'8', 'B', 'I', 'M', 0x07, 0xD0, 0, 0, 0, 0, 0, 2, 1, 2};
    recipe.layers = {'A', 'd', 'o', 'b', 'e', ' ', 'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p'};
    recipe.description = "Poster, page 1";
    recipe.privateBytes = {9, 8, 7, 6, 5};
    recipe.exifDate = "2024:05:06 07:08:09";
    recipe.exifIso = 400;
    Write(folder_.Path("tags.tif"), recipe);

    rdz::kelt::RecordingMessageSink messages;
    Job run;
    Convert(folder_.Path("tags.tif"), folder_.Path("out.tif"), run);
    const Page out = Read(folder_.Path("out.tif")).at(0);
    EXPECT_TRUE(out.hasOrientation);
    EXPECT_EQ(ORIENTATION_RIGHTTOP, out.orientation);
    EXPECT_FLOAT_EQ(254.0f, out.xResolution);
    EXPECT_EQ(recipe.icc, out.icc);  // the colour space stayed
    EXPECT_EQ(recipe.xmp, out.xmp);
    EXPECT_EQ(recipe.iptc, out.iptc);
    EXPECT_EQ(recipe.photoshop, out.photoshop);
    EXPECT_EQ(recipe.description, out.description);
    EXPECT_EQ(recipe.privateBytes, out.privateBytes);
    EXPECT_EQ(recipe.exifDate, out.exifDate);
    EXPECT_EQ(400, out.exifIso);
    // Photoshop's layers still hold the old colours: left out, and said.
    EXPECT_TRUE(out.layers.empty());
    ASSERT_EQ(1u, messages.count(MessageLevel::Warning));
    EXPECT_EQ(folder_.Path("tags.tif") + ": not carried into " + folder_.Path("out.tif") +
                  ", no longer true after the conversion or not copyable: ImageSourceData "
                  "(Photoshop layers, which keep the old colours)",
              messages.texts(MessageLevel::Warning).at(0));

    // A page that is not converted is copied with everything it has.
    Job unconverted;
    unconverted.requiresConversion = [](int, inkt_t**) { return false; };
    Convert(folder_.Path("tags.tif"), folder_.Path("copy.tif"), unconverted);
    const Page copy = Read(folder_.Path("copy.tif")).at(0);
    EXPECT_EQ(recipe.layers, copy.layers);
    EXPECT_EQ(1u, messages.count(MessageLevel::Warning));  // nothing left out this time
    EXPECT_EQ(Pixels(recipe), copy.pixels);
    EXPECT_EQ(ORIENTATION_RIGHTTOP, copy.orientation);
}

TEST_F(TiffDocumentTest, EmbeddedProfileFollowsTheColourSpace) {
    Recipe recipe;
    recipe.icc = Profile(true, "Old press");
    Write(folder_.Path("in.tif"), recipe);
    const Bytes newProfile = Profile(true, "New press");

    Job changed;
    changed.write.profile.changed = true;
    changed.write.profile.icc = newProfile;
    changed.write.profile.name = "New press";
    Convert(folder_.Path("in.tif"), folder_.Path("changed.tif"), changed);
    EXPECT_EQ(newProfile, Read(folder_.Path("changed.tif")).at(0).icc);

    rdz::kelt::RecordingMessageSink messages;
    Job unknown;
    unknown.write.profile.changed = true;
    Convert(folder_.Path("in.tif"), folder_.Path("unknown.tif"), unknown);
    EXPECT_TRUE(Read(folder_.Path("unknown.tif")).at(0).icc.empty());
    EXPECT_EQ((std::vector<std::string>{
                  folder_.Path("unknown.tif") +
                  ": the conversion changed the colour space and no ICC profile of the new one "
                  "is known: the input's embedded profile is left out"}),
              messages.texts(MessageLevel::Warning));

    // An unconverted page is still in its old colours: it keeps its profile.
    Job untouched = changed;
    untouched.requiresConversion = [](int, inkt_t**) { return false; };
    Convert(folder_.Path("in.tif"), folder_.Path("untouched.tif"), untouched);
    EXPECT_EQ(recipe.icc, Read(folder_.Path("untouched.tif")).at(0).icc);
}

TEST_F(TiffDocumentTest, EmbeddedProfileOtherThanTheSourceProfileIsSaidOnce) {
    Recipe recipe;
    recipe.pages = 2;
    recipe.icc = Profile(true, "Newspaper");
    Write(folder_.Path("in.tif"), recipe);
    const rdz::formats::InkBooks books = rdz::formats::InkBooks::Load("");
    rdz::formats::ReadSettings settings;
    settings.books = &books;
    settings.sourceProfile = Profile(true, "Coated");
    settings.sourceProfileName = "Coated.icc";
    {
        rdz::kelt::RecordingMessageSink messages;
        rdz::formats::TiffDocument document(folder_.Path("in.tif"), settings);
        EXPECT_EQ((std::vector<std::string>{folder_.Path("in.tif") +
                                            ": the image embeds the ICC profile \"Newspaper\", but "
                                            "its colours are converted as \"Coated.icc\""}),
                  messages.texts(MessageLevel::Warning));
    }
    // The same profile, whatever its header's flags and ID say: no word.
    settings.sourceProfile = recipe.icc;
    settings.sourceProfile[44] ^= 0x01;
    settings.sourceProfile[90] ^= 0x5A;
    rdz::kelt::RecordingMessageSink messages;
    rdz::formats::TiffDocument document(folder_.Path("in.tif"), settings);
    EXPECT_EQ(0u, messages.count(MessageLevel::Warning));
}

TEST_F(TiffDocumentTest, SamplesThatCannotBeKeptAreRefusedNamingFileAndPage) {
    const rdz::formats::InkBooks books = rdz::formats::InkBooks::Load("");
    rdz::formats::ReadSettings settings;
    settings.books = &books;
    const auto refusal = [&](const std::string& path) {
        try {
            rdz::formats::TiffDocument document(path, settings);
        } catch (const rdz::formats::InputError& error) {
            return std::string(error.what());
        }
        return std::string("read");
    };

    Recipe control;
    control.extras = {EXTRASAMPLE_UNSPECIFIED};
    control.inkNames = {"Cyan", "Magenta", "Yellow", "Black", "My\nSpot"};
    Write(folder_.Path("control.tif"), control);
    EXPECT_EQ(folder_.Path("control.tif") +
                  ": the name of ink sample 5 (\"My\\nSpot\") holds a control character; such "
                  "ink names are not accepted",
              refusal(folder_.Path("control.tif")));

    Recipe unnamed;
    unnamed.extras = {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNSPECIFIED};
    Write(folder_.Path("unnamed.tif"), unnamed);
    EXPECT_EQ(folder_.Path("unnamed.tif") +
                  ": extra sample 2 (sample 6) is neither alpha nor an ink named by the InkNames "
                  "tag; it would be converted as an ink of unknown colour",
              refusal(folder_.Path("unnamed.tif")));

    // A second page in RGB: the whole file is refused, not its first page kept.
    Write(folder_.Path("mixed.tif"), Recipe());
    {
        Recipe rgb;
        rgb.colour = 3;
        rgb.photometric = PHOTOMETRIC_RGB;
        Write(folder_.Path("rgb.tif"), rgb);
        TIFF* out = TIFFOpen(folder_.Path("mixed.tif").c_str(), "a");
        TIFF* in = TIFFOpen(folder_.Path("rgb.tif").c_str(), "r");
        ASSERT_NE(nullptr, out);
        ASSERT_NE(nullptr, in);
        const Bytes pixels = Pixels(rgb);
        TIFFSetField(out, TIFFTAG_IMAGEWIDTH, rgb.width);
        TIFFSetField(out, TIFFTAG_IMAGELENGTH, rgb.height);
        TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        for (int y = 0; y < rgb.height; ++y) {
            TIFFWriteScanline(out, const_cast<std::uint8_t*>(pixels.data()) + y * rgb.width * 3,
                              static_cast<std::uint32_t>(y), 0);
        }
        TIFFClose(in);
        TIFFClose(out);
    }
    EXPECT_EQ(folder_.Path("mixed.tif") +
                  ": page 2 of 2: not a CMYK image (photometric interpretation 2; separated, 5, "
                  "is read)",
              refusal(folder_.Path("mixed.tif")));
}

}  // namespace
}  // namespace rdz::tifftest
