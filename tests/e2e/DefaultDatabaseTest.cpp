// The program out of the box: the default CMS database, the user's link
// store, ICC files in place of processes, and failures that say why.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/e2e/E2eSupport.h"
#include "tests/e2e/SampleJson.h"

namespace rdz::e2e {
namespace {

class DefaultDatabase : public testing::Test {
  protected:
    void SetUp() override {
        if (!Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
            GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
        }
        SetCliEnvironment("RODADAZERIVO_CMS", nullptr);
        SetCliEnvironment("XDG_CACHE_HOME", scratch_.Path("cache").c_str());
        tiff_.width = 97;
        tiff_.height = 61;
        WriteTiff(scratch_.Path("in.tif"), tiff_, TestPixels(tiff_));
    }
    void TearDown() override { ResetCliEnvironment(); }

    /// The stored links under `folder`/links, as "<product>/<file>".
    std::vector<std::string> StoredLinks(const std::string& folder) const {
        std::vector<std::string> files;
        if (!Exists(folder + "/links")) {
            return files;
        }
        for (const std::string& product : ListFolder(folder + "/links")) {
            for (const std::string& file : ListFolder(folder + "/links/" + product)) {
                if (file[0] != '.') {
                    files.push_back(product + "/" + file);
                }
            }
        }
        return files;
    }
    static std::vector<std::string> ListFolder(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    CliRun ConvertToPs(const std::vector<std::string>& extra, const std::string& output,
                       const std::string& source = "default_cmyk.icc") {
        std::vector<std::string> args = {"convert", "--profile",     "--source",
                                         source,    "--destination", "ps_cmyk.icc"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {scratch_.Path("in.tif"), "-o", scratch_.Path(output)});
        return RunCli(args);
    }

    static int CountLines(const std::string& text, const std::string& start) {
        int count = 0;
        for (std::size_t at = 0; at < text.size();) {
            count += text.compare(at, start.size(), start) == 0 ? 1 : 0;
            const std::size_t end = text.find('\n', at);
            at = end == std::string::npos ? text.size() : end + 1;
        }
        return count;
    }

    Scratch scratch_;
    TestTiff tiff_;
};

TEST_F(DefaultDatabase, DeviceLinkNeedsNoOtherArgumentAndMatchesTificc) {
    const std::string link = scratch_.Path("link.icc");
    WriteDeviceLink(DefaultCmykProfile(), PsCmykProfile(), link);
    const CliRun run = RunCli({"convert", "--device-link", link, scratch_.Path("in.tif"), "-o",
                               scratch_.Path("out.tif")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("WARNING")) << run.err;
    const TiffContent out = ReadTiff(scratch_.Path("out.tif"));

    if (Exists("/usr/bin/tificc")) {
        const std::string command = "/usr/bin/tificc -l '" + link + "' '" +
                                    scratch_.Path("in.tif") + "' '" + scratch_.Path("ref.tif") +
                                    "' >/dev/null 2>&1";
        ASSERT_EQ(0, std::system(command.c_str()));
        const TiffContent reference = ReadTiff(scratch_.Path("ref.tif"));
        EXPECT_EQ(reference.pixels, out.pixels) << "not the pixels of tificc -l";
    }
    // And LittleCMS applied here, pixel for pixel.
    EXPECT_EQ(ApplyDeviceLink(link, TestPixels(tiff_)), out.pixels);
    // Nothing was computed: no link store was made.
    EXPECT_FALSE(Exists(scratch_.Path("cache/rodadazerivo")));
}

TEST_F(DefaultDatabase, ComputedLinksGoToTheUserCacheWithOneWarningAndAreFoundThere) {
    const std::string store = scratch_.Path("cache") + "/rodadazerivo";
    CliRun run = ConvertToPs({}, "first.tif");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(1, CountLines(run.err, "WARNING: ")) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("WARNING: The default CMS database is shared: device links computed "
                           "with it are kept in " +
                           store + "/links and found there next time.\n"))
        << run.err;
    const std::vector<std::string> links = StoredLinks(store);
    EXPECT_EQ(2u, links.size()) << "the profile and its JSON";
    EXPECT_TRUE(StoredLinks(ExampleCmsDb()).empty()) << "the default database was written";

    run = ConvertToPs({"--report", scratch_.Path("r.json")}, "second.tif");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0, CountLines(run.err, "WARNING: ")) << run.err;
    EXPECT_EQ(links, StoredLinks(store));
    const nlohmann::json report = ReadJson(scratch_.Path("r.json"));
    EXPECT_TRUE(report["deviceLinks"]["computed"].empty()) << report.dump(2);
    EXPECT_EQ(1u, report["deviceLinks"]["reused"].size()) << report.dump(2);
    EXPECT_EQ(ReadTiff(scratch_.Path("first.tif")).pixels,
              ReadTiff(scratch_.Path("second.tif")).pixels);

    // Without XDG_CACHE_HOME the store is in the home folder.
    SetCliEnvironment("XDG_CACHE_HOME", nullptr);
    SetCliEnvironment("HOME", scratch_.Path("home").c_str());
    run = ConvertToPs({}, "third.tif");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(2u, StoredLinks(scratch_.Path("home/.cache/rodadazerivo")).size());
}

TEST_F(DefaultDatabase, AReadOnlyDatabaseKeepsItsLinksAndTheNewOnesGoToTheUserCache) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "every folder is writable for root";
    }
    const std::string db = scratch_.Path("cmsdb");
    CopyFolder(ExampleCmsDb(), db);
    ASSERT_EQ(0, chmod(db.c_str(), 0555));
    const CliRun run = ConvertToPs({"--cms", db}, "out.tif");
    chmod(db.c_str(), 0755);
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("WARNING: The CMS database " + db + " cannot be written"))
        << run.err;
    EXPECT_FALSE(Exists(db + "/links"));
    EXPECT_EQ(2u, StoredLinks(scratch_.Path("cache/rodadazerivo")).size());
}

TEST_F(DefaultDatabase, UnknownNamesListWhatTheDatabaseHasClosestFirst) {
    const std::string db = ExampleCmsDb();
    CliRun run = RunCli({"convert", "--cms", db, "--strategy", "Coated", scratch_.Path("in.tif"),
                         "-o", scratch_.Path("out.tif")});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("ERROR: Color Strategy Coated was not found in the CMS database " + db +
                  "; it has: ISO Coated, Coated to Uncoated, Proof Rubine, Digital Press Hexa, "
                  "Newsprint Keep Black.\n"
                  "ERROR: The Color Strategy conversion failed; no output was written.\n",
              run.err);

    run = ConvertToPs({"--cms", db}, "out.tif", "default-cmyk");
    EXPECT_EQ(1, run.status);
    EXPECT_EQ(0u, run.err.find("ERROR: --source default-cmyk: no process of that name in the "
                               "CMS database " +
                               db + ", and no ICC file of that name; it has: default_cmyk.icc, "))
        << run.err;

    // A strategy of another type than asked for: which type it is.
    run = RunCli({"convert", "--strategy", "ISO Coated", "--strategy-type", "2",
                  scratch_.Path("in.tif"), "-o", scratch_.Path("out.tif")});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ(
        "ERROR: Color Strategy ISO Coated is a profile transform (type 1); "
        "--strategy-type 2 asks for an Orvex Color Strategy.\n"
        "ERROR: The Color Strategy conversion failed; no output was written.\n",
        run.err);

    // The device-link conversion without the process it maps onto.
    CopyFolder(db, scratch_.Path("cmsdb"));
    std::filesystem::remove(scratch_.Path("cmsdb/processes/ISOCoated_v2_eci.icc"));
    WriteDeviceLink(DefaultCmykProfile(), PsCmykProfile(), scratch_.Path("link.icc"));
    run = RunCli({"convert", "--cms", scratch_.Path("cmsdb"), "--device-link",
                  scratch_.Path("link.icc"), scratch_.Path("in.tif"), "-o",
                  scratch_.Path("out.tif")});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos,
              run.err.find("ERROR: The device-link conversion takes the process inks as CMYK of "
                           "the process ISOCoated_v2_eci.icc, which the CMS database " +
                           scratch_.Path("cmsdb") +
                           " does not have; give --cms with a database that has it.\n"
                           "ERROR: The device-link conversion failed; no output was written.\n"))
        << run.err;
    EXPECT_FALSE(Exists(scratch_.Path("out.tif")));
}

TEST_F(DefaultDatabase, IccFilesServeAsProcessesForTheRun) {
    CliRun run = ConvertToPs({}, "by-name.tif");
    ASSERT_EQ(0, run.status) << run.err;
    run = RunCli({"convert", "--profile", "--source", DefaultCmykProfile(), "--destination",
                  PsCmykProfile(), scratch_.Path("in.tif"), "-o", scratch_.Path("by-file.tif")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(ReadTiff(scratch_.Path("by-name.tif")).pixels,
              ReadTiff(scratch_.Path("by-file.tif")).pixels);

    // A file that is no output profile is refused with its fault.
    WriteText(scratch_.Path("notes.icc"), std::string(300, 'x'));
    run = ConvertToPs({}, "bad.tif", scratch_.Path("notes.icc"));
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("ERROR: " + scratch_.Path("notes.icc") +
                  ": cannot serve as a process: not a valid ICC profile\n",
              run.err);
}

TEST_F(DefaultDatabase, TheDocumentNamesItsNewColourSpace) {
    const std::string sample = ExamplesDir() + "/sample/sample.json";
    CliRun run = RunCli({"convert", "--profile", "--use-document-profile", "--destination",
                         PsCmykProfile(), sample, "-o", scratch_.Path("out.json")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("ps_cmyk.icc", ReadJson(scratch_.Path("out.json"))["colorSpace"]["name"]);

    // A document whose colour space the database lacks: which, and what it has.
    std::string text = ReadText(sample);
    const std::string tag = "\"name\": \"ISOCoated_v2_eci.icc\"";
    text.replace(text.find(tag), tag.size(), "\"name\": \"Unknown Press.icc\"");
    for (const char* name : {"sample.photo.tif", "sample.logo.tif"}) {
        WriteText(scratch_.Path(name), ReadText(ExamplesDir() + "/sample/" + name));
    }
    WriteText(scratch_.Path("sample.json"), text);
    run = RunCli({"convert", "--profile", "--use-document-profile", "--destination", "ps_cmyk.icc",
                  scratch_.Path("sample.json"), "-o", scratch_.Path("x.json")});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ(
        "ERROR: The document's colour space Unknown Press.icc is not a process of the "
        "default CMS database " +
            ExampleCmsDb() +
            "; it has: HexaPress, default_cmyk.icc, ps_cmyk.icc, ISOCoated_v2_eci.icc.\n"
            "ERROR: The profile conversion could not be set up; nothing was converted and "
            "no output was written.\n",
        run.err);
    EXPECT_EQ(std::string::npos, run.err.find("from ticket"));
}

}  // namespace
}  // namespace rdz::e2e
