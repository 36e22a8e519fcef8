// Documents converted through ICC device-link files made at test time, checked
// byte for byte against LittleCMS applying the same file.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <random>

#include <filesystem>

#include "devicelink/TColorConverter_IccDeviceLink.h"
#include "platform/cms/StandIn.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"

using namespace rdz::kelt;
namespace fs = std::filesystem;

namespace {

constexpr const char* kSourceIcc = RDZ_GS_ICC_DIR "/default_cmyk.icc";
constexpr const char* kDestinationIcc = RDZ_GS_ICC_DIR "/ps_cmyk.icc";

/// Writes a device link from `src` to `dst` (both CMYK unless `rgbInput`).
void WriteLink(const fs::path& file, bool rgbInput = false) {
    cmsHPROFILE src = rgbInput ? cmsCreate_sRGBProfile() : cmsOpenProfileFromFile(kSourceIcc, "r");
    cmsHPROFILE dst = cmsOpenProfileFromFile(kDestinationIcc, "r");
    cmsHTRANSFORM t = cmsCreateTransform(src, rgbInput ? TYPE_RGB_8 : TYPE_CMYK_8, dst, TYPE_CMYK_8,
                                         INTENT_PERCEPTUAL, 0);
    cmsHPROFILE link = cmsTransform2DeviceLink(t, 4.3, 0);
    ASSERT_TRUE(cmsSaveProfileToFile(link, file.string().c_str()));
    cmsCloseProfile(link);
    cmsDeleteTransform(t);
    cmsCloseProfile(src);
    cmsCloseProfile(dst);
}

class IccDeviceLink : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() / (std::string("rdz-devicelink-") + info->name() + "-" +
                                              std::to_string(std::random_device{}()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        link = folder / "coated to news.icc";
        WriteLink(link);
        rdz::cms::SetDatabaseFolder(RDZ_EXAMPLE_CMSDB);
        cmyk = AddCmykInks(doc, "Process", "CMYK");
        options.SetRodadazErivoSpace(true);
        options.SetIccDeviceLink(link.string());
        options.SetRenderingIntent(TCMS::Perceptual);
    }
    void TearDown() override {
        rdz::cms::SetDatabaseFolder("");
        fs::remove_all(folder);
    }

    /// What LittleCMS makes of `in` through the link file, intent perceptual.
    std::vector<unsigned char> Direct(const std::vector<unsigned char>& in) {
        cmsHPROFILE profile = cmsOpenProfileFromFile(link.string().c_str(), "r");
        cmsHTRANSFORM t =
            cmsCreateTransform(profile, TYPE_CMYK_8, nullptr, TYPE_CMYK_8, INTENT_PERCEPTUAL, 0);
        std::vector<unsigned char> out(in.size());
        cmsDoTransform(t, in.data(), out.data(), static_cast<cmsUInt32Number>(in.size() / 4));
        cmsDeleteTransform(t);
        cmsCloseProfile(profile);
        return out;
    }

    void Convert() {
        TColorConverter_IccDeviceLink converter(doc, general, options);
        converter.Convert();
    }

    fs::path folder;
    fs::path link;
    ScopedDocument doc;
    std::vector<inkt_t*> cmyk;
    TGeneralColorConverterOptions general;
    TReseparateOptions options;
    RecordingMessageSink messages;
};

std::vector<unsigned char> PaintBytes(const paint_t* paint, const std::vector<inkt_t*>& cmyk) {
    std::vector<unsigned char> bytes(4, 0);
    for (const Amount& amount : SolidAmounts(paint)) {
        for (size_t c = 0; c < 4; ++c) {
            if (amount.ink == cmyk[c]) {
                bytes[c] = static_cast<unsigned char>(amount.fraction * 255.0 + 0.5);
            }
        }
    }
    return bytes;
}

}  // namespace

TEST_F(IccDeviceLink, PaintsAndImagesMatchLittleCmsByteForByte) {
    InkSetup spot;
    spot.book = "Spots";
    spot.name = "Gold";
    inkt_t* gold = AddInk(doc, spot);
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.2}, {cmyk[1], 0.4}, {cmyk[2], 0.6}, {gold, 0.5}});
    paint_t* black = AddSolid(doc, {{cmyk[3], 1.0}});
    paint_t* vignette = AddVignette(doc, {{{cmyk[0], 0.1}}, {{cmyk[0], 0.9}}});
    ImageSetup image;
    image.inks = {cmyk[0], cmyk[1], cmyk[2], cmyk[3], gold};
    image.width = 3;
    image.height = 1;
    image.alpha = true;
    image.pixels = {0, 128, 255, 10, 20, 30, 200, 100, 0, 0, 0, 255, 7, 8, 9, 1, 2, 3};
    ct_def_t* def = AddImageDefinition(doc, image);

    Convert();
    EXPECT_TRUE(messages.messages().empty());

    EXPECT_EQ(PaintBytes(paint, cmyk), Direct({51, 102, 153, 0}));
    bool goldKept = false;
    for (const Amount& amount : SolidAmounts(paint)) {
        goldKept = goldKept || (amount.ink == gold && amount.fraction == 0.5);
    }
    EXPECT_TRUE(goldKept);
    // Process inks that the conversion drops stay at 0%.
    const std::vector<unsigned char> expectedBlack = Direct({0, 0, 0, 255});
    EXPECT_EQ(PaintBytes(black, cmyk), expectedBlack);
    bool blackListed = false;
    for (const Amount& amount : SolidAmounts(black)) {
        blackListed = blackListed || amount.ink == cmyk[3];
    }
    EXPECT_TRUE(blackListed);
    EXPECT_EQ(PaintBytes(VignetteSteps(vignette)[1], cmyk), Direct({230, 0, 0, 0}));

    std::vector<unsigned char> interleaved;
    for (int x = 0; x < 3; ++x) {
        for (int c = 0; c < 4; ++c) {
            interleaved.push_back(image.pixels[static_cast<size_t>(c * 3 + x)]);
        }
    }
    const std::vector<unsigned char> expected = Direct(interleaved);
    const std::vector<std::uint8_t>& out = ImagePixels(def->internal);
    ASSERT_EQ(def->nrInks, 5);
    EXPECT_EQ(def->inks[4], gold);
    for (int x = 0; x < 3; ++x) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(out[static_cast<size_t>(c * 3 + x)],
                      expected[static_cast<size_t>(x * 4 + c)]);
        }
        EXPECT_EQ(out[static_cast<size_t>(12 + x)], image.pixels[static_cast<size_t>(12 + x)]);
        EXPECT_EQ(out[static_cast<size_t>(15 + x)], image.pixels[static_cast<size_t>(15 + x)]);
    }
}

TEST_F(IccDeviceLink, LineworkOffRunsOnlyTheLinearStrategy) {
    general.SetConvertCMYKLinework(false);
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.2}, {cmyk[1], 0.4}});
    Convert();
    EXPECT_EQ(PaintBytes(paint, cmyk), (std::vector<unsigned char>{51, 102, 0, 0}));
}

TEST_F(IccDeviceLink, InvalidOptionsAreRefusedBeforeAnyFileIsOpened) {
    options.SetReseparate(true);
    options.SetIccDeviceLink((folder / "missing.icc").string());
    EXPECT_THROW(Convert(), std::exception);
    EXPECT_EQ(messages.messages(), (std::vector<Message>{{MessageLevel::Error,
                                                          "Invalid options for ICC device link "
                                                          "conversion"}}));
    messages.clear();
    options.SetReseparate(false);
    options.SetRodadazErivoSpace(false);
    EXPECT_THROW(Convert(), std::exception);
    EXPECT_EQ(messages.count(MessageLevel::Error), 1u);
}

TEST_F(IccDeviceLink, LoaderFailuresAreReportedLiterallyAndStopTheConversion) {
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.2}});
    const std::string missing = (folder / "100%d missing.icc").string();
    options.SetIccDeviceLink(missing);
    EXPECT_THROW(Convert(), std::exception);
    EXPECT_EQ(messages.texts(MessageLevel::Error),
              std::vector<std::string>{"Couldn't open device link file " + missing});
    EXPECT_EQ(ChangeCount(paint), 0);

    messages.clear();
    WriteLink(folder / "rgb.icc", /*rgbInput=*/true);
    options.SetIccDeviceLink((folder / "rgb.icc").string());
    EXPECT_THROW(Convert(), std::exception);
    EXPECT_EQ(messages.texts(MessageLevel::Error),
              std::vector<std::string>{"Device link is not a 4-colour to 4-colour device link"});
}

TEST_F(IccDeviceLink, TheOptionMayBeAFileUrl) {
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.2}});
    // "coated to news.icc" with its spaces percent-encoded.
    // "file:///C:/..." on Windows, "file:///tmp/..." elsewhere.
    std::string absolute = folder.generic_string();
    if (absolute.front() != '/') {
        absolute.insert(0, "/");
    }
    std::string url = "file://" + absolute + "/coated%20to%20news.icc";
    options.SetIccDeviceLink(url);
    Convert();
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_EQ(PaintBytes(paint, cmyk), Direct({51, 0, 0, 0}));

    options.SetIccDeviceLink("http://example.invalid/link.icc");
    messages.clear();
    EXPECT_THROW(Convert(), std::exception);
    const std::vector<std::string> errors = messages.texts(MessageLevel::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(
        errors[0].rfind("Error opening ICC Device link file http://example.invalid/link.icc: ", 0),
        0u)
        << errors[0];
}
