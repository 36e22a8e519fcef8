// The engine manager: which engine is current, the CMM it selects, and the
// order of the arguments it hands on.
#include <gtest/gtest.h>

#include "ICMFixtures.h"
#include "SystemControls.h"
#include "TestFolders.h"
#include "engine/TintEngineManager.h"
#include "engine/icm/TintICMLink.h"
#include "engine/littlecms/TintLittleCMSLink.h"

namespace {

constexpr DWORD kAdobe = 0x41444245;
constexpr DWORD kWindows = 0x57696E20;

// Each test starts with a fresh manager and engines, and leaves none.
class EngineManager : public ::testing::Test {
  protected:
    void SetUp() override { TintEngineManager::ReleaseInstance(); }
    void TearDown() override { TintEngineManager::ReleaseInstance(); }

    AppDataFolders folders;
};

int BitsOf(const TintLink& link) {
    if (auto* icm = dynamic_cast<TintICMLink*>(link.GetEngineLink())) {
        return icm->GetBitsPerSample();
    }
    return dynamic_cast<TintLittleCMSLink&>(*link.GetEngineLink()).GetBitsPerSample();
}

int Count(int length, const char*, void* userData) {
    *static_cast<int*>(userData) += length;
    return length;
}

}  // namespace

TEST_F(EngineManager, BeforeAnySelectionTheWindowsEngineWithItsOwnCMMIsCurrent) {
    TintEngineManager& manager = *TintEngineManager::GetInstance();
    EXPECT_EQ(manager.GetEngineId(), kTintEngineIdICM);
    EXPECT_EQ(manager.GetCurrentEngine(), TintICM::GetInstance());
    EXPECT_EQ(TintICM::GetInstance()->GetCMMChoice(), 0);
    EXPECT_EQ(SystemSelectedCMM(), kWindows);

    const Bytes srgb = GhostscriptProfile("srgb.icc");
    if (!srgb.empty()) {
        EXPECT_EQ(
            manager.OpenProfile(srgb.data(), static_cast<unsigned>(srgb.size())).GetEngineId(),
            kTintEngineIdICM);
    }
}

TEST_F(EngineManager, SelectEngineCodes) {
    TintEngineManager& manager = *TintEngineManager::GetInstance();
    manager.SelectEngine(TintEngineType_LittleCMS);
    EXPECT_EQ(manager.GetEngineId(), kTintEngineIdLittleCMS);
    EXPECT_EQ(manager.GetCurrentEngine(), TintLittleCMS::GetInstance());
    EXPECT_EQ(SystemSelectedCMM(), kWindows);  // LittleCMS has no CMM to select

    manager.SelectEngine(TintEngineType_AdobeCMM);
    EXPECT_EQ(manager.GetEngineId(), kTintEngineIdICM);
    EXPECT_EQ(TintICM::GetInstance()->GetCMMChoice(), 1);
    EXPECT_EQ(SystemSelectedCMM(), kAdobe);

    for (int other : {0, 1, 3, -7}) {
        manager.SelectEngine(TintEngineType_AdobeCMM);
        manager.SelectEngine(other);
        EXPECT_EQ(manager.GetEngineId(), kTintEngineIdICM) << other;
        EXPECT_EQ(SystemSelectedCMM(), kWindows) << other;
    }
}

TEST_F(EngineManager, ARefusedCMMLeavesTheWindowsEngineCurrent) {
    TintEngineManager& manager = *TintEngineManager::GetInstance();
    manager.SelectEngine(TintEngineType_LittleCMS);
    SystemSetSelectCMMFails(true);
    EXPECT_EQ(ThrownMessage([&] { manager.SelectEngine(TintEngineType_AdobeCMM); }),
              "Could not select CMM");
    EXPECT_EQ(manager.GetEngineId(), kTintEngineIdICM);
}

TEST_F(EngineManager, BuildersTakeBitsBeforeIntent) {
    const Bytes srgb = GhostscriptProfile("srgb.icc");
    const Bytes cmyk = GhostscriptProfile("default_cmyk.icc");
    if (srgb.empty() || cmyk.empty()) {
        GTEST_SKIP() << "Debian's ghostscript profiles are not installed";
    }
    const Bytes dl = DeviceLinkBetween(srgb, TYPE_RGB_8, cmyk, TYPE_CMYK_8, 0);
    // What the Windows colour system itself cannot do is left out for its
    // engine, and named at the end.
    const std::string noDeviceLink = SystemCannotLink({dl}, INTENT_SATURATION);
    const std::string noPostScript =
        SystemCannotWritePostScript(srgb, false) + SystemCannotWritePostScript(cmyk, true);
    TintEngineManager& manager = *TintEngineManager::GetInstance();
    for (int engine : {TintEngineType_LittleCMS, TintEngineType_WindowsCMM}) {
        SCOPED_TRACE(engine);
        const bool system = engine == TintEngineType_WindowsCMM;
        manager.SelectEngine(engine);
        auto open = [&](const Bytes& b) {
            return manager.OpenProfile(b.data(), static_cast<unsigned>(b.size()));
        };
        if (!system || noDeviceLink.empty()) {
            const TintDLProfile link =
                manager.OpenDLProfile(dl.data(), static_cast<unsigned>(dl.size()));
            EXPECT_EQ(BitsOf(manager.CreateDeviceLink(link, 16, TintRI_Saturation, false)), 16);
        }
        EXPECT_EQ(BitsOf(manager.CreateProfileLink(open(srgb), open(cmyk), 8,
                                                   TintRI_AbsoluteColorimetric, false)),
                  8);
        EXPECT_EQ(BitsOf(manager.CreateMultiProfileLink({open(srgb), open(cmyk)}, 16,
                                                        TintRI_Perceptual, true)),
                  16);
        if (!system || noPostScript.empty()) {
            int length = 0;
            EXPECT_TRUE(manager.GetPostScriptCSA(open(srgb), TintRI_Perceptual, Count, &length));
            EXPECT_TRUE(
                manager.GetPostScriptCRD(open(cmyk), TintRI_Perceptual, Count, &length, false));
            EXPECT_GT(length, 0);
        }
    }
    if (!noDeviceLink.empty() || !noPostScript.empty()) {
        GTEST_SKIP() << "profile links checked on both engines; " << noDeviceLink << " "
                     << noPostScript;
    }
}

TEST_F(EngineManager, TeardownReleasesBothEngines) {
    TintEngineManager* first = TintEngineManager::GetInstance();
    first->SelectEngine(TintEngineType_AdobeCMM);
    TintEngineManager::ReleaseInstance();
    // A new manager starts over with fresh engines.
    TintEngineManager& second = *TintEngineManager::GetInstance();
    EXPECT_EQ(second.GetEngineId(), kTintEngineIdICM);
    EXPECT_EQ(TintICM::GetInstance()->GetCMMChoice(), 0);
}
