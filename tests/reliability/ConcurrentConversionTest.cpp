// Programs converting at the same time with the same settings on the same
// CMS database: all succeed with the same result, and the database then holds
// each link once (the programs take turns computing it, and each looks again
// when its turn comes), a whole pair of files, a valid ICC device link that
// later conversions reuse.
#include <gtest/gtest.h>

#include <lcms2.h>

#include <map>
#include <memory>
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

TEST(ConcurrentConversion, ProgramsOnOneDatabaseAllSucceedAndStoreEachLinkOnce) {
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

    constexpr int kPrograms = 4;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string db = scratch.Path("db" + std::to_string(round));
        MakeDatabase(db);
        std::vector<std::string> outputs;
        std::vector<std::unique_ptr<Process>> programs;
        for (int p = 0; p < kPrograms; ++p) {
            outputs.push_back(
                scratch.Path("r" + std::to_string(round) + "-" + std::to_string(p) + ".json"));
            programs.push_back(std::make_unique<Process>(ReseparationArgs(db, input, outputs[p])));
        }
        for (int p = 0; p < kPrograms; ++p) {
            const CliRun run = programs[p]->Wait();
            ASSERT_EQ(0, run.status) << run.err;
            // Same settings, same result (the link each used holds the same table).
            EXPECT_EQ(expected, Result(outputs[p]));
        }

        // Stored once, as by one program alone.
        const auto links = StoredLinks(db);
        EXPECT_EQ(single, Count(links));

        // A later program finds the stored links instead of storing others.
        const std::string third = scratch.Path("third" + std::to_string(round) + ".json");
        const CliRun again = RunCli(ReseparationArgs(db, input, third));
        ASSERT_EQ(0, again.status) << again.err;
        EXPECT_EQ(Count(links), Count(StoredLinks(db)));
        EXPECT_EQ(expected, Result(third));
    }
    EXPECT_EQ(inputBytes, ReadFile(input));
}

}  // namespace
}  // namespace rdz::reliability
