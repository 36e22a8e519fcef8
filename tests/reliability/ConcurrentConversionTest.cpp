// Two programs converting at the same time with the same settings on the
// same CMS database: both succeed with the same result, and the database
// then holds every link they stored, each a whole pair of files under a name
// of its own, each a valid ICC device link that later conversions reuse.
#include <gtest/gtest.h>

#include <lcms2.h>

#include <map>
#include <string>
#include <vector>

#include "tests/reliability/ReliabilitySupport.h"

namespace rdz::reliability {
namespace {

std::vector<std::string> ReseparationArgs(const std::string& db, const std::string& input,
                                          const std::string& output) {
    return {"convert",
            "--cms",
            db,
            "--profile",
            "--source",
            "default_cmyk.icc",
            "--destination",
            "ps_cmyk.icc",
            "--reseparate",
            "--total-ink",
            "300",
            input,
            "-o",
            output};
}

/// The stored links under <db>/links, per product: the link names. Checks
/// on the way that every link is a pair of an ICC device link and its JSON,
/// and that no temporary file was left behind.
std::map<std::string, std::vector<std::string>> StoredLinks(const std::string& db) {
    std::map<std::string, std::vector<std::string>> links;
    if (!Exists(db + "/links"))
        return links;
    for (const std::string& file : FilesUnder(db + "/links")) {
        const std::size_t slash = file.find('/');
        const std::string product = file.substr(0, slash);
        const std::string name = file.substr(slash + 1);
        if (name == ".lock")
            continue;
        EXPECT_NE('.', name[0]) << "left behind: " << file;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".icc") != 0)
            continue;
        const std::string stem = name.substr(0, name.size() - 4);
        links[product].push_back(stem);
        EXPECT_TRUE(Exists(db + "/links/" + product + "/" + stem + ".json")) << file;
        const std::string bytes = ReadFile(db + "/links/" + file);
        cmsHPROFILE profile =
            cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
        EXPECT_NE(nullptr, profile) << file << " is not an ICC profile";
        if (profile) {
            EXPECT_EQ(cmsSigLinkClass, cmsGetDeviceClass(profile)) << file;
            cmsCloseProfile(profile);
        }
        const std::string json = ReadFile(db + "/links/" + product + "/" + stem + ".json");
        EXPECT_NE(std::string::npos, json.find("\"name\": \"" + stem + "\"")) << file;
    }
    for (const std::string& file : FilesUnder(db + "/links")) {
        if (file.size() > 5 && file.compare(file.size() - 5, 5, ".json") == 0) {
            const std::string icc = file.substr(0, file.size() - 5) + ".icc";
            EXPECT_TRUE(Exists(db + "/links/" + icc)) << file << " without its profile";
        }
    }
    return links;
}

/// The converted document at `json` with the TIFF files beside it, its own
/// file names taken out, so that results written under different names compare.
std::string Result(const std::string& json) {
    const std::string stem = json.substr(0, json.size() - 5);
    const std::string name = stem.substr(stem.rfind('/') + 1);
    std::string text = ReadFile(json);
    for (std::size_t at; (at = text.find("\"" + name + ".")) != std::string::npos;)
        text.replace(at + 1, name.size(), "RESULT");
    return text + ReadFile(stem + ".photo.tif") + ReadFile(stem + ".logo.tif");
}

std::size_t Count(const std::map<std::string, std::vector<std::string>>& links) {
    std::size_t n = 0;
    for (const auto& [product, names] : links)
        n += names.size();
    return n;
}

TEST(ConcurrentConversion, TwoProgramsOnOneDatabaseBothSucceedAndLoseNoLink) {
    Scratch scratch;
    const std::string input = CopySample(scratch.Path("in"));
    const std::string inputBytes = ReadFile(input);

    // What one program alone stores.
    MakeDatabase(scratch.Path("alone"));
    const CliRun alone =
        RunCli(ReseparationArgs(scratch.Path("alone"), input, scratch.Path("alone.json")));
    ASSERT_EQ(0, alone.status) << alone.err;
    const std::size_t single = Count(StoredLinks(scratch.Path("alone")));
    ASSERT_GE(single, 1u) << "the conversion stored no link";
    const std::string expected = Result(scratch.Path("alone.json"));
    ASSERT_NE(std::string::npos, expected.find("\"RESULT.photo.tif\""));

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string db = scratch.Path("db" + std::to_string(round));
        MakeDatabase(db);
        const std::string a = scratch.Path("a" + std::to_string(round) + ".json");
        const std::string b = scratch.Path("b" + std::to_string(round) + ".json");
        Process first(ReseparationArgs(db, input, a));
        Process second(ReseparationArgs(db, input, b));
        const CliRun ra = first.Wait();
        const CliRun rb = second.Wait();
        ASSERT_EQ(0, ra.status) << ra.err;
        ASSERT_EQ(0, rb.status) << rb.err;
        // Same settings, same result (the link each used holds the same table).
        EXPECT_EQ(expected, Result(a));
        EXPECT_EQ(expected, Result(b));

        // Each program stored what it computed under its own name: at least
        // the links of one program alone, at most those of both.
        const auto links = StoredLinks(db);
        EXPECT_GE(Count(links), single);
        EXPECT_LE(Count(links), 2 * single);

        // A third program finds a stored link instead of storing another.
        const CliRun third = RunCli(ReseparationArgs(db, input, scratch.Path("third.json")));
        ASSERT_EQ(0, third.status) << third.err;
        EXPECT_EQ(Count(links), Count(StoredLinks(db)));
        EXPECT_EQ(expected, Result(scratch.Path("third.json")));
    }
    EXPECT_EQ(inputBytes, ReadFile(input));
}

}  // namespace
}  // namespace rdz::reliability
