// Links of the Windows colour engine: builder checks, pixels and values
// against the LittleCMS engine on the same profiles, and the Adobe CMM's
// black-point compensation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ICMFixtures.h"
#include "SystemControls.h"
#include "TestFolders.h"
#include "engine/TintCMMPreferences.h"
#include "engine/icm/TintICMLink.h"
#include "engine/littlecms/TintLittleCMS.h"

namespace {

class ICMLinks : public ::testing::Test {
  protected:
    void SetUp() override {
        if (srgb.empty() || cmyk.empty() || gray.empty() || psCmyk.empty()) {
            GTEST_SKIP() << "Debian's ghostscript profiles are not installed";
        }
    }
    void TearDown() override {
        SystemSetSelectCMMFails(false);
        icm.SetCMM(false);
    }

    AppDataFolders folders;  // the Adobe CMM's preferences stay in a temporary folder
    TintICM& icm = *TintICM::GetInstance();
    TintLittleCMS& lcms = *TintLittleCMS::GetInstance();
    const Bytes srgb = GhostscriptProfile("srgb.icc");
    const Bytes cmyk = GhostscriptProfile("default_cmyk.icc");
    const Bytes psCmyk = GhostscriptProfile("ps_cmyk.icc");
    const Bytes gray = GhostscriptProfile("sgray.icc");
    const Bytes lab = LabProfile();
};

Bytes Pixels(const TintLink& link, const Bytes& input, int inChannels, int outChannels) {
    const std::size_t pixels = input.size() / static_cast<std::size_t>(inChannels);
    Bytes output(pixels * static_cast<std::size_t>(outChannels), 0xEE);
    EXPECT_TRUE(link.Transform(static_cast<int>(pixels), input.data(), output.data()));
    return output;
}

std::vector<int> Sides(const TintLink& link) {
    std::vector<int> sides;
    for (int i = 0; i < link.GetNumberOfColorSpaces(); ++i) {
        sides.push_back(static_cast<int>(link.GetColorSpace(i)));
        sides.push_back(link.GetNumberOfChannels(i));
    }
    return sides;
}

}  // namespace

TEST_F(ICMLinks, HandlesOfAnotherEngineAreRefusedByEveryBuilder) {
    const Bytes dl = DeviceLinkBetween(cmyk, TYPE_CMYK_8, psCmyk, TYPE_CMYK_8, 0);
    EXPECT_EQ(ThrownMessage([&] { icm.CreateDeviceLink(OpenDL(dl), TintRI_Perceptual, 8, false); }),
              "Error misMatchingTypes");
    EXPECT_EQ(
        ThrownMessage([&] { lcms.CreateDeviceLink(OpenICMDL(dl), TintRI_Perceptual, 8, false); }),
        "Profiles do not match");
    EXPECT_EQ(ThrownMessage([&] {
                  icm.CreateMultiProfileLink({OpenICM(srgb), OpenProfile(cmyk)}, TintRI_Perceptual,
                                             8, false);
              }),
              "Profiles do not match");
    for (TintBaseEngine* engine :
         {static_cast<TintBaseEngine*>(&icm), static_cast<TintBaseEngine*>(&lcms)}) {
        EXPECT_EQ(ThrownMessage([&] {
                      engine->CreateProfileLink(OpenICM(srgb), OpenProfile(cmyk), TintRI_Perceptual,
                                                8, false);
                  }),
                  "Profiles do not match");
        EXPECT_EQ(ThrownMessage([&] {
                      engine->CreateProfileLink(OpenProfile(srgb), OpenICM(cmyk), TintRI_Perceptual,
                                                8, false);
                  }),
                  "Profiles do not match");
    }
    EXPECT_EQ(SystemOpenHandleCount(), 0u);
}

TEST_F(ICMLinks, IntentsAreResolvedFromTheHeaderAndMustBeIccIntents) {
    Bytes inverting = Save(ClutDeviceLink(cmsSigCmykData, cmsSigCmykData, 2, true).get());
    Bytes intent9 = inverting;
    PutBig32(intent9, 64, 9);
    EXPECT_EQ(ThrownMessage(
                  [&] { icm.CreateDeviceLink(OpenICMDL(intent9), TintRI_FromProfile, 8, false); }),
              "invalid rendering intent");
    EXPECT_EQ(ThrownMessage([&] {
                  icm.CreateProfileLink(OpenICM(srgb), OpenICM(cmyk), TintRI_InvalidInProfile, 8,
                                        false);
              }),
              "invalid rendering intent");

    const std::string lack = SystemCannotLink({inverting}, INTENT_SATURATION);
    if (!lack.empty()) {
        GTEST_SKIP() << lack;
    }
    const TintLink saturation =
        icm.CreateDeviceLink(OpenICMDL(inverting), TintRI_FromProfile, 8, false);
    EXPECT_EQ(Pixels(saturation, Bytes{0, 64, 128, 255}, 4, 4), (Bytes{255, 191, 127, 0}));
}

TEST_F(ICMLinks, ChainsTheColourSystemCannotLinkGiveErrorCreatingLink) {
    const Bytes empty = HeaderOnlyProfile(cmsSigOutputClass, cmsSigCmykData, cmsSigLabData, 2.1);
    EXPECT_EQ(ThrownMessage([&] {
                  icm.CreateProfileLink(OpenICM(srgb), OpenICM(empty), TintRI_Perceptual, 8, false);
              }),
              "Error Creating Link");
    EXPECT_EQ(SystemOpenHandleCount(), 0u);
}

TEST_F(ICMLinks, LinksRecordTheirChain) {
    const TintLink pair =
        icm.CreateProfileLink(OpenICM(srgb), OpenICM(cmyk), TintRI_Perceptual, 8, false);
    EXPECT_EQ(Sides(pair), (std::vector<int>{TintCS_RGB, 3, TintCS_CMYK, 4}));

    std::string lacks;
    if (const std::string lack = SystemCannotLink({gray, lab, cmyk}, INTENT_PERCEPTUAL);
        lack.empty()) {
        const TintLink chain = icm.CreateMultiProfileLink(
            {OpenICM(gray), OpenICM(lab), OpenICM(cmyk)}, TintRI_FromProfile, 8, false);
        EXPECT_EQ(Sides(chain), (std::vector<int>{TintCS_Gray, 1, TintCS_Lab, 3, TintCS_CMYK, 4}));
    } else {
        lacks += lack + "; ";
    }
    const Bytes dl = DeviceLinkBetween(srgb, TYPE_RGB_8, cmyk, TYPE_CMYK_8, 0);
    if (const std::string lack = SystemCannotLink({dl}, INTENT_PERCEPTUAL); lack.empty()) {
        EXPECT_EQ(Sides(icm.CreateDeviceLink(OpenICMDL(dl), TintRI_Perceptual, 8, false)),
                  (std::vector<int>{TintCS_RGB, 3, TintCS_CMYK, 4}));
    } else {
        lacks += lack;
    }
    if (!lacks.empty()) {
        GTEST_SKIP() << "pair checked; " << lacks;
    }
}

TEST_F(ICMLinks, PixelsAgainstTheLittleCMSEngineForEveryIntent) {
    struct Case {
        const char* name;
        Bytes from, to;
        int inChannels, outChannels;
    };
    const Case cases[] = {
        {"RGB to CMYK", srgb, cmyk, 3, 4},    {"CMYK to RGB", cmyk, srgb, 4, 3},
        {"Gray to RGB", gray, srgb, 1, 3},    {"RGB to Gray", srgb, gray, 3, 1},
        {"CMYK to CMYK", cmyk, psCmyk, 4, 4},
    };
    const char* const intentNames[] = {"perceptual", "relative colorimetric", "saturation",
                                       "absolute colorimetric"};
    for (int intent = 0; intent < 4; ++intent) {
        int largest = 0;
        std::string each;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            const auto engineIntent = static_cast<TintRenderingIntent>(intent);
            const Bytes input = PixelGrid(c.inChannels, c.inChannels == 4 ? 6 : 9);
            const TintLink ours =
                icm.CreateProfileLink(OpenICM(c.from), OpenICM(c.to), engineIntent, 8, false);
            const TintLink reference = lcms.CreateProfileLink(
                OpenProfile(c.from), OpenProfile(c.to), engineIntent, 8, false);
            const int difference =
                MaxDifference(Pixels(ours, input, c.inChannels, c.outChannels),
                              Pixels(reference, input, c.inChannels, c.outChannels));
            EXPECT_LE(difference, PixelTolerance());
            largest = std::max(largest, difference);
            each +=
                std::string(each.empty() ? "" : ", ") + c.name + " " + std::to_string(difference);
        }
        // How close the system's CMM comes, for the record.
        std::printf("%s, %s: largest pixel difference from LittleCMS %d of 255 (%s)\n",
                    SystemName().c_str(), intentNames[intent], largest, each.c_str());
        RecordProperty(std::string("largest difference ") + intentNames[intent], largest);
    }
}

TEST_F(ICMLinks, LabPixelsAgainstTheLittleCMSEngine) {
    const std::string lack = SystemLabTripletsDiffer(srgb, lab);
    if (!lack.empty()) {
        GTEST_SKIP() << lack;
    }
    struct Case {
        const char* name;
        Bytes from, to;
        int inChannels, outChannels;
    };
    const Case cases[] = {
        {"Lab to CMYK", lab, cmyk, 3, 4},
        {"RGB to Lab", srgb, lab, 3, 3},
        {"CMYK to Lab", cmyk, lab, 4, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (TintRenderingIntent intent : {TintRI_Perceptual, TintRI_RelativeColorimetric}) {
            const Bytes input = PixelGrid(c.inChannels, c.inChannels == 4 ? 6 : 9);
            const TintLink ours =
                icm.CreateProfileLink(OpenICM(c.from), OpenICM(c.to), intent, 8, false);
            const TintLink reference =
                lcms.CreateProfileLink(OpenProfile(c.from), OpenProfile(c.to), intent, 8, false);
            EXPECT_LE(MaxDifference(Pixels(ours, input, c.inChannels, c.outChannels),
                                    Pixels(reference, input, c.inChannels, c.outChannels)),
                      PixelTolerance());
        }
    }
}

TEST_F(ICMLinks, DeviceLinkPixelsAgainstTheLittleCMSEngine) {
    const Bytes dl = DeviceLinkBetween(cmyk, TYPE_CMYK_8, psCmyk, TYPE_CMYK_8, 1);
    const std::string lack = SystemCannotLink({dl}, INTENT_RELATIVE_COLORIMETRIC);
    if (!lack.empty()) {
        GTEST_SKIP() << lack;
    }
    const Bytes input = PixelGrid(4, 7);
    EXPECT_LE(
        MaxDifference(
            Pixels(icm.CreateDeviceLink(OpenICMDL(dl), TintRI_FromProfile, 8, false), input, 4, 4),
            Pixels(lcms.CreateDeviceLink(OpenDL(dl), TintRI_FromProfile, 8, false), input, 4, 4)),
        PixelTolerance());
}

TEST_F(ICMLinks, LabInputRowIsLeftAsTheCallerGaveIt) {
    const TintLink link =
        icm.CreateProfileLink(OpenICM(lab), OpenICM(srgb), TintRI_Perceptual, 8, false);
    const Bytes row = PixelGrid(3, 5);
    const Bytes original = row;
    const Bytes first = Pixels(link, row, 3, 3);
    EXPECT_EQ(row, original);
    EXPECT_EQ(Pixels(link, row, 3, 3), first);
}

TEST_F(ICMLinks, EachPixelCallNeedsItsSampleSizeAndABitmapFormat) {
    const TintLink sixteen =
        icm.CreateProfileLink(OpenICM(srgb), OpenICM(cmyk), TintRI_Perceptual, 16, false);
    const TintLink eight =
        icm.CreateProfileLink(OpenICM(srgb), OpenICM(cmyk), TintRI_Perceptual, 8, false);
    Bytes out(8);
    double values[4] = {};
    EXPECT_EQ(ThrownMessage([&] { sixteen.Transform(1, out.data(), out.data() + 4); }),
              "bitsPerSample can only be 8 for this function try the other match color function");
    EXPECT_EQ(ThrownMessage([&] { eight.TransformValues(1, values, values); }),
              "MbitsPerSample should be 16 if 8 try other match color function");

    const Bytes fourColour = Save(ClutDeviceLink(cmsSig4colorData, cmsSigCmykData).get());
    const std::string lack = SystemCannotLink({fourColour}, INTENT_PERCEPTUAL);
    if (!lack.empty()) {
        GTEST_SKIP() << "sample sizes checked; " << lack;
    }
    const TintDLProfile profile = OpenICMDL(fourColour);
    EXPECT_EQ(ThrownMessage([&] {
                  icm.CreateDeviceLink(profile, TintRI_Perceptual, 8, false)
                      .Transform(1, out.data(), out.data() + 4);
              }),
              "Could not get bitmap format");
    EXPECT_EQ(ThrownMessage([&] {
                  icm.CreateDeviceLink(profile, TintRI_Perceptual, 16, false)
                      .TransformValues(1, values, values);
              }),
              "Invalid Color Space");
}

TEST_F(ICMLinks, ValuesEqualTheLittleCMSEngineWhereTheEncodingsAgree) {
    const double rgb[] = {0.0, 0.0, 0.0, 0.2, 0.5, 0.8, 1.0, 1.0, 1.0, 0.33, 0.66, 0.99};
    const double cmykValues[] = {0.1, 0.2, 0.3, 0.4, 0.0, 0.0, 0.0, 1.0};
    double ours[16] = {};
    double reference[16] = {};
    auto pair = [&](TintBaseEngine& engine, const Bytes& from, const Bytes& to) {
        auto open = [&](const Bytes& b) { return &engine == &icm ? OpenICM(b) : OpenProfile(b); };
        return engine.CreateProfileLink(open(from), open(to), TintRI_Perceptual, 16, false);
    };
    // Equal on the stand-in; within the pixel tolerance where the system's
    // own CMM converts.
    auto closeEnough = [](const double* a, const double* b, int count) {
        double largest = 0.0;
        for (int i = 0; i < count; ++i) {
            largest = std::max(largest, std::fabs(a[i] - b[i]));
        }
        std::printf("%s: largest value difference from LittleCMS %.6f\n", SystemName().c_str(),
                    largest);
        return largest <= PixelTolerance() / 255.0;
    };
    ASSERT_TRUE(pair(icm, srgb, cmyk).TransformValues(4, rgb, ours));
    ASSERT_TRUE(pair(lcms, srgb, cmyk).TransformValues(4, rgb, reference));
    EXPECT_TRUE(closeEnough(ours, reference, 16));

    ASSERT_TRUE(pair(icm, cmyk, srgb).TransformValues(2, cmykValues, ours));
    ASSERT_TRUE(pair(lcms, cmyk, srgb).TransformValues(2, cmykValues, reference));
    EXPECT_TRUE(closeEnough(ours, reference, 6));
}

TEST_F(ICMLinks, FiveToEightChannelValuesGoThroughBytesOfValueTimes255) {
    const ProfilePtr direct = ClutDeviceLink(cmsSig6colorData, cmsSigCmykData);
    const std::string lack = SystemCannotLink({Save(direct.get())}, INTENT_PERCEPTUAL);
    if (!lack.empty()) {
        GTEST_SKIP() << lack;
    }
    const TintLink link =
        icm.CreateDeviceLink(OpenICMDL(Save(direct.get())), TintRI_Perceptual, 16, false);
    const double input[6] = {0.0, 0.25, 0.5, 0.75, 1.0, 0.1};
    double output[4] = {};
    ASSERT_TRUE(link.TransformValues(1, input, output));

    unsigned char bytes[6];
    for (int i = 0; i < 6; ++i) {
        bytes[i] = static_cast<unsigned char>(input[i] * 255.0 + 0.5);
    }
    cmsUInt16Number words[4];
    TransformPtr reference(
        cmsCreateTransform(direct.get(), TYPE_CMYK6_8, nullptr, TYPE_CMYK_16, 0, 0));
    cmsDoTransform(reference.get(), bytes, words, 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(output[i], words[i] / 65535.0) << i;
    }
}

TEST_F(ICMLinks, CMMChoiceIsStoredEvenWhenTheColourSystemRefusesIt) {
    icm.SetCMM(true);
    EXPECT_EQ(icm.GetCMMChoice(), 1);
    EXPECT_EQ(SystemSelectedCMM(), 0x41444245u);
    SystemSetSelectCMMFails(true);
    EXPECT_EQ(ThrownMessage([&] { icm.SetCMM(false); }), "Could not select CMM");
    EXPECT_EQ(icm.GetCMMChoice(), 0);
    EXPECT_EQ(SystemSelectedCMM(), 0x41444245u);
    SystemSetSelectCMMFails(false);
    icm.SetCMM(false);
}

TEST_F(ICMLinks, AdobeCMMChoiceCarriesBlackPointCompensationToItsPreferences) {
    std::filesystem::create_directories(folders.User() / "Adobe");
    const Bytes input = PixelGrid(3, 9);
    auto icmPixels = [&](bool compensation) {
        return Pixels(icm.CreateProfileLink(OpenICM(srgb), OpenICM(cmyk),
                                            TintRI_RelativeColorimetric, 8, compensation),
                      input, 3, 4);
    };

    // The Windows CMM ignores the switch and never touches the file.
    EXPECT_EQ(icmPixels(true), icmPixels(false));
    EXPECT_EQ(SystemProfileWriteCount(), 0u);
    EXPECT_EQ(FileText(folders.PreferencesFile(folders.User())), "<missing>");

    icm.SetCMM(true);
    icmPixels(true);  // no file: on, nothing written
    EXPECT_EQ(SystemProfileWriteCount(), 0u);
    icmPixels(false);
    icmPixels(false);
    EXPECT_EQ(SystemProfileWriteCount(), 1u);
    EXPECT_EQ(FileText(folders.PreferencesFile(folders.User())),
              "[AdobeCMM]\r\nBlackPointCompensation=0\r\n");
    icm.SetCMM(false);
}

TEST_F(ICMLinks, AdobeCMMAppliesBlackPointCompensationFromItsPreferences) {
    const std::string lack = SystemLacksAdobeCMM();
    if (!lack.empty()) {
        GTEST_SKIP() << lack;
    }
    std::filesystem::create_directories(folders.User() / "Adobe");
    const Bytes input = PixelGrid(3, 9);
    auto icmPixels = [&](bool compensation) {
        return Pixels(icm.CreateProfileLink(OpenICM(srgb), OpenICM(cmyk),
                                            TintRI_RelativeColorimetric, 8, compensation),
                      input, 3, 4);
    };
    auto lcmsPixels = [&](bool compensation) {
        return Pixels(lcms.CreateProfileLink(OpenProfile(srgb), OpenProfile(cmyk),
                                             TintRI_RelativeColorimetric, 8, compensation),
                      input, 3, 4);
    };
    ASSERT_NE(lcmsPixels(true), lcmsPixels(false));
    EXPECT_LE(MaxDifference(icmPixels(true), lcmsPixels(false)), PixelTolerance());  // Windows CMM

    icm.SetCMM(true);
    EXPECT_LE(MaxDifference(icmPixels(true), lcmsPixels(true)), PixelTolerance());
    EXPECT_LE(MaxDifference(icmPixels(false), lcmsPixels(false)), PixelTolerance());
    icm.SetCMM(false);
}
