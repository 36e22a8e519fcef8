// The sample document through each method, as the README's demo runs it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/e2e/E2eSupport.h"
#include "tests/e2e/SampleJson.h"

namespace rdz::e2e {
namespace {

// Paint list positions in examples/sample/sample.json.
constexpr std::size_t kSkin = 2;
constexpr std::size_t kWarmRed = 3;
constexpr std::size_t kWhite = 6;
constexpr std::size_t kSky = 7;

class ConvertSample : public testing::Test {
  protected:
    void SetUp() override {
        if (!Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
            GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
        }
        // The demo's input is converted where it lies: it must stay as it is.
        for (const char* name : {"sample.json", "sample.photo.tif", "sample.logo.tif"}) {
            inputs_[name] = ReadText(Sample(name));
        }
    }
    void TearDown() override {
        for (const auto& input : inputs_) {
            EXPECT_EQ(input.second, ReadText(Sample(input.first))) << input.first << " changed";
        }
    }
    static std::string Sample(const std::string& name) { return ExamplesDir() + "/sample/" + name; }

    Scratch scratch_;
    std::map<std::string, std::string> inputs_;
};

TEST_F(ConvertSample, ColorStrategyConvertsPaintsAndImagesAndReportsEveryInkDecision) {
    const CliRun run =
        RunCli({"convert", "--cms", ExampleCmsDb(), "--strategy", "Coated to Uncoated",
                Sample("sample.json"), "-o", scratch_.Path("out.json")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("INFO: Ink Spectra Solid Coated Opaque White C is an opaque ink and "
                           "will not be converted (as specified in Color Strategy Coated to "
                           "Uncoated).\n"))
        << run.err;
    EXPECT_NE(std::string::npos, run.err.find("INFO: Wrote " + scratch_.Path("out.json") + "\n"));
    // The document, one TIFF per image, and nothing left over.
    EXPECT_EQ((std::vector<std::string>{"out.json", "out.logo.tif", "out.photo.tif"}),
              scratch_.Files());

    const nlohmann::json out = ReadJson(scratch_.Path("out.json"));
    // A process colour goes from default_cmyk.icc to ps_cmyk.icc as LittleCMS
    // converts it (relative colorimetric with black point compensation).
    const std::map<std::string, double> skin = MakeUp(out, kSkin);
    const std::vector<std::uint8_t> expected =
        ConvertCmyk(DefaultCmykProfile(), PsCmykProfile(), 1, true, {0, Byte(0.3), Byte(0.45), 0});
    const char* const process[4] = {"Cyan", "Magenta", "Yellow", "Black"};
    for (int c = 0; c < 4; ++c) {
        const double fraction = skin.count(process[c]) != 0 ? skin.at(process[c]) : 0.0;
        EXPECT_NEAR(expected[static_cast<std::size_t>(c)], Byte(fraction), 2) << process[c];
    }
    // Warm Red has explicit values (0, 85, 90, 0); the opaque white is kept.
    const std::map<std::string, double> warmRed = MakeUp(out, kWarmRed);
    EXPECT_NEAR(0.85, warmRed.at("Magenta"), 0.5 / 255);
    EXPECT_NEAR(0.90, warmRed.at("Yellow"), 0.5 / 255);
    EXPECT_EQ((std::map<std::string, double>{{"SPECTRA Opaque White C", 1.0}}),
              MakeUp(out, kWhite));

    // Images take the strategy's output inks: the four of ps_cmyk.icc and
    // the kept Reflex Blue. The photo keeps its alpha, the green logo has none.
    const std::vector<std::string> outputInks = {"Cyan", "Magenta", "Yellow", "Black",
                                                 "SPECTRA Reflex Blue C"};
    const TiffContent photo = ReadTiff(scratch_.Path("out.photo.tif"));
    const TiffContent logo = ReadTiff(scratch_.Path("out.logo.tif"));
    const TiffContent original = ReadTiff(Sample("sample.photo.tif"));
    EXPECT_EQ(outputInks, photo.inkNames);
    EXPECT_EQ(outputInks, logo.inkNames);
    ASSERT_EQ(6, photo.samples);
    EXPECT_EQ(5, logo.samples);
    for (std::size_t p = 0; p < original.pixels.size() / 5; ++p) {
        ASSERT_EQ(original.pixels[p * 5 + 4], photo.pixels[p * 6 + 5]) << "alpha of pixel " << p;
    }
}

TEST_F(ConvertSample, ProfileConversionMatchesLittleCmsAndKeepsSpotInks) {
    if (!MethodBuilt("profile")) {
        GTEST_SKIP() << "the profile converter is not part of this build";
    }
    // The conversion stores the device links it computes in the database.
    CopyFolder(ExampleCmsDb(), scratch_.Path("cmsdb"));
    const CliRun run = RunCli({"convert", "--cms", scratch_.Path("cmsdb"), "--profile", "--source",
                               "default_cmyk.icc", "--destination", "ps_cmyk.icc",
                               Sample("sample.json"), "-o", scratch_.Path("out.json")});
    ASSERT_EQ(0, run.status) << run.err;
    const nlohmann::json out = ReadJson(scratch_.Path("out.json"));
    const std::map<std::string, double> skin = MakeUp(out, kSkin);
    const std::vector<std::uint8_t> expected =
        ConvertCmyk(DefaultCmykProfile(), PsCmykProfile(), 1, true, {0, Byte(0.3), Byte(0.45), 0});
    const char* const process[4] = {"Cyan", "Magenta", "Yellow", "Black"};
    for (int c = 0; c < 4; ++c) {
        const double fraction = skin.count(process[c]) != 0 ? skin.at(process[c]) : 0.0;
        EXPECT_NEAR(expected[static_cast<std::size_t>(c)], Byte(fraction), 3) << process[c];
    }
    // Spot inks are no process colours: they pass unchanged.
    EXPECT_EQ(1.0, MakeUp(out, kWarmRed).at("SPECTRA Warm Red C"));
    EXPECT_TRUE(Exists(scratch_.Path("cmsdb/links"))) << "no device link was stored";
}

TEST_F(ConvertSample, ProfileConversionThatCannotBeSetUpFailsWithoutOutput) {
    if (!MethodBuilt("profile")) {
        GTEST_SKIP() << "the profile converter is not part of this build";
    }
    // The document names a colour space the CMS database does not hold: the
    // converter declines without a word, and the program must not pass the
    // unconverted document off as converted.
    std::string text = inputs_["sample.json"];
    const std::string tag = "\"name\": \"ISOCoated_v2_eci.icc\"";
    ASSERT_NE(std::string::npos, text.find(tag));
    text.replace(text.find(tag), tag.size(), "\"name\": \"Unknown Press.icc\"");
    WriteText(scratch_.Path("in.json"), text);
    for (const char* name : {"sample.photo.tif", "sample.logo.tif"}) {
        WriteText(scratch_.Path(name), inputs_[name]);
    }
    CopyFolder(ExampleCmsDb(), scratch_.Path("cmsdb"));

    const CliRun run = RunCli({"convert", "--cms", scratch_.Path("cmsdb"), "--profile",
                               "--use-document-profile", "--destination", "ps_cmyk.icc",
                               scratch_.Path("in.json"), "-o", scratch_.Path("out.json")});
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("ERROR: The profile conversion could not be set up; nothing was "
                           "converted and no output was written.\n"))
        << run.err;
    EXPECT_FALSE(Exists(scratch_.Path("out.json")));
    EXPECT_FALSE(Exists(scratch_.Path("out.photo.tif")));
}

TEST_F(ConvertSample, DeviceLinkAppliesTheLinkToProcessColoursAsLittleCmsDoes) {
    if (!MethodBuilt("device-link")) {
        GTEST_SKIP() << "the device-link converter is not part of this build";
    }
    const std::string link = scratch_.Path("coated-to-ps.icc");
    WriteDeviceLink(DefaultCmykProfile(), PsCmykProfile(), link);
    const CliRun run = RunCli({"convert", "--cms", ExampleCmsDb(), "--device-link", link,
                               Sample("sample.json"), "-o", scratch_.Path("out.json")});
    ASSERT_EQ(0, run.status) << run.err;
    const nlohmann::json out = ReadJson(scratch_.Path("out.json"));

    // Every step of the vignette, and the skin tone, through the link.
    const char* const process[4] = {"Cyan", "Magenta", "Yellow", "Black"};
    const nlohmann::json in = ReadJson(Sample("sample.json"));
    for (int step = 0; step < 5; ++step) {
        const std::map<std::string, double> before = MakeUp(in, kSky, step);
        std::vector<std::uint8_t> pixel(4, 0);
        pixel[0] = static_cast<std::uint8_t>(Byte(before.at("Cyan")));
        pixel[1] = static_cast<std::uint8_t>(Byte(before.at("Magenta")));
        const std::vector<std::uint8_t> expected = ApplyDeviceLink(link, pixel);
        const std::map<std::string, double> after = MakeUp(out, kSky, step);
        for (int c = 0; c < 4; ++c) {
            const double fraction = after.count(process[c]) != 0 ? after.at(process[c]) : 0.0;
            EXPECT_NEAR(expected[static_cast<std::size_t>(c)], Byte(fraction), 1)
                << "step " << step << " " << process[c];
        }
    }
    EXPECT_EQ(1.0, MakeUp(out, kWarmRed).at("SPECTRA Warm Red C"));

    // The photo's pixels: the link applied to each, alpha untouched.
    const TiffContent original = ReadTiff(Sample("sample.photo.tif"));
    const TiffContent photo = ReadTiff(scratch_.Path("out.photo.tif"));
    ASSERT_EQ(original.pixels.size(), photo.pixels.size());
    std::vector<std::uint8_t> cmyk;
    for (std::size_t i = 0; i < original.pixels.size(); i += 5) {
        cmyk.insert(cmyk.end(), original.pixels.begin() + static_cast<long>(i),
                    original.pixels.begin() + static_cast<long>(i) + 4);
    }
    const std::vector<std::uint8_t> expected = ApplyDeviceLink(link, cmyk);
    for (std::size_t p = 0; p < cmyk.size() / 4; ++p) {
        for (std::size_t c = 0; c < 4; ++c) {
            ASSERT_NEAR(expected[p * 4 + c], photo.pixels[p * 5 + c], 1) << "pixel " << p;
        }
        ASSERT_EQ(original.pixels[p * 5 + 4], photo.pixels[p * 5 + 4]) << "alpha of pixel " << p;
    }
}

TEST_F(ConvertSample, PreviewDrawsBeforeAndAfterSideBySide) {
    const CliRun run =
        RunCli({"preview", "--cms", ExampleCmsDb(), "--strategy", "Digital Press Hexa",
                Sample("sample.json"), "-o", scratch_.Path("preview.png")});
    ASSERT_EQ(0, run.status) << run.err;
    const std::string png = ReadText(scratch_.Path("preview.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), png.substr(0, 8));
    // Width from the IHDR chunk: two columns of 360 and the gap between them.
    const auto byte = [&](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(png[i]));
    };
    EXPECT_EQ(724u, (byte(16) << 24) | (byte(17) << 16) | (byte(18) << 8) | byte(19));
    EXPECT_EQ((std::vector<std::string>{"preview.png"}), scratch_.Files());
}

}  // namespace
}  // namespace rdz::e2e
