// Many inputs with one setting: convert ... -O FOLDER INPUT...
#include <gtest/gtest.h>

#include "tests/e2e/E2eSupport.h"
#include "tests/e2e/SampleJson.h"

namespace rdz::e2e {
namespace {

class Batch : public testing::Test {
  protected:
    void SetUp() override {
        if (!Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
            GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
        }
        CopyFolder(ExampleCmsDb(), scratch_.Path("cmsdb"));
        for (int i = 0; i < 5; ++i) {
            TestTiff tiff;
            tiff.width = 40 + i;
            tiff.height = 30;
            std::vector<std::uint8_t> pixels = TestPixels(tiff);
            for (std::uint8_t& sample : pixels) {
                sample = static_cast<std::uint8_t>(sample + 31 * i);
            }
            const std::string name = "in" + std::to_string(i) + ".tif";
            WriteTiff(scratch_.Path(name), tiff, pixels);
            inputs_.push_back(scratch_.Path(name));
        }
    }
    std::vector<std::string> ProfileConversion(const std::string& db) const {
        return {"convert",          "--cms",         db,           "--profile", "--source",
                "default_cmyk.icc", "--destination", "ps_cmyk.icc"};
    }

    Scratch scratch_;
    std::vector<std::string> inputs_;
};

TEST_F(Batch, EveryInputIsConvertedAsAloneAndLinksAreComputedOnce) {
    std::vector<std::string> args = ProfileConversion(scratch_.Path("cmsdb"));
    args.insert(args.end(), {"--jobs", "3", "--report", scratch_.Path("report.json"), "-O",
                             scratch_.Path("out")});
    args.insert(args.end(), inputs_.begin(), inputs_.end());
    const CliRun run = RunCli(args);
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("INFO: Batch: 5 of 5 inputs converted into " +
                                              scratch_.Path("out") + ".\n"))
        << run.err;
    // The link the setting needs, stored once.
    int stored = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(scratch_.Path("cmsdb/links/reseparation"))) {
        stored += entry.path().extension() == ".icc" ? 1 : 0;
    }
    EXPECT_EQ(1, stored);

    // Each output as a conversion of that input alone makes it.
    for (std::size_t i : {std::size_t{0}, inputs_.size() - 1}) {
        std::vector<std::string> alone = ProfileConversion(scratch_.Path("cmsdb"));
        alone.insert(alone.end(), {inputs_[i], "-o", scratch_.Path("alone.tif")});
        ASSERT_EQ(0, RunCli(alone).status);
        EXPECT_EQ(ReadTiff(scratch_.Path("alone.tif")).pixels,
                  ReadTiff(scratch_.Path("out/in" + std::to_string(i) + ".tif")).pixels)
            << i;
    }
    const nlohmann::json report = ReadJson(scratch_.Path("report.json"));
    EXPECT_EQ(5, report["converted"]);
    ASSERT_EQ(5u, report["reports"].size());
    EXPECT_EQ(inputs_[3], report["reports"][3]["input"]);
    EXPECT_EQ("converted", report["reports"][3]["status"]);
}

TEST_F(Batch, OneDeviceLinkServesEveryInputWithTheLittleCmsPixels) {
    // The link is built once in the batch and reused for the inputs after
    // the first: every output still holds what LittleCMS makes of its input.
    const std::string link = scratch_.Path("link.icc");
    WriteDeviceLink(DefaultCmykProfile(), PsCmykProfile(), link);
    std::vector<std::string> args = {"convert", "--cms", scratch_.Path("cmsdb"), "--device-link",
                                     link,      "--jobs", "2", "-O", scratch_.Path("out")};
    args.insert(args.end(), inputs_.begin(), inputs_.end());
    const CliRun run = RunCli(args);
    ASSERT_EQ(0, run.status) << run.err;
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        EXPECT_EQ(ApplyDeviceLink(link, ReadTiff(inputs_[i]).pixels),
                  ReadTiff(scratch_.Path("out/in" + std::to_string(i) + ".tif")).pixels)
            << i;
    }
}

TEST_F(Batch, TheWorstInputGivesTheExitStatusAndNothingOfItIsWritten) {
    WriteText(scratch_.Path("broken.tif"), "II*\0 not really a TIFF");
    std::vector<std::string> args = ProfileConversion(scratch_.Path("cmsdb"));
    args.insert(args.end(), {"--jobs", "2", "-O", scratch_.Path("out"), inputs_[0],
                             scratch_.Path("broken.tif"), inputs_[1]});
    const CliRun run = RunCli(args);
    EXPECT_EQ(2, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("INFO: Batch: 2 of 3 inputs converted into " + scratch_.Path("out") +
                           "; failed: " + scratch_.Path("broken.tif") + ".\n"))
        << run.err;
    EXPECT_TRUE(Exists(scratch_.Path("out/in0.tif")));
    EXPECT_TRUE(Exists(scratch_.Path("out/in1.tif")));
    EXPECT_FALSE(Exists(scratch_.Path("out/broken.tif")));

    // Two inputs that would land on one output are refused before any work.
    std::filesystem::create_directories(scratch_.Path("other"));
    WriteText(scratch_.Path("other/in0.tif"), ReadText(inputs_[0]));
    args = ProfileConversion(scratch_.Path("cmsdb"));
    args.insert(args.end(),
                {"-O", scratch_.Path("twice"), inputs_[0], scratch_.Path("other/in0.tif")});
    const CliRun twice = RunCli(args);
    EXPECT_EQ(2, twice.status);
    EXPECT_EQ("ERROR: '" + inputs_[0] + "' and '" + scratch_.Path("other/in0.tif") +
                  "' would both be written to '" + scratch_.Path("twice/in0.tif") +
                  "'. Run 'rodadazerivo convert --help' for usage.\n",
              twice.err);
}

}  // namespace
}  // namespace rdz::e2e
