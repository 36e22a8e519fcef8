// A CMS database folder made for each test (the two Debian CMYK profiles and a
// process of the CMS library's own kind) and a document with process inks.
#pragma once

#include <gtest/gtest.h>
#include <lcms2.h>
#include <random>

#include <array>
#include <filesystem>
#include <fstream>

#include "platform/cms/StandIn.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"
#include "profile/TColorConverter_ProfileToProfile.h"

class ProfileFixture : public ::testing::Test {
  protected:
    static constexpr const char* kSourceIcc = RDZ_GS_ICC_DIR "/default_cmyk.icc";
    static constexpr const char* kDestinationIcc = RDZ_GS_ICC_DIR "/ps_cmyk.icc";

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 (std::string("rdz-profile-") + info->test_suite_name() + "-" + info->name() + "-" +
                  std::to_string(std::random_device{}()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "inkbooks");
        std::filesystem::create_directories(folder / "processes");
        std::filesystem::copy_file(kSourceIcc, folder / "processes" / "src.icc");
        std::filesystem::copy_file(kDestinationIcc, folder / "processes" / "dst.icc");
        std::filesystem::copy_file(kDestinationIcc, folder / "processes" / "Own");
        std::ofstream(folder / "processes" / "Own.json") << "{}";
        std::ofstream(folder / "inkbooks" / "process.json") << R"({"book": "Process", "inks": [
                {"name": "Cyan", "lab": [55, -37, -50], "process": true},
                {"name": "Magenta", "lab": [48, 74, -3], "process": true},
                {"name": "Yellow", "lab": [89, -5, 93], "process": true},
                {"name": "Black", "lab": [16, 0, 0], "process": true}]})";
        rdz::cms::SetDatabaseFolder(folder.string());
        cmyk = rdz::kelt::AddCmykInks(doc, "Process", "CMYK");
        options.SetSourceProfile("src.icc");
        options.SetDestinationProfile("dst.icc");
    }

    void TearDown() override {
        rdz::cms::SetDatabaseFolder("");
        std::filesystem::remove_all(folder);
    }

    void Convert() {
        TColorConverter_ProfileToProfile converter(doc, general, options);
        converter.Convert();
        ran = converter.ConversionRan();
    }

    /// Files stored in the link store.
    size_t StoredLinks() const {
        size_t count = 0;
        const auto links = folder / "links";
        if (std::filesystem::exists(links)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(links)) {
                count += entry.path().extension() == ".icc" ? 1 : 0;
            }
        }
        return count;
    }

    /// Destination CMYK of source CMYK through LittleCMS.
    static std::array<unsigned char, 4> Direct(std::array<unsigned char, 4> in, int intent,
                                               bool bpc) {
        cmsHPROFILE src = cmsOpenProfileFromFile(kSourceIcc, "r");
        cmsHPROFILE dst = cmsOpenProfileFromFile(kDestinationIcc, "r");
        cmsHTRANSFORM t = cmsCreateTransform(src, TYPE_CMYK_8, dst, TYPE_CMYK_8,
                                             static_cast<cmsUInt32Number>(intent),
                                             bpc ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0);
        std::array<unsigned char, 4> out{};
        cmsDoTransform(t, in.data(), out.data(), 1);
        cmsDeleteTransform(t);
        cmsCloseProfile(src);
        cmsCloseProfile(dst);
        return out;
    }

    /// The four process bytes of a converted paint (0 for an ink not listed).
    std::array<int, 4> Bytes(const paint_t* paint) const {
        std::array<int, 4> bytes{};
        for (const rdz::kelt::Amount& amount : rdz::kelt::SolidAmounts(paint)) {
            for (size_t c = 0; c < 4; ++c) {
                if (amount.ink == cmyk[c]) {
                    bytes[c] = static_cast<int>(amount.fraction * 255.0 + 0.5);
                }
            }
        }
        return bytes;
    }

    std::filesystem::path folder;
    rdz::kelt::ScopedDocument doc;
    std::vector<inkt_t*> cmyk;
    TGeneralColorConverterOptions general;
    TReseparateOptions options;
    rdz::kelt::RecordingMessageSink messages;
    bool ran = false;
};

using rdz::kelt::Message;
using rdz::kelt::MessageLevel;
