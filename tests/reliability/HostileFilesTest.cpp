// Damaged ICC profiles and device links through the engine layer and the
// device-link loader, without the program: every cut of a real file is
// either refused with the engine's exception or answers every question, and
// the loader never hands out a link made from a cut file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/LoadDeviceLink.h"
#include "engine/TintEngineManager.h"
#include "engine/TintException.h"
#include "engine/icm/TintICM.h"
#include "engine/littlecms/TintLittleCMS.h"
#include "host/CMS.h"
#include "platform/cms/StandIn.h"
#include "tests/reliability/ReliabilitySupport.h"

namespace rdz::reliability {
namespace {

// Offsets inside the header, at the tag count, inside the tag table and in
// the tag data, and one byte short of the whole file.
std::vector<std::size_t> Cuts(std::size_t size) {
    return {0, 1, 64, 127, 128, 131, 132, 140, 200, size / 3, size / 2, size - 16, size - 1};
}

TEST(HostileFiles, CutProfilesAreRefusedOrAnswerEveryQuestion) {
    const std::string whole = ReadFile(std::string(RDZ_GS_ICC_DIR) + "/ps_cmyk.icc");
    ASSERT_GT(whole.size(), 1000u);
    for (TintBaseEngine* engine :
         std::vector<TintBaseEngine*>{TintLittleCMS::GetInstance(), TintICM::GetInstance()}) {
        for (std::size_t cut : Cuts(whole.size())) {
            SCOPED_TRACE("engine " + std::to_string(engine->GetEngineId()) + ", cut at " +
                         std::to_string(cut));
            const std::string bytes = whole.substr(0, cut);
            TintProfile profile;
            try {
                profile = engine->OpenProfile(bytes.data(), static_cast<unsigned>(bytes.size()));
            } catch (const TintException&) {
                continue;
            }
            // What a cut profile still says must be what the header says.
            try {
                EXPECT_EQ(TintCS_CMYK, profile.GetColorSpace());
                EXPECT_EQ(4, profile.GetNumberOfChannels());
                for (unsigned i = 0; i < 5; ++i)
                    profile.GetColorantName(i);
            } catch (const TintException&) {
            }
        }
    }
}

TEST(HostileFiles, TheLoaderGivesNoLinkForACutOrForeignFile) {
    const std::string link =
        ReadFile(std::string(RDZ_FUZZ_CORPUS_DIR) + "/device_link/link_cmyk_grid3_v4.icc");
    ASSERT_GT(link.size(), 1000u);
    Scratch scratch;
    TintEngineManager& manager = *TintEngineManager::GetInstance();
    for (int engine : {TintEngineType_LittleCMS, TintEngineType_WindowsCMM}) {
        manager.SelectEngine(engine);
        std::vector<std::pair<std::string, std::string>> files;
        for (std::size_t cut : Cuts(link.size()))
            files.emplace_back("cut at " + std::to_string(cut), link.substr(0, cut));
        files.emplace_back("a CMYK profile",
                           ReadFile(std::string(RDZ_GS_ICC_DIR) + "/ps_cmyk.icc"));
        files.emplace_back("a CMYK to RGB link", ReadFile(std::string(RDZ_FUZZ_CORPUS_DIR) +
                                                          "/device_link/link_cmyk_to_rgb.icc"));
        for (const auto& [label, bytes] : files) {
            SCOPED_TRACE("engine " + std::to_string(engine) + ", " + label);
            const std::string path = scratch.Path("link.icc");
            WriteFile(path, bytes);
            std::vector<std::string> reported;
            testing::internal::CaptureStderr();
            const auto loaded =
                LoadDeviceLink(manager, path, TCMS::RelativeColorimetric,
                               [&](const std::string& text) { reported.push_back(text); });
            const std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(nullptr, loaded);
            EXPECT_FALSE(reported.empty() && err.empty()) << "refused without a word";
        }
        // The whole file loads and converts: the cuts above failed for their cut.
        WriteFile(scratch.Path("link.icc"), link);
        const auto loaded = LoadDeviceLink(manager, scratch.Path("link.icc"),
                                           TCMS::RelativeColorimetric, [](const std::string&) {});
        ASSERT_NE(nullptr, loaded);
        unsigned char in[8] = {0, 0, 0, 0, 255, 128, 0, 10}, out[8] = {};
        EXPECT_TRUE(loaded->Transform(2, in, out));
    }
    TintEngineManager::ReleaseInstance();
}

TEST(HostileFiles, DatabaseInAFolderWhoseNameIsNotUtf8OpensLikeAnyOther) {
    Scratch scratch;
    const std::string folder = scratch.Path("db-\xff\xfe");
    MakeDatabase(folder);
    rdz::cms::SetDatabaseFolder(folder);
    ASSERT_EQ(0, TCMS_Init());
    EXPECT_TRUE(rdz::cms::LoadErrors().empty());
    EXPECT_NE(nullptr, TCMS_ColTransfDBNew(TCMS_GetLib(), "ISO Coated"));
    TCMS_End();
    rdz::cms::SetDatabaseFolder("");
}

}  // namespace
}  // namespace rdz::reliability
