// A device-link conversion with several image threads leaves the document
// exactly as one thread does, with the link applied to images and paints or
// only the linear strategy to paints.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "devicelink/TColorConverter_IccDeviceLink.h"
#include "platform/cms/StandIn.h"
#include "tests/converter/ThreadedOutcome.h"

using namespace rdz::kelt;
using rdz::test::Capture;
using rdz::test::ExpectSameOutcome;
using rdz::test::MixedPixels;
using rdz::test::Outcome;
using rdz::test::ThreadCounts;
namespace fs = std::filesystem;

namespace {

class ThreadedDeviceLink : public ::testing::Test {
  protected:
    void SetUp() override {
        // One folder per test and process: ctest runs tests side by side.
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder =
            fs::temp_directory_path() / ("rdz-threaded-devicelink-" + std::string(info->name()) +
                                         "-" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        link = folder / "link.icc";
        cmsHPROFILE src = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/default_cmyk.icc", "r");
        cmsHPROFILE dst = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/ps_cmyk.icc", "r");
        cmsHTRANSFORM t =
            cmsCreateTransform(src, TYPE_CMYK_8, dst, TYPE_CMYK_8, INTENT_PERCEPTUAL, 0);
        cmsHPROFILE profile = cmsTransform2DeviceLink(t, 4.3, 0);
        ASSERT_TRUE(cmsSaveProfileToFile(profile, link.string().c_str()));
        cmsCloseProfile(profile);
        cmsDeleteTransform(t);
        cmsCloseProfile(src);
        cmsCloseProfile(dst);
        rdz::cms::SetDatabaseFolder(RDZ_EXAMPLE_CMSDB);
        options.SetRodadazErivoSpace(true);
        options.SetIccDeviceLink(link.string());
        options.SetRenderingIntent(TCMS::Perceptual);
    }
    void TearDown() override {
        rdz::cms::SetDatabaseFolder("");
        fs::remove_all(folder);
    }

    Outcome ConvertWith(int threads) {
        RecordingMessageSink sink;
        ScopedDocument document;
        std::vector<inkt_t*> cmyk = AddCmykInks(document, "Process", "CMYK");
        InkSetup spot;
        spot.book = "Spots";
        spot.name = "Gold";
        inkt_t* gold = AddInk(document, spot);
        AddSolid(document, {{cmyk[0], 0.2}, {cmyk[1], 0.4}, {cmyk[2], 0.6}, {gold, 0.5}});
        AddVignette(document, {{{cmyk[0], 0.1}}, {{cmyk[0], 0.9}}});

        ImageSetup image;
        image.inks = {cmyk[0], cmyk[1], cmyk[2], cmyk[3], gold};
        image.width = 71;
        image.height = 250;
        image.alpha = true;
        image.pixels = MixedPixels(71, 250, 6);
        AddImageDefinition(document, image);
        image.inks = {cmyk[2], nullptr, cmyk[3]};
        image.width = 257;
        image.height = 37;
        image.alpha = false;
        image.pixels = MixedPixels(257, 37, 3, 13);
        AddImageDefinition(document, image);

        TColorConverter_IccDeviceLink converter(document, general, options);
        converter.SetThreadCount(threads);
        converter.Convert();
        EXPECT_TRUE(converter.ConversionRan());
        return Capture(document, sink);
    }

    fs::path folder;
    fs::path link;
    TGeneralColorConverterOptions general;
    TReseparateOptions options;
};

}  // namespace

TEST_F(ThreadedDeviceLink, DocumentComesOutAsWithOneThread) {
    const Outcome one = ConvertWith(1);
    ASSERT_EQ(2u, one.images.size());
    for (int threads : ThreadCounts()) {
        ExpectSameOutcome(one, ConvertWith(threads), threads);
    }
}

TEST_F(ThreadedDeviceLink, LineworkOffAsWithOneThread) {
    general.SetConvertCMYKLinework(false);
    const Outcome one = ConvertWith(1);
    for (int threads : ThreadCounts()) {
        ExpectSameOutcome(one, ConvertWith(threads), threads);
    }
}
