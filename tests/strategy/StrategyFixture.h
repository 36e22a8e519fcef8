// A CMS database folder made for each test (ink books, the two Debian CMYK
// profiles, strategies) and a document to convert.
#pragma once

#include <gtest/gtest.h>
#include <random>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/cms/StandIn.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"
#include "strategy/TColorConverter_RodadazErivo.h"

class StrategyFixture : public ::testing::Test {
  protected:
    static constexpr const char* kSourceIcc = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
    static constexpr const char* kDestinationIcc = "/usr/share/color/icc/ghostscript/ps_cmyk.icc";

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 (std::string("rdz-strategy-") + info->test_suite_name() + "-" + info->name() +
                  "-" + std::to_string(std::random_device{}()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "inkbooks");
        std::filesystem::create_directories(folder / "processes");
        std::filesystem::create_directories(folder / "strategies");
        std::filesystem::copy_file(kSourceIcc, folder / "processes" / "src.icc");
        std::filesystem::copy_file(kDestinationIcc, folder / "processes" / "dst.icc");
        Write("inkbooks/process.json", R"({"book": "Process", "displayName": "Process Colours",
            "inks": [{"name": "Cyan", "lab": [55, -37, -50], "process": true},
                     {"name": "Magenta", "lab": [48, 74, -3], "process": true},
                     {"name": "Yellow", "lab": [89, -5, 93], "process": true},
                     {"name": "Black", "lab": [16, 0, 0], "process": true}]})");
        Write("inkbooks/spots.json", R"({"book": "Spots", "displayName": "Spot Colours",
            "inks": [{"name": "Warm Red", "displayName": "Warm Red C", "lab": [55, 66, 56]},
                     {"name": "Rubine", "lab": [46, 74, 5]},
                     {"name": "Violet", "lab": [30, 44, -62]},
                     {"name": "Silver", "lab": [75, 0, -2], "opacity": 1.0},
                     {"name": "Dieline", "lab": [50, 0, 0]},
                     {"name": "Varnish", "lab": [95, 0, 0]}]})");
        rdz::cms::SetDatabaseFolder(folder.string());
    }

    void TearDown() override {
        rdz::cms::SetDatabaseFolder("");
        std::filesystem::remove_all(folder);
        interactive = 0;
    }

    void Write(const std::string& relative, const std::string& text) {
        std::ofstream(folder / relative) << text;
    }

    /// A strategy file from src.icc to dst.icc with the given extra JSON fields.
    void Strategy(const std::string& name, int type, const std::string& fields = "") {
        Write("strategies/" + name + ".json",
              "{\"type\": " + std::to_string(type) +
                  R"(, "source": "src.icc", "destination": "dst.icc")" +
                  (fields.empty() ? "" : ", " + fields) + "}");
    }

    inkt_t* Ink(const char* book, const char* name, unsigned kinds = 0) {
        rdz::kelt::InkSetup setup;
        setup.book = book;
        setup.name = name;
        setup.kinds = kinds;
        return rdz::kelt::AddInk(doc, setup);
    }

    /// Runs a conversion with a fresh converter, recording the messages.
    void Run(TRodadazErivoOptions& strategyOptions) {
        TColorConverter_RodadazErivo converter(doc, general, strategyOptions);
        converter.Convert();
    }

    std::filesystem::path folder;
    rdz::kelt::ScopedDocument doc;
    TGeneralColorConverterOptions general;
    rdz::kelt::RecordingMessageSink messages;
};

using rdz::kelt::Message;
using rdz::kelt::MessageLevel;
