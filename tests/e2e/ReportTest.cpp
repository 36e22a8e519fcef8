// What the program tells about a conversion (the report, the summary line,
// the warnings about inks that will now print) and about a CMS database
// (list).
#include <gtest/gtest.h>

#include "tests/e2e/E2eSupport.h"
#include "tests/e2e/SampleJson.h"

namespace rdz::e2e {
namespace {

// Paint list positions in examples/sample/sample.json.
constexpr std::size_t kCutLine = 10;
constexpr std::size_t kRegistration = 11;

class Reports : public testing::Test {
  protected:
    void SetUp() override {
        if (!Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
            GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
        }
    }
    static std::string Sample() { return ExamplesDir() + "/sample/sample.json"; }
    CliRun Strategy(const std::vector<std::string>& extra, const std::string& output) {
        std::vector<std::string> args = {"convert", "--cms", ExampleCmsDb(), "--strategy",
                                         "Coated to Uncoated"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {Sample(), "-o", scratch_.Path(output)});
        return RunCli(args);
    }
    static const nlohmann::json* Ink(const nlohmann::json& report, const std::string& name) {
        for (const nlohmann::json& ink : report["inks"]) {
            if (ink["name"] == name) {
                return &ink;
            }
        }
        return nullptr;
    }

    Scratch scratch_;
};

TEST_F(Reports, TheReportGivesEveryInkPaintImageAndTheCoverage) {
    const CliRun run = Strategy({"--report", scratch_.Path("report.json")}, "out.json");
    ASSERT_EQ(0, run.status) << run.err;
    const nlohmann::json report = ReadJson(scratch_.Path("report.json"));
    EXPECT_EQ("converted", report["status"]);
    EXPECT_EQ(0, report["exitStatus"]);
    EXPECT_EQ("Color Strategy", report["method"]);

    const nlohmann::json* white = Ink(report, "SPECTRA Opaque White C");
    ASSERT_NE(nullptr, white);
    EXPECT_EQ("kept", (*white)["decision"]);
    EXPECT_EQ(
        "Ink Spectra Solid Coated Opaque White C is an opaque ink and will not be "
        "converted (as specified in Color Strategy Coated to Uncoated).",
        (*white)["reason"]);
    const nlohmann::json* cyan = Ink(report, "Cyan");
    ASSERT_NE(nullptr, cyan);
    EXPECT_EQ("converted", (*cyan)["decision"]);
    EXPECT_EQ((std::vector<std::string>{"process"}), (*cyan)["kinds"]);

    // The sample's twelve paints: the registration paint keeps its colour.
    const nlohmann::json& paints = report["paints"];
    EXPECT_EQ(12, paints["converted"].get<int>() + paints["kept"].get<int>() +
                      paints["failed"].get<int>());
    EXPECT_EQ(1, paints["kept"]);
    EXPECT_EQ(2, report["images"]["converted"]);
    EXPECT_EQ(96 * 64 + 96 * 48, report["processCoverage"]["images"]["pixels"]);
    const nlohmann::json& images = report["processCoverage"]["images"];
    EXPECT_LE(images["after"]["mean"].get<double>(), images["after"]["max"].get<double>());
    EXPECT_NEAR(images["before"]["mean"].get<double>() - images["after"]["mean"].get<double>(),
                images["saved"].get<double>(), 0.02);

    // The same numbers on one line, always.
    const std::string summary = "INFO: Summary: paints " +
                                std::to_string(paints["converted"].get<int>()) +
                                " converted, 1 kept, 0 failed; images 2 converted, 0 kept, 0 "
                                "failed; process-ink coverage of paints ";
    EXPECT_NE(std::string::npos, run.err.find(summary)) << run.err;
}

TEST_F(Reports, InkSavingIsReportedAsCoverageSavedAndLinksComputedThenReused) {
    CopyFolder(ExampleCmsDb(), scratch_.Path("cmsdb"));
    TestTiff tiff;
    tiff.width = 120;
    tiff.height = 80;
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < tiff.width * tiff.height; ++i) {
        for (const int level : {i % 16, i / 16 % 16, i / 256 % 16, i / 4 % 16}) {
            pixels.push_back(static_cast<std::uint8_t>(level * 17));
        }
    }
    WriteTiff(scratch_.Path("in.tif"), tiff, pixels);
    const auto reseparate = [&](const std::string& name) {
        return RunCli({"convert", "--cms", scratch_.Path("cmsdb"), "--profile", "--source",
                       "default_cmyk.icc", "--reseparate", "--total-ink", "260", "--report",
                       scratch_.Path(name + ".json"), scratch_.Path("in.tif"), "-o",
                       scratch_.Path(name + ".tif")});
    };
    CliRun run = reseparate("first");
    ASSERT_EQ(0, run.status) << run.err;
    nlohmann::json report = ReadJson(scratch_.Path("first.json"));
    const nlohmann::json& coverage = report["processCoverage"]["images"];
    EXPECT_GT(coverage["before"]["max"].get<double>(), 300.0);
    EXPECT_LE(coverage["after"]["max"].get<double>(), 260.0 + 100.0 / 255.0 + 0.01);
    EXPECT_GT(coverage["saved"].get<double>(), 0.0);
    ASSERT_EQ(1u, report["deviceLinks"]["computed"].size()) << report.dump(2);
    EXPECT_EQ("ink-saving", report["deviceLinks"]["computed"][0]["kind"]);
    EXPECT_TRUE(report["deviceLinks"]["reused"].empty());

    run = reseparate("second");
    ASSERT_EQ(0, run.status) << run.err;
    report = ReadJson(scratch_.Path("second.json"));
    EXPECT_TRUE(report["deviceLinks"]["computed"].empty());
    ASSERT_EQ(1u, report["deviceLinks"]["reused"].size()) << report.dump(2);
    EXPECT_NE(std::string::npos, run.err.find("; device links 0 computed, 1 reused.\n")) << run.err;

    // list links shows the stored link.
    run = RunCli({"list", "links", "--cms", scratch_.Path("cmsdb")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.out.find("\tink-saving: default_cmyk.icc -> default_cmyk.icc, relative "
                           "colorimetric, purpose ink-saving, total ink 260% (in " +
                           scratch_.Path("cmsdb") + ")\n"))
        << run.out;
}

TEST_F(Reports, AFailedConversionStillWritesItsReport) {
    const CliRun run =
        RunCli({"convert", "--cms", ExampleCmsDb(), "--strategy", "Nope", "--report",
                scratch_.Path("report.json"), Sample(), "-o", scratch_.Path("out.json")});
    EXPECT_EQ(1, run.status);
    const nlohmann::json report = ReadJson(scratch_.Path("report.json"));
    EXPECT_EQ("failed", report["status"]);
    EXPECT_EQ(1, report["exitStatus"]);
    EXPECT_EQ(0u, report["error"].get<std::string>().find("Color Strategy Nope was not found"));
    EXPECT_FALSE(Exists(scratch_.Path("out.json")));
}

TEST_F(Reports, TechnicalInksThatWillPrintAreNamedWithTheWayToKeepThem) {
    CliRun run = Strategy({}, "out.json");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("WARNING: Ink Technical Die Line is a technical ink and will now "
                           "print: Color Strategy Coated to Uncoated converts it into process "
                           "inks. To keep it unconverted, use --strategy-type 2 or --exception "
                           "Dieline.\n"))
        << run.err;
    nlohmann::json out = ReadJson(scratch_.Path("out.json"));
    EXPECT_EQ(0u, MakeUp(out, kCutLine).count("Dieline"));
    // Registration marks stay on every plate unless asked otherwise.
    EXPECT_EQ((std::map<std::string, double>{{"All", 1.0}}), MakeUp(out, kRegistration));

    // Either way named in the warning keeps the ink.
    for (const std::vector<std::string>& keep :
         {std::vector<std::string>{"--exception", "Dieline"},
          std::vector<std::string>{"--strategy-type", "2"}}) {
        run = Strategy(keep, "kept.json");
        ASSERT_EQ(0, run.status) << run.err;
        EXPECT_EQ(std::string::npos, run.err.find("WARNING: Ink Technical")) << run.err;
        out = ReadJson(scratch_.Path("kept.json"));
        EXPECT_EQ((std::map<std::string, double>{{"Dieline", 1.0}}), MakeUp(out, kCutLine))
            << keep[0];
        // The ink keeps its own kinds in the output.
        for (const nlohmann::json& ink : out["inks"]) {
            if (ink["name"] == "Dieline") {
                EXPECT_EQ((std::vector<std::string>{"technical"}), ink["kinds"]);
            }
        }
    }

    run = Strategy({"--convert-registration"}, "converted.json");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0u, MakeUp(ReadJson(scratch_.Path("converted.json")), kRegistration).count("All"));
}

TEST_F(Reports, ListNamesWhatTheDatabaseHolds) {
    CliRun run = RunCli({"list", "strategies", "--cms", ExampleCmsDb()});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(
        "Coated to Uncoated\ttype 2 (Orvex): default_cmyk.icc -> ps_cmyk.icc, relative "
        "colorimetric with black point compensation\n"
        "Digital Press Hexa\ttype 3 (Digital Printing): default_cmyk.icc -> HexaPress, "
        "perceptual\n"
        "ISO Coated\ttype 1 (profile transform): ISOCoated_v2_eci.icc -> ISOCoated_v2_eci.icc, "
        "relative colorimetric\n"
        "Newsprint Keep Black\ttype 2 (Orvex): ISOCoated_v2_eci.icc -> ps_cmyk.icc, relative "
        "colorimetric\n"
        "Proof Rubine\ttype 3 (Digital Printing): ISOCoated_v2_eci.icc -> ps_cmyk.icc, "
        "perceptual\n",
        run.out);

    run = RunCli({"list", "processes", "--json", "--cms", ExampleCmsDb()});
    ASSERT_EQ(0, run.status) << run.err;
    const nlohmann::json processes = nlohmann::json::parse(run.out);
    ASSERT_EQ(4u, processes.size());
    for (const nlohmann::json& process : processes) {
        if (process["name"] == "HexaPress") {
            EXPECT_EQ((std::vector<std::string>{"SPECTRA Orange C", "SPECTRA Green C"}),
                      process["spotInks"]);
        }
    }

    run = RunCli({"list", "inkbooks", "--cms", ExampleCmsDb()});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(
        "Process\tProcess Colors, 4 inks\nSPECTRA Solid Coated\tSpectra Solid Coated, 13 "
        "inks\nTechnical\tTechnical, 2 inks\n",
        run.out);

    run = RunCli({"list", "links", "--cms", scratch_.Path("no-such")});
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("ERROR: " + scratch_.Path("no-such") + ": the CMS database folder does not exist\n",
              run.err);
}

}  // namespace
}  // namespace rdz::e2e
