// Names that hold control characters, and inputs of many inks and paints,
// through the program as a user runs it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/E2eSupport.h"
#include "tests/e2e/SampleJson.h"

namespace rdz::e2e {
namespace {

using nlohmann::json;

json ProcessInk(const char* id, const char* name) {
    return {{"id", id},          {"book", "Process"},     {"name", name}, {"kinds", {"process"}},
            {"process", "CMYK"}, {"rgb", {0.5, 0.5, 0.5}}};
}

/// A document with the four process inks, `spots` (id -> name, RGB 0.5 0.2
/// 0.1) and `paints`.
json Document(const std::vector<json>& spots, const std::vector<json>& paints) {
    json inks = json::array({ProcessInk("cyan", "Cyan"), ProcessInk("magenta", "Magenta"),
                             ProcessInk("yellow", "Yellow"), ProcessInk("black", "Black")});
    for (const json& spot : spots) {
        inks.push_back(spot);
    }
    return {{"format", "rodadazerivo-document"},
            {"version", 1},
            {"name", "Names"},
            {"colorSpace", {{"name", "ISOCoated_v2_eci.icc"}, {"inDatabase", true}}},
            {"inks", inks},
            {"paints", paints}};
}

json Spot(const std::string& id, const std::string& name, const std::string& book = "") {
    json ink = {{"id", id}, {"name", name}, {"rgb", {0.5, 0.2, 0.1}}};
    if (!book.empty()) {
        ink["book"] = book;
    }
    return ink;
}

json Solid(const std::string& id, const std::vector<std::pair<std::string, double>>& amounts) {
    json solid = json::array();
    for (const auto& amount : amounts) {
        solid.push_back({{"ink", amount.first}, {"fraction", amount.second}});
    }
    return {{"id", id}, {"solid", solid}};
}

/// True when every line of `err` starts with a level word.
bool EveryLineHasALevel(const std::string& err) {
    std::size_t at = 0;
    while (at < err.size()) {
        const std::size_t end = err.find('\n', at);
        const std::string line = err.substr(at, end == std::string::npos ? end : end - at);
        bool levelled = false;
        for (const char* word : {"INFO: ", "WARNING: ", "ERROR: "}) {
            levelled = levelled || line.rfind(word, 0) == 0;
        }
        if (!levelled) {
            ADD_FAILURE() << "a line without a level: '" << line << "'";
            return false;
        }
        at = end == std::string::npos ? err.size() : end + 1;
    }
    return true;
}

class NamesAndSizes : public testing::Test {
  protected:
    void SetUp() override {
        if (!Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
            GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
        }
    }
    CliRun Convert(const json& document, const std::vector<std::string>& method,
                   const std::string& cms = ExampleCmsDb()) {
        WriteText(scratch_.Path("in.json"), document.dump());
        std::vector<std::string> args = {"convert", "--cms", cms};
        args.insert(args.end(), method.begin(), method.end());
        args.insert(args.end(), {scratch_.Path("in.json"), "-o", scratch_.Path("out.json")});
        return RunCli(args);
    }

    Scratch scratch_;
};

TEST_F(NamesAndSizes, SpotInkWithControlCharactersInItsNameIsConvertedLikeAnyOther) {
    const std::vector<json> paints = {
        Solid("p", {{"cyan", 0.2}, {"spot", 1.0}}),
    };
    CliRun run = Convert(Document({Spot("spot", "MySpot")}, paints), {"--strategy", "ISO Coated"});
    ASSERT_EQ(0, run.status) << run.err;
    const std::map<std::string, double> plain = MakeUp(ReadJson(scratch_.Path("out.json")), 0);

    run = Convert(Document({Spot("spot", "My\tSpot")}, paints), {"--strategy", "ISO Coated"});
    ASSERT_EQ(0, run.status) << run.err;
    const json out = ReadJson(scratch_.Path("out.json"));
    // The spot ink went into the conversion: the paint is not Cyan 20% alone.
    EXPECT_EQ(plain, MakeUp(out, 0));
    EXPECT_GT(plain.at("Magenta"), 0.5);
    EXPECT_NE(std::string::npos,
              run.err.find("INFO: Ink <unregistered> My\\tSpot will be converted according to "
                           "settings in Color Strategy ISO Coated.\n"))
        << run.err;
    EXPECT_TRUE(EveryLineHasALevel(run.err));
    // The document still knows the ink under its own name.
    bool kept = false;
    for (const json& ink : out["inks"]) {
        kept = kept || ink["name"] == "My\tSpot";
    }
    EXPECT_TRUE(kept);

    // A method that keeps spot inks keeps this one, name and amount. It
    // stores device links: on a copy of the database, never the example.
    CopyFolder(ExampleCmsDb(), scratch_.Path("linkdb"));
    run = Convert(Document({Spot("spot", "My\nSpot")}, paints),
                  {"--profile", "--source", "default_cmyk.icc", "--destination", "ps_cmyk.icc"},
                  scratch_.Path("linkdb"));
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(1.0, MakeUp(ReadJson(scratch_.Path("out.json")), 0).at("My\nSpot"));
}

TEST_F(NamesAndSizes, NamesCannotMakeMessageLinesOfTheirOwn) {
    const CliRun run = Convert(
        Document({Spot("spot", "x\nINFO: Wrote /etc/shadow")}, {Solid("p", {{"spot", 0.5}})}),
        {"--strategy", "ISO Coated"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("\nINFO: Wrote /etc/shadow")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("Ink <unregistered> x\\nINFO: Wrote /etc/shadow "
                                              "will be converted"))
        << run.err;
    EXPECT_TRUE(EveryLineHasALevel(run.err));

    // The program's own messages name files too.
    const std::string missing = scratch_.Path("missing\nINFO: Wrote x.json");
    const CliRun refused =
        RunCli({"convert", "--strategy", "ISO Coated", missing, "-o", scratch_.Path("x.json")});
    EXPECT_EQ(2, refused.status);
    EXPECT_EQ("ERROR: " + scratch_.Path("missing\\nINFO: Wrote x.json") +
                  ": cannot open: No such file or directory\n",
              refused.err);
}

TEST_F(NamesAndSizes, DatabaseFilesNamedWithControlCharactersAreNotLoaded) {
    CopyFolder(ExampleCmsDb(), scratch_.Path("cmsdb"));
    const std::string fake = "Fake\nINFO: Wrote x";
    WriteText(scratch_.Path("cmsdb/strategies/" + fake + ".json"),
              R"({"type": 1, "source": "default_cmyk.icc", "destination": "ps_cmyk.icc"})");
    const CliRun run = Convert(Document({}, {Solid("p", {{"cyan", 0.5}})}), {"--strategy", fake},
                               scratch_.Path("cmsdb"));
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("WARNING: CMS database " + scratch_.Path("cmsdb") +
                           ": strategies/Fake\\nINFO: Wrote x.json: the file name holds control "
                           "characters; the file is not read\n"))
        << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("ERROR: Color Strategy Fake\\nINFO: Wrote x was not found in the CMS "
                           "database " +
                           scratch_.Path("cmsdb") + "; it has: "))
        << run.err;
    EXPECT_TRUE(EveryLineHasALevel(run.err));
    EXPECT_FALSE(Exists(scratch_.Path("out.json")));
}

TEST_F(NamesAndSizes, LargeInkBookAndDocumentOfManyInksConvert) {
    // Large books and documents come out right; how long they take is
    // measured by bench/loading, not here.
    CopyFolder(ExampleCmsDb(), scratch_.Path("cmsdb"));
    constexpr int kBookInks = 20000;
    json book = {{"book", "Big Book"}, {"displayName", "Big"}, {"inks", json::array()}};
    for (int i = 0; i < kBookInks; ++i) {
        book["inks"].push_back({{"name", "Ink " + std::to_string(i)},
                                {"displayName", "Shown " + std::to_string(i)},
                                {"lab", {50.0, 40.0, 30.0}}});
    }
    WriteText(scratch_.Path("cmsdb/inkbooks/big.json"), book.dump());

    constexpr int kSpots = 1500;
    std::vector<json> spots = {Spot("last", "INK " + std::to_string(kBookInks - 1), "BIG BOOK")};
    std::vector<json> paints = {Solid("last", {{"last", 1.0}})};
    for (int i = 0; i < kSpots; ++i) {
        const std::string id = "s" + std::to_string(i);
        spots.push_back(Spot(id, "Spot " + std::to_string(i)));
        paints.push_back(Solid(id, {{"cyan", 0.2}, {id, 1.0}}));
    }
    const CliRun run =
        Convert(Document(spots, paints), {"--strategy", "ISO Coated"}, scratch_.Path("cmsdb"));
    ASSERT_EQ(0, run.status) << run.err.substr(0, 2000);
    // The book ink was found at the end of its book: it is named as the book shows it.
    EXPECT_NE(std::string::npos, run.err.find("INFO: Ink Big Shown 19999 will be converted"))
        << run.err.substr(0, 2000);
    const json out = ReadJson(scratch_.Path("out.json"));
    ASSERT_EQ(static_cast<std::size_t>(kSpots + 1), out["paints"].size());
    // Every paint that held a spot ink now holds process inks for it.
    for (std::size_t p : {std::size_t{1}, std::size_t{kSpots / 2}, std::size_t{kSpots}}) {
        EXPECT_GT(MakeUp(out, p).at("Magenta"), 0.5) << "paint " << p;
    }
}

TEST_F(NamesAndSizes, PreviewOfManyPaintsIsCappedAndSaysWhatItLeftOut) {
    std::vector<json> paints;
    for (int i = 0; i < 30000; ++i) {
        paints.push_back(Solid("p" + std::to_string(i), {{"cyan", (i % 100) / 100.0}}));
    }
    WriteText(scratch_.Path("in.json"), Document({}, paints).dump());
    const CliRun run = RunCli({"preview", "--cms", ExampleCmsDb(), scratch_.Path("in.json"), "-o",
                               scratch_.Path("preview.png")});
    ASSERT_EQ(0, run.status) << run.err;
    // 24 tiles a row, 14 pixels a row, in 16384 pixels less the margins.
    EXPECT_NE(std::string::npos,
              run.err.find("WARNING: The preview shows 28056 of 30000 paints and 0 of 0 images: "
                           "all of them would make the picture taller than 16384 pixels.\n"))
        << run.err;
    EXPECT_TRUE(EveryLineHasALevel(run.err));
    const std::string png = ReadText(scratch_.Path("preview.png"));
    ASSERT_GT(png.size(), 24u);
    const auto word = [&](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(png[i])) << 24 |
               static_cast<unsigned>(static_cast<unsigned char>(png[i + 1])) << 16 |
               static_cast<unsigned>(static_cast<unsigned char>(png[i + 2])) << 8 |
               static_cast<unsigned>(static_cast<unsigned char>(png[i + 3]));
    };
    EXPECT_EQ(360u, word(16));
    EXPECT_LE(word(20), 16384u);
    EXPECT_GT(word(20), 16000u);
}

TEST_F(NamesAndSizes, ImagesBeyondTheMemoryBudgetAreRefusedBeforeAnyWork) {
    // A few hundred bytes that declare two 4 MiB images of zero pixels:
    // under a 6 MiB budget the second cannot be held, and the run stops
    // saying how much it asks for, with nothing written.
    json document = Document({}, {Solid("p", {{"cyan", 0.5}})});
    const json image = {{"inks", {"cyan"}}, {"width", 2048}, {"height", 2048}};
    json first = image;
    first["id"] = "first";
    json second = image;
    second["id"] = "second";
    document["images"] = {first, second};
    CliRun run = Convert(document, {"--max-memory", "6M", "--strategy", "ISO Coated"});
    EXPECT_EQ(2, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("/images/1: an image (2048 x 2048 pixels, 1 plane) needs 4.0 MiB of "
                           "memory, more than the 2.0 MiB left of the memory budget of 6.0 MiB"))
        << run.err;
    EXPECT_FALSE(Exists(scratch_.Path("out.json")));

    // A conversion whose output images do not fit says so, and only so:
    // no guess at another cause before it.
    run = Convert(document, {"--max-memory", "12M", "--strategy", "ISO Coated"});
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("ERROR: The Color Strategy conversion failed: an image (2048 x 2048 "
                           "pixels, 4 planes) needs 16.0 MiB of memory"))
        << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("could not be prepared")) << run.err;
    EXPECT_FALSE(Exists(scratch_.Path("out.json")));

    // With room for the input and the converted images, the same document
    // converts.
    run = Convert(document, {"--max-memory", "64M", "--strategy", "ISO Coated"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(Exists(scratch_.Path("out.json")));
}

}  // namespace
}  // namespace rdz::e2e
