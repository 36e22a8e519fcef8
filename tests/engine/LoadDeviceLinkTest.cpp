// Loading device-link files: the reported texts and where they go, the
// colour-space check, the intents, file names, and pixels byte for byte as
// LittleCMS gives them from the same file.
#include <gtest/gtest.h>

#include <fstream>

#include "ICMFixtures.h"
#include "SystemControls.h"
#include "TestFolders.h"
#include "engine/LoadDeviceLink.h"
#include "engine/TintEngineManager.h"
#include "engine/littlecms/TintLittleCMS.h"

namespace {

class DeviceLinkLoading : public ::testing::Test {
  protected:
    void SetUp() override { manager.SelectEngine(TintEngineType_LittleCMS); }
    void TearDown() override { TintEngineManager::ReleaseInstance(); }

    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::filesystem::path file = folder.Path() / std::filesystem::u8path(name);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return folder.Path().string() + "/" + name;
    }

    // Loads `path` and records every text given to the callback.
    std::shared_ptr<const TintLink> Load(const std::string& path, TCMS::RenderingIntent intent) {
        return LoadDeviceLink(manager, path, intent,
                              [this](const std::string& text) { reported.push_back(text); });
    }

    AppDataFolders folders;
    TemporaryFolder folder;
    TintEngineManager& manager = *TintEngineManager::GetInstance();
    std::vector<std::string> reported;
};

// A CMYK device link whose tables differ by intent: perceptual keeps the
// values, relative colorimetric inverts them, saturation rotates the
// channels.
struct Tables {
    int table;
};

cmsInt32Number Sample(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
    const int table = static_cast<Tables*>(cargo)->table;
    for (int k = 0; k < 4; ++k) {
        out[k] = table == 0 ? in[k] : table == 1 ? cmsUInt16Number(65535 - in[k]) : in[(k + 1) % 4];
    }
    return 1;
}

Bytes IntentLink() {
    ProfilePtr profile(cmsCreateProfilePlaceholder(nullptr));
    cmsSetDeviceClass(profile.get(), cmsSigLinkClass);
    cmsSetColorSpace(profile.get(), cmsSigCmykData);
    cmsSetPCS(profile.get(), cmsSigCmykData);
    cmsSetProfileVersion(profile.get(), 4.3);
    const cmsTagSignature tags[] = {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag};
    for (int table = 0; table < 3; ++table) {
        cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 4);
        cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 2, 4, 4, nullptr);
        Tables cargo{table};
        cmsStageSampleCLut16bit(clut, Sample, &cargo, 0);
        cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
        cmsPipelineInsertStage(pipeline, cmsAT_END, clut);
        cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
        cmsWriteTag(profile.get(), tags[table], pipeline);
        cmsPipelineFree(pipeline);
    }
    return Save(profile.get());
}

// What LittleCMS gives applying `link` directly with `intent`.
Bytes Direct(const Bytes& link, cmsUInt32Number outputFormat, cmsUInt32Number intent,
             const Bytes& input) {
    const ProfilePtr profile = Open(link);
    TransformPtr transform(
        cmsCreateTransform(profile.get(), TYPE_CMYK_8, nullptr, outputFormat, intent, 0));
    Bytes output(input.size(), 0);
    cmsDoTransform(transform.get(), input.data(), output.data(),
                   static_cast<cmsUInt32Number>(input.size() / 4));
    return output;
}

Bytes Apply(const TintLink& link, const Bytes& input) {
    Bytes output(input.size(), 0xEE);
    EXPECT_TRUE(link.Transform(static_cast<int>(input.size() / 4), input.data(), output.data()));
    return output;
}

}  // namespace

TEST_F(DeviceLinkLoading, FilesThatCannotBeReadAreReportedWithTheirPath) {
    const std::string missing = folder.Path().string() + "/missing.icc";
    EXPECT_EQ(Load(missing, TCMS::Perceptual), nullptr);
    const std::string empty = Write("empty.icc", {});
    EXPECT_EQ(Load(empty, TCMS::Perceptual), nullptr);
    const std::string notUtf8 = folder.Path().string() + "/bad\xFF.icc";
    EXPECT_EQ(Load(notUtf8, TCMS::Perceptual), nullptr);
    EXPECT_EQ(reported,
              (std::vector<std::string>{"Couldn't open device link file " + missing,
                                        "Couldn't read data from device link file " + empty,
                                        "Couldn't open device link file " + notUtf8}));
}

TEST_F(DeviceLinkLoading, OnlyFourColourToFourColourLinksPass) {
    const Bytes srgb = GhostscriptProfile("srgb.icc");
    const Bytes cmyk = GhostscriptProfile("default_cmyk.icc");
    if (srgb.empty() || cmyk.empty()) {
        GTEST_SKIP() << "Debian's ghostscript profiles are not installed";
    }
    const std::string rgbToCmyk =
        Write("rgb.icc", DeviceLinkBetween(srgb, TYPE_RGB_8, cmyk, TYPE_CMYK_8, 0));
    EXPECT_EQ(Load(rgbToCmyk, TCMS::Perceptual), nullptr);
    EXPECT_EQ(reported,
              std::vector<std::string>{"Device link is not a 4-colour to 4-colour device link"});

    const Bytes toFourColour = Save(ClutDeviceLink(cmsSigCmykData, cmsSig4colorData).get());
    const auto link = Load(Write("4clr.icc", toFourColour), TCMS::Perceptual);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->GetColorSpace(1), TintCS_4CLR);
    const Bytes input = PixelGrid(4, 5);
    EXPECT_EQ(
        Apply(*link, input),
        Direct(toFourColour, COLORSPACE_SH(PT_MCH4) | CHANNELS_SH(4) | BYTES_SH(1), 0, input));
    EXPECT_EQ(reported.size(), 1u);
}

TEST_F(DeviceLinkLoading, EngineRefusalsGoToStandardErrorOnly) {
    const std::string noise = Write("noise.icc", Noise(3000, 5));
    const std::string noTables = Write(
        "empty-link.icc", HeaderOnlyProfile(cmsSigLinkClass, cmsSigCmykData, cmsSigCmykData, 4.3));
    testing::internal::CaptureStderr();
    EXPECT_EQ(Load(noise, TCMS::Perceptual), nullptr);
    EXPECT_EQ(Load(noTables, TCMS::Perceptual), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Could not open profile\nError creating Link\n");
    EXPECT_TRUE(reported.empty());
}

TEST_F(DeviceLinkLoading, WithoutCallbackEveryTextIsALineOnStandardError) {
    const std::string missing = folder.Path().string() + "/missing.icc";
    const std::string empty = Write("empty.icc", {});
    const std::string rgb =
        Write("rgb.icc", Save(ClutDeviceLink(cmsSigRgbData, cmsSigCmykData).get()));
    testing::internal::CaptureStderr();
    for (const std::string& path : {missing, empty, rgb}) {
        EXPECT_EQ(LoadDeviceLink(manager, path, TCMS::Perceptual, ErrorCallback()), nullptr);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Couldn't open device link file " + missing + "\n" +
                  "Couldn't read data from device link file " + empty + "\n" +
                  "Device link is not a 4-colour to 4-colour device link\n");
}

TEST_F(DeviceLinkLoading, IntentsTranslateFromTheCMSNumbering) {
    const Bytes bytes = IntentLink();
    const std::string path = Write("intents.icc", bytes);
    const Bytes input = PixelGrid(4, 4);
    struct Case {
        int cmsIntent;
        cmsUInt32Number engineIntent;
    };
    const Case cases[] = {{0, 1}, {1, 1}, {6, 1}, {2, 0}, {3, 1}, {4, 2}, {5, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cmsIntent);
        const auto link = Load(path, static_cast<TCMS::RenderingIntent>(c.cmsIntent));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(Apply(*link, input), Direct(bytes, TYPE_CMYK_8, c.engineIntent, input));
    }
    // Saturation rotates the channels.
    EXPECT_EQ(Apply(*Load(path, TCMS::Saturation), Bytes{10, 20, 30, 40}), (Bytes{20, 30, 40, 10}));
}

TEST_F(DeviceLinkLoading, NonAsciiFileNamesOpenTheFileOfTheSameCharacters) {
    const std::string name = "Verknüpfung-ÄÖ-링크-✓.icc";
    const Bytes bytes = Save(ClutDeviceLink(cmsSigCmykData, cmsSigCmykData).get());
    const std::string path = Write(name, bytes);
    ASSERT_TRUE(std::filesystem::exists(folder.Path() / std::filesystem::u8path(name)));
    const auto link = Load(path, TCMS::RelativeColorimetric);
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(reported.empty());
}

TEST_F(DeviceLinkLoading, PixelsAreByteExactAgainstLittleCMSOnRealLinks) {
    const Bytes cmyk = GhostscriptProfile("default_cmyk.icc");
    const Bytes psCmyk = GhostscriptProfile("ps_cmyk.icc");
    if (cmyk.empty() || psCmyk.empty()) {
        GTEST_SKIP() << "Debian's ghostscript profiles are not installed";
    }
    const Bytes input = PixelGrid(4, 9);
    const Bytes links[] = {DeviceLinkBetween(cmyk, TYPE_CMYK_8, psCmyk, TYPE_CMYK_8, 0),
                           DeviceLinkBetween(psCmyk, TYPE_CMYK_8, cmyk, TYPE_CMYK_8, 1)};
    for (const Bytes& bytes : links) {
        const std::string path = Write("real.icc", bytes);
        const auto link = Load(path, TCMS::RelativeColorimetric);
        ASSERT_NE(link, nullptr);
        // The shared handle is the engine link's only holder.
        EXPECT_EQ(link->GetEngineLink()->GetReferenceCount(), 1);
        EXPECT_EQ(Apply(*link, input), Direct(bytes, TYPE_CMYK_8, 1, input));

        // The Windows engine, through the manager, gives the same pixels
        // (within the tolerance where the system's own CMM converts).
        if (!SystemCannotLink({bytes}, INTENT_RELATIVE_COLORIMETRIC).empty()) {
            continue;
        }
        manager.SelectEngine(TintEngineType_WindowsCMM);
        const auto icmLink = Load(path, TCMS::RelativeColorimetric);
        ASSERT_NE(icmLink, nullptr);
        EXPECT_LE(MaxDifference(Apply(*icmLink, input), Apply(*link, input)), PixelTolerance());
        manager.SelectEngine(TintEngineType_LittleCMS);
    }
    EXPECT_TRUE(reported.empty());
    const std::string lack = SystemCannotLink({links[0]}, INTENT_RELATIVE_COLORIMETRIC);
    if (!lack.empty()) {
        GTEST_SKIP() << "LittleCMS engine checked; " << lack;
    }
}

TEST_F(DeviceLinkLoading, ReuseSharesOneLinkOnlyForTheSameBytesAndIntent) {
    TintLittleCMS& engine = *TintLittleCMS::GetInstance();
    const Bytes bytes = IntentLink();
    const std::string path = Write("reused.icc", bytes);
    const Bytes input = PixelGrid(4, 4);

    // Off (the default): every load builds its own link.
    const auto first = Load(path, TCMS::Perceptual);
    const auto second = Load(path, TCMS::Perceptual);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first->GetEngineLink(), second->GetEngineLink());

    engine.SetDeviceLinkReuse(true);
    const auto kept = Load(path, TCMS::Perceptual);
    const auto again = Load(path, TCMS::Perceptual);
    ASSERT_NE(kept, nullptr);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(kept->GetEngineLink(), again->GetEngineLink());
    EXPECT_EQ(Apply(*again, input), Direct(bytes, TYPE_CMYK_8, 0, input));

    // Another intent, or the file rewritten with other tables, is built anew.
    const auto saturation = Load(path, TCMS::Saturation);
    EXPECT_NE(saturation->GetEngineLink(), kept->GetEngineLink());
    EXPECT_EQ(Apply(*saturation, Bytes{10, 20, 30, 40}), (Bytes{20, 30, 40, 10}));
    const Bytes other = Save(ClutDeviceLink(cmsSigCmykData, cmsSigCmykData).get());
    Write("reused.icc", other);
    const auto rewritten = Load(path, TCMS::Perceptual);
    ASSERT_NE(rewritten, nullptr);
    EXPECT_NE(rewritten->GetEngineLink(), kept->GetEngineLink());
    EXPECT_EQ(Apply(*rewritten, input), Direct(other, TYPE_CMYK_8, 0, input));

    // Off again: the kept links are let go.
    const TintEngineLink* shared = kept->GetEngineLink();
    engine.SetDeviceLinkReuse(false);
    EXPECT_EQ(shared->GetReferenceCount(), 2);  // `kept` and `again` only
    Write("reused.icc", bytes);
    EXPECT_NE(Load(path, TCMS::Perceptual)->GetEngineLink(), shared);
}
