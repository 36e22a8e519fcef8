// The LittleCMS engine's links, pixel and value transforms and PostScript,
// compared with LittleCMS used directly on the same bytes.
#include <gtest/gtest.h>

#include <limits>

#include "EngineFixtures.h"
#include "engine/littlecms/TintLittleCMSLink.h"

namespace {

class LittleCMSLinks : public ::testing::Test {
  protected:
    void SetUp() override {
        if (srgb.empty() || cmyk.empty() || psCmyk.empty()) {
            GTEST_SKIP() << "Debian's ghostscript profiles are not installed";
        }
    }

    TintLittleCMS& engine = *TintLittleCMS::GetInstance();
    const Bytes srgb = GhostscriptProfile("srgb.icc");
    const Bytes cmyk = GhostscriptProfile("default_cmyk.icc");  // version 2
    const Bytes psCmyk = GhostscriptProfile("ps_cmyk.icc");     // version 4
    const ProfilePtr rgbDirect = Open(srgb);
    const ProfilePtr cmykDirect = Open(cmyk);
};

cmsHTRANSFORM TransformOf(const TintLink& link) {
    return dynamic_cast<TintLittleCMSLink&>(*link.GetEngineLink()).GetTransform();
}

// Runs `input` through the link and through `reference` and expects the
// same bytes.
void ExpectSameAsLittleCMS(const TintLink& link, cmsHTRANSFORM reference, const Bytes& input,
                           std::size_t pixels, std::size_t outputBytesPerPixel) {
    ASSERT_NE(reference, nullptr);
    Bytes ours(pixels * outputBytesPerPixel, 0xAB);
    Bytes theirs(pixels * outputBytesPerPixel, 0xCD);
    ASSERT_TRUE(link.Transform(static_cast<int>(pixels), input.data(), ours.data()));
    cmsDoTransform(reference, input.data(), theirs.data(), static_cast<cmsUInt32Number>(pixels));
    EXPECT_EQ(ours, theirs);
}

// Recorded chain as (space, channels) pairs.
std::vector<int> Sides(const TintLink& link) {
    std::vector<int> sides;
    for (int i = 0; i < link.GetNumberOfColorSpaces(); ++i) {
        sides.push_back(static_cast<int>(link.GetColorSpace(i)));
        sides.push_back(link.GetNumberOfChannels(i));
    }
    return sides;
}

std::string WithoutCreationTime(std::string text) {
    const std::size_t line = text.find("% Created:");
    if (line != std::string::npos) {
        text.erase(line, text.find('\n', line) - line);
    }
    return text;
}

int Append(int length, const char* text, void* userData) {
    static_cast<std::string*>(userData)->append(text, static_cast<std::size_t>(length));
    return length;
}

}  // namespace

TEST_F(LittleCMSLinks, BytesThatAreNotAProfileAreRefused) {
    const Bytes cases[] = {{},
                           Noise(4096, 1),
                           Bytes(srgb.begin(), srgb.begin() + 128),
                           Bytes(srgb.begin(), srgb.begin() + 200)};
    for (const Bytes& bytes : cases) {
        EXPECT_EQ(ThrownMessage([&] { OpenProfile(bytes); }), "Could not open profile");
        EXPECT_EQ(ThrownMessage([&] { OpenDL(bytes); }), "Could not open profile");
    }
    EXPECT_EQ(ThrownMessage([&] { engine.OpenProfile(nullptr, 100); }), "Could not open profile");
}

TEST_F(LittleCMSLinks, DamagedProfilesGiveTintExceptionsNotCrashes) {
    Bytes farTags = srgb;  // every tag offset far beyond the data
    for (std::size_t entry = 132; entry < 132 + 12 * 10; entry += 12) {
        farTags[entry + 4] = 0x7F;
    }
    EXPECT_THROW(engine.CreateProfileLink(OpenProfile(farTags), OpenProfile(cmyk),
                                          TintRI_Perceptual, 8, false),
                 TintException);

    // Truncations and scattered damage; whatever opens is exercised fully.
    std::vector<Bytes> samples;
    for (std::size_t size = 128; size < srgb.size(); size += 61) {
        samples.emplace_back(srgb.begin(), srgb.begin() + static_cast<std::ptrdiff_t>(size));
    }
    for (unsigned int seed = 0; seed < 40; ++seed) {
        Bytes damaged = srgb;
        const Bytes noise = Noise(16, seed);
        for (std::size_t i = 0; i < noise.size(); i += 2) {
            damaged[128 + (noise[i] * 7 + seed * 13) % (damaged.size() - 128)] = noise[i + 1];
        }
        samples.push_back(damaged);
    }
    const Bytes in = Noise(3 * 16, 9);
    Bytes out(4 * 16);
    for (const Bytes& sample : samples) {
        try {
            const TintProfile profile = OpenProfile(sample);
            profile.GetNumberOfChannels();
            profile.GetRenderingIntent();
            profile.GetColorantName(1);
            engine.CreateProfileLink(profile, OpenProfile(cmyk), TintRI_Perceptual, 8, false)
                .Transform(16, in.data(), out.data());
        } catch (const TintException&) {
        }
    }
}

TEST_F(LittleCMSLinks, DeviceLinksRunLikeLittleCMSAndOutliveTheirProfile) {
    const ProfilePtr to = Open(psCmyk);
    const TransformPtr made(cmsCreateTransform(cmykDirect.get(), TYPE_CMYK_8, to.get(), TYPE_CMYK_8,
                                               INTENT_PERCEPTUAL, 0));
    const Bytes bytes = Save(ProfilePtr(cmsTransform2DeviceLink(made.get(), 4.3, 0)).get());

    TintLink link;
    {
        const TintDLProfile profile = OpenDL(bytes);
        link = engine.CreateDeviceLink(profile, TintRI_Perceptual, 8, false);
    }
    EXPECT_EQ(Sides(link), (std::vector<int>{4, 4, 4, 4}));
    EXPECT_EQ(cmsGetTransformInputFormat(TransformOf(link)), cmsUInt32Number(TYPE_CMYK_8));
    const ProfilePtr direct = Open(bytes);
    const TransformPtr reference(
        cmsCreateTransform(direct.get(), TYPE_CMYK_8, nullptr, TYPE_CMYK_8, INTENT_PERCEPTUAL, 0));
    ExpectSameAsLittleCMS(link, reference.get(), Noise(4 * 1000, 2), 1000, 4);

    const ProfilePtr lab(cmsCreateLab4Profile(nullptr));
    const TransformPtr fromLab(cmsCreateTransform(lab.get(), TYPE_Lab_16, cmykDirect.get(),
                                                  TYPE_CMYK_16, INTENT_PERCEPTUAL, 0));
    const TintDLProfile labToCmyk =
        OpenDL(Save(ProfilePtr(cmsTransform2DeviceLink(fromLab.get(), 4.3, 0)).get()));
    EXPECT_EQ(labToCmyk.GetInputColorSpace(), TintCS_Lab);
    EXPECT_EQ(labToCmyk.GetNumberOfInputChannels(), 3);
    const TintLink labLink = engine.CreateDeviceLink(labToCmyk, TintRI_Perceptual, 16, false);
    EXPECT_EQ(Sides(labLink), (std::vector<int>{1, 3, 4, 4}));
    EXPECT_EQ(cmsGetTransformInputFormat(TransformOf(labLink)), cmsUInt32Number(TYPE_Lab_16));
}

TEST_F(LittleCMSLinks, GenericColourSpacesHaveFormatsInBothSampleSizes) {
    struct Case {
        cmsColorSpaceSignature in, out;
        cmsUInt32Number inFormat8, outFormat8;
    };
    const cmsUInt32Number fourColour8 = COLORSPACE_SH(PT_MCH4) | CHANNELS_SH(4) | BYTES_SH(1);
    const cmsUInt32Number threeColour8 = COLORSPACE_SH(PT_MCH3) | CHANNELS_SH(3) | BYTES_SH(1);
    // Wide inputs make LittleCMS sample large tables, so wide spaces are
    // mostly tried as outputs.
    const Case cases[] = {
        {cmsSigCmykData, cmsSig4colorData, TYPE_CMYK_8, fourColour8},
        {cmsSig4colorData, cmsSig4colorData, fourColour8, fourColour8},
        {cmsSig5colorData, cmsSig6colorData, TYPE_CMYK5_8, TYPE_CMYK6_8},
        {cmsSigCmykData, cmsSig7colorData, TYPE_CMYK_8, TYPE_CMYK7_8},
        {cmsSig3colorData, cmsSig8colorData, threeColour8, TYPE_CMYK8_8},
    };
    for (const Case& c : cases) {
        const Bytes bytes = Save(ClutDeviceLink(c.in, c.out).get());
        const ProfilePtr direct = Open(bytes);
        const TintDLProfile profile = OpenDL(bytes);
        for (cmsUInt32Number sampleBytes : {1u, 2u}) {
            const TintLink link = engine.CreateDeviceLink(profile, TintRI_Perceptual,
                                                          8 * static_cast<int>(sampleBytes), false);
            const cmsUInt32Number inFormat = c.inFormat8 + sampleBytes - 1;
            const cmsUInt32Number outFormat = c.outFormat8 + sampleBytes - 1;
            EXPECT_EQ(cmsGetTransformInputFormat(TransformOf(link)), inFormat);
            EXPECT_EQ(cmsGetTransformOutputFormat(TransformOf(link)), outFormat);
            const TransformPtr reference(cmsCreateTransform(direct.get(), inFormat, nullptr,
                                                            outFormat, INTENT_PERCEPTUAL, 0));
            ExpectSameAsLittleCMS(link, reference.get(),
                                  Noise(cmsChannelsOf(c.in) * sampleBytes * 64, 4), 64,
                                  cmsChannelsOf(c.out) * sampleBytes);
        }
    }
}

TEST_F(LittleCMSLinks, RequestsWithoutAFormatFailBeforeLittleCMS) {
    const TintDLProfile twoColour =
        OpenDL(Save(ClutDeviceLink(cmsSig2colorData, cmsSigCmykData).get()));
    EXPECT_EQ(twoColour.GetInputColorSpace(), TintCS_Unknown);
    EXPECT_EQ(twoColour.GetNumberOfInputChannels(), 0);
    for (int bits : {8, 16}) {
        EXPECT_EQ(ThrownMessage(
                      [&] { engine.CreateDeviceLink(twoColour, TintRI_Perceptual, bits, false); }),
                  "Error creating Link");
    }

    const TintProfile rgb = OpenProfile(srgb);
    const TintProfile printer = OpenProfile(cmyk);
    const TintDLProfile link = OpenDL(Save(ClutDeviceLink(cmsSigCmykData, cmsSigCmykData).get()));
    for (int bits : {0, 12, 32}) {
        const auto intent = TintRI_Perceptual;
        EXPECT_EQ(ThrownMessage([&] { engine.CreateDeviceLink(link, intent, bits, false); }),
                  "bitsPerSample not 8 or 16");
        EXPECT_EQ(
            ThrownMessage([&] { engine.CreateProfileLink(rgb, printer, intent, bits, false); }),
            "bitsPerSample not 8 or 16");
        EXPECT_EQ(ThrownMessage([&] {
                      engine.CreateMultiProfileLink({rgb, printer}, intent, bits, false);
                  }),
                  "bitsPerSample not 8 or 16");
    }
    EXPECT_EQ(
        ThrownMessage([&] { engine.CreateMultiProfileLink({}, TintRI_Perceptual, 8, false); }),
        "profile chain is empty");
}

TEST_F(LittleCMSLinks, DeviceLinkIntentFromTheHeader) {
    const unsigned char in[4] = {10, 20, 30, 40};
    auto firstOutput = [&](const TintLink& link) {
        unsigned char out[4] = {};
        EXPECT_TRUE(link.Transform(1, in, out));
        return static_cast<int>(out[0]);
    };
    // A2B0 copies, A2B2 (saturation) inverts; the header says saturation.
    const TintDLProfile saturation =
        OpenDL(Save(ClutDeviceLink(cmsSigCmykData, cmsSigCmykData, 2, true).get()));
    EXPECT_EQ(saturation.GetRenderingIntent(), TintRI_Saturation);
    EXPECT_EQ(firstOutput(engine.CreateDeviceLink(saturation, TintRI_FromProfile, 8, false)), 245);
    EXPECT_EQ(firstOutput(engine.CreateDeviceLink(saturation, TintRI_Perceptual, 8, false)), 10);

    const TintDLProfile invalid =
        OpenDL(Save(ClutDeviceLink(cmsSigCmykData, cmsSigCmykData, 7, true).get()));
    EXPECT_EQ(invalid.GetRenderingIntent(), TintRI_InvalidInProfile);
    EXPECT_EQ(
        ThrownMessage([&] { engine.CreateDeviceLink(invalid, TintRI_FromProfile, 8, false); }),
        "Error creating Link");
    EXPECT_EQ(ThrownMessage([&] {
                  engine.CreateDeviceLink(saturation, static_cast<TintRenderingIntent>(9), 8,
                                          false);
              }),
              "Error creating Link");
}

TEST_F(LittleCMSLinks, ProfilePairAndChainMatchLittleCMS) {
    const TintProfile rgb = OpenProfile(srgb);
    const TintProfile printer = OpenProfile(cmyk);
    const Bytes row = Noise(3 * 700, 5);
    for (bool bpc : {false, true}) {
        const TintLink pair =
            engine.CreateProfileLink(rgb, printer, TintRI_RelativeColorimetric, 8, bpc);
        EXPECT_EQ(Sides(pair), (std::vector<int>{2, 3, 4, 4}));
        const TransformPtr reference(cmsCreateTransform(
            rgbDirect.get(), TYPE_RGB_8, cmykDirect.get(), TYPE_CMYK_8,
            INTENT_RELATIVE_COLORIMETRIC, bpc ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0));
        ExpectSameAsLittleCMS(pair, reference.get(), row, 700, 4);
    }

    // Intent 4 takes the destination's header intent, here absolute
    // colorimetric (which renders this row unlike perceptual).
    Bytes absoluteCmyk = cmyk;
    absoluteCmyk[67] = 3;
    const TintLink fromHeader =
        engine.CreateProfileLink(rgb, OpenProfile(absoluteCmyk), TintRI_FromProfile, 8, false);
    const TransformPtr absolute(cmsCreateTransform(rgbDirect.get(), TYPE_RGB_8, cmykDirect.get(),
                                                   TYPE_CMYK_8, INTENT_ABSOLUTE_COLORIMETRIC, 0));
    ExpectSameAsLittleCMS(fromHeader, absolute.get(), row, 700, 4);
    const TransformPtr perceptual(cmsCreateTransform(rgbDirect.get(), TYPE_RGB_8, cmykDirect.get(),
                                                     TYPE_CMYK_8, INTENT_PERCEPTUAL, 0));
    Bytes a(4 * 700), p(4 * 700);
    cmsDoTransform(absolute.get(), row.data(), a.data(), 700);
    cmsDoTransform(perceptual.get(), row.data(), p.data(), 700);
    EXPECT_NE(a, p);

    // The CMYK profile appears twice: once into CMYK, once out of it.
    const TintLink chain =
        engine.CreateMultiProfileLink({rgb, printer, printer, rgb}, TintRI_Perceptual, 16, false);
    EXPECT_EQ(Sides(chain), (std::vector<int>{2, 3, 4, 4, 4, 4, 2, 3}));
    cmsHPROFILE handles[4] = {rgbDirect.get(), cmykDirect.get(), cmykDirect.get(), rgbDirect.get()};
    const TransformPtr reference(
        cmsCreateMultiprofileTransform(handles, 4, TYPE_RGB_16, TYPE_RGB_16, INTENT_PERCEPTUAL, 0));
    ExpectSameAsLittleCMS(chain, reference.get(), row, 350, 6);

    unsigned char out[4] = {9, 9, 9, 9};
    EXPECT_FALSE(fromHeader.Transform(-1, row.data(), out));
    EXPECT_FALSE(fromHeader.Transform(1, nullptr, out));
    EXPECT_EQ(out[0], 9);
    EXPECT_TRUE(fromHeader.Transform(0, nullptr, nullptr));
    EXPECT_EQ(ThrownMessage([&] { chain.GetColorSpace(4); }), "Link side index out of range");
}

TEST_F(LittleCMSLinks, TransformValuesRoundTripsLabThroughCmyk) {
    const ProfilePtr labDirect(cmsCreateLab4Profile(nullptr));
    const TintProfile lab = OpenProfile(Save(labDirect.get()));
    const TintProfile printer = OpenProfile(cmyk);
    const TintLink chain = engine.CreateMultiProfileLink({lab, printer, printer, lab},
                                                         TintRI_RelativeColorimetric, 16, false);
    const double in[] = {50, 10, -10, 70, -20, 30, 30, 5, 5, 85, 0, 0};
    double out[12] = {};
    ASSERT_TRUE(chain.TransformValues(4, in, out));

    cmsHPROFILE handles[4] = {labDirect.get(), cmykDirect.get(), cmykDirect.get(), labDirect.get()};
    const TransformPtr reference(cmsCreateMultiprofileTransform(
        handles, 4, TYPE_Lab_DBL, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0));
    double expected[12] = {};
    cmsDoTransform(reference.get(), in, expected, 4);
    for (int i = 0; i < 12; ++i) {
        EXPECT_NEAR(out[i], in[i], 2.5) << "component " << i;
        EXPECT_NEAR(out[i], expected[i], 1.0) << "component " << i;
    }
}

TEST_F(LittleCMSLinks, TransformValuesClampsLikeSixteenBitPixels) {
    const Bytes bytes = Save(ProfilePtr(cmsCreateInkLimitingDeviceLink(cmsSigCmykData, 250)).get());
    const TintDLProfile profile = OpenDL(bytes);
    const TintLink link = engine.CreateDeviceLink(profile, TintRI_Perceptual, 16, false);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double in[] = {0.75, 0.5, 0.25, 0.125, 1.7, -0.3, nan, 0.25};
    double out[8] = {};
    ASSERT_TRUE(link.TransformValues(2, in, out));
    const ProfilePtr direct = Open(bytes);
    const TransformPtr reference(cmsCreateTransform(direct.get(), TYPE_CMYK_16, nullptr,
                                                    TYPE_CMYK_16, INTENT_PERCEPTUAL, 0));
    const cmsUInt16Number in16[] = {49151, 32768, 16384, 8192, 65535, 0, 0, 16384};
    cmsUInt16Number out16[8] = {};
    cmsDoTransform(reference.get(), in16, out16, 2);
    for (int i = 0; i < 8; ++i) {
        EXPECT_DOUBLE_EQ(out[i], out16[i] / 65535.0) << "component " << i;
    }

    double untouched[4] = {-1, -1, -1, -1};
    EXPECT_FALSE(link.TransformValues(-1, in, untouched));
    EXPECT_EQ(untouched[0], -1);
    const TintLink eightBit = engine.CreateDeviceLink(profile, TintRI_Perceptual, 8, false);
    EXPECT_EQ(ThrownMessage([&] { eightBit.TransformValues(1, in, out); }),
              "TransformValues needs a link built with 16 bits per sample");
}

TEST_F(LittleCMSLinks, PostScriptIsWhatLittleCMSProduces) {
    auto direct = [](decltype(&cmsGetPostScriptCSA) produce, cmsHPROFILE profile,
                     cmsUInt32Number intent, cmsUInt32Number flags) {
        std::string text(produce(nullptr, profile, intent, flags, nullptr, 0), '\0');
        produce(nullptr, profile, intent, flags, text.data(),
                static_cast<cmsUInt32Number>(text.size()));
        return text;
    };
    const TintProfile rgb = OpenProfile(srgb);
    std::string csa;
    EXPECT_TRUE(engine.GetPostScriptCSA(rgb, TintRI_Perceptual, Append, &csa));
    EXPECT_EQ(csa, direct(cmsGetPostScriptCSA, rgbDirect.get(), INTENT_PERCEPTUAL, 0));
    for (bool bpc : {false, true}) {
        std::string crd;
        EXPECT_TRUE(engine.GetPostScriptCRD(OpenProfile(cmyk), TintRI_RelativeColorimetric, Append,
                                            &crd, bpc));
        // The dictionary carries its creation time: the two may straddle a second.
        EXPECT_EQ(WithoutCreationTime(crd),
                  WithoutCreationTime(direct(cmsGetPostScriptCRD, cmykDirect.get(),
                                             INTENT_RELATIVE_COLORIMETRIC,
                                             bpc ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0)));
    }

    auto takeLess = [](int length, const char*, void*) { return length - 1; };
    EXPECT_FALSE(engine.GetPostScriptCSA(rgb, TintRI_Perceptual, takeLess, nullptr));
    EXPECT_FALSE(engine.GetPostScriptCSA(rgb, TintRI_Perceptual, nullptr, nullptr));
    const TintProfile bare =
        OpenProfile(HeaderOnlyProfile(cmsSigDisplayClass, cmsSigRgbData, cmsSigXYZData, 2.1));
    EXPECT_EQ(
        ThrownMessage([&] { engine.GetPostScriptCSA(bare, TintRI_Perceptual, Append, &csa); }),
        "Error Creating Postscript");
}

TEST(LittleCMSInstance, ReleasedInstanceLeavesHandlesUsable) {
    TintLittleCMS* engine = TintLittleCMS::GetInstance();
    EXPECT_EQ(engine, TintLittleCMS::GetInstance());
    EXPECT_EQ(engine->GetEngineId(), kTintEngineIdLittleCMS);
    const Bytes bytes = Save(ProfilePtr(cmsCreateInkLimitingDeviceLink(cmsSigCmykData, 250)).get());
    const TintLink link = engine->CreateDeviceLink(OpenDL(bytes), TintRI_Perceptual, 8, false);
    engine->ReleaseInstance();

    const unsigned char in[4] = {255, 255, 255, 255};
    unsigned char out[4] = {};
    EXPECT_TRUE(link.Transform(1, in, out));
    EXPECT_LT(out[0] + out[1] + out[2] + out[3], 4 * 255);  // the ink limit applied
    EXPECT_EQ(TintLittleCMS::GetInstance()->GetEngineId(), kTintEngineIdLittleCMS);
}
