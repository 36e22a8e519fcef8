// Opening and closing the CMS library, and reading database folders.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/cms/StandIn.h"
#include "platform/cms/TInk.h"
#include "tests/platform/cms/CmsTestSupport.h"

using namespace cmstest;

namespace {

const char* kBook = R"({"book": "Book A", "inks": [{"name": "Red", "lab": [50, 60, 40]}]})";

bool HasError(const std::string& text) {
    for (const std::string& error : rdz::cms::LoadErrors()) {
        if (error == text)
            return true;
    }
    return false;
}

}  // namespace

TEST(CmsLibrary, CountsEveryInitAndMatchedEnd) {
    rdz::cms::ResetCounts();
    const int open = rdz::cms::OpenCount();
    EXPECT_EQ(0, TCMS_Init());
    EXPECT_EQ(0, TCMS_Init());
    EXPECT_TRUE(TCMS_GetLib());
    EXPECT_EQ(0, TCMS_End());
    EXPECT_TRUE(TCMS_GetLib()) << "one initialisation is still open";
    EXPECT_EQ(0, TCMS_End());
    EXPECT_EQ(2, rdz::cms::InitCount());
    EXPECT_EQ(2, rdz::cms::EndCount());
    EXPECT_EQ(open, rdz::cms::OpenCount());
    if (open == 0) {
        EXPECT_FALSE(TCMS_GetLib());
        EXPECT_EQ(-1, TCMS_End()) << "an end without an init is refused";
        EXPECT_EQ(2, rdz::cms::EndCount());
    }
}

TEST(CmsLibrary, DefaultDatabaseIsEmptyAndInMemory) {
    OpenDatabase db("");
    EXPECT_TRUE(TCMS_GetLib());
    EXPECT_TRUE(rdz::cms::LoadErrors().empty());
    EXPECT_FALSE(TCMS_ColTransfDBNew(TCMS_GetLib(), "anything"));
    EXPECT_FALSE(TIDB_GetInk(TCMS_GetLib(), "Process", "Cyan"));
}

TEST(CmsLibrary, NewFolderIsReadAtTheNextInitWhileObjectsOfTheOldOneStayUsable) {
    ScratchDatabase first;
    first.Write("inkbooks/a.json", kBook);
    ScratchDatabase second;
    second.Write("inkbooks/b.json",
                 R"({"book": "Book B", "inks": [{"name": "Blue", "lab": [30, 20, -60]}]})");

    OpenDatabase db(first.Folder());
    const std::shared_ptr<TInk> red = TIDB_GetInk(TCMS_GetLib(), "Book A", "Red");
    ASSERT_TRUE(red);
    rdz::cms::SetDatabaseFolder(second.Folder());
    TCMS_Init();
    EXPECT_FALSE(TIDB_GetInk(TCMS_GetLib(), "Book A", "Red"));
    EXPECT_TRUE(TIDB_GetInk(TCMS_GetLib(), "Book B", "Blue"));
    TCMS_End();
    EXPECT_EQ("Red", red->Name());
    EXPECT_DOUBLE_EQ(60.0, red->Lab()[1]);
}

TEST(CmsLibrary, ObjectsOutliveTheLibrary) {
    std::shared_ptr<TColTransf> strategy;
    std::shared_ptr<TInk> ink;
    std::shared_ptr<TProc> proc;
    {
        OpenDatabase db(ExampleDatabase());
        strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "Coated to Uncoated");
        ink = TIDB_GetInk(TCMS_GetLib(), "Process", "Cyan");
        proc = TCMS_ProcDBNew(TCMS_GetLib(), "ps_cmyk.icc");
        ASSERT_TRUE(strategy && ink && proc);
        ASSERT_EQ(0, Prepare(strategy, ProcessInks()));
    }
    if (rdz::cms::OpenCount() == 0) {
        EXPECT_FALSE(TCMS_GetLib());
    }
    const std::vector<unsigned char> row = ConvertRow(strategy, {10, 20, 30, 40, 200, 0, 0, 0}, 4);
    EXPECT_EQ(8u, row.size());
    EXPECT_EQ(4, TCMS_ProcGetNrInks(proc));
    EXPECT_EQ(0, TCMS_ColTransfEndConvert(strategy, false));
    strategy.reset();
    ink.reset();
    proc.reset();
}

TEST(CmsDatabase, ExampleDatabaseLoadsWithoutFaults) {
    OpenDatabase db(ExampleDatabase());
    EXPECT_TRUE(rdz::cms::LoadErrors().empty());
    for (const char* name :
         {"default_cmyk.icc", "ps_cmyk.icc", "ISOCoated_v2_eci.icc", "HexaPress"}) {
        EXPECT_TRUE(TCMS_ProcDBNew(TCMS_GetLib(), name)) << name;
    }
    EXPECT_EQ(TCMS::ColTransfTypeProfile, TCMSDB_ColTransfGetType(TCMS_GetLib(), "ISO Coated"));
    EXPECT_EQ(TCMS::ColTransfTypeOrvex,
              TCMSDB_ColTransfGetType(TCMS_GetLib(), "coated to uncoated"));
    EXPECT_EQ(TCMS::ColTransfTypeDigitalPrinting,
              TCMSDB_ColTransfGetType(TCMS_GetLib(), "Digital Press Hexa"));
    EXPECT_EQ(-1, TCMSDB_ColTransfGetType(TCMS_GetLib(), "No Such Strategy"));
}

TEST(CmsDatabase, FaultyFilesAreNamedAndTheRestLoads) {
    ScratchDatabase scratch;
    scratch.Write("inkbooks/a.json", kBook);
    scratch.Write("inkbooks/broken.json", R"({"book": "Broken", "inks": [)");
    scratch.Write("inkbooks/badlab.json",
                  R"({"book": "Bad", "inks": [{"name": "Ok", "lab": [1, 2, 3]},
                                               {"name": "Flat", "lab": [50, 10]}]})");
    scratch.Write("inkbooks/again.json",
                  R"({"book": "BOOK A", "inks": [{"name": "Other", "lab": [1, 2, 3]}]})");
    scratch.Write("inkbooks/typo.json",
                  R"({"book": "T", "inks": [{"name": "X", "lab": [1, 2, 3], "opacty": 1}]})");
    scratch.Write("inkbooks/readme.txt", "not a book, ignored");
    scratch.AddProcess("coated.icc", DefaultCmyk());
    scratch.Write("processes/text.icc", "this is not an ICC profile");
    scratch.Write("processes/orphan.json", "{}");
    scratch.Write("processes/coated2.icc", "");
    scratch.Write("strategies/good.json", R"({"type": 2, "source": "coated.icc"})");
    scratch.Write("strategies/lost.json",
                  R"({"type": 2, "source": "coated.icc", "destination": "nowhere.icc"})");
    scratch.Write("strategies/notype.json", R"({"source": "coated.icc"})");
    scratch.Write("strategies/badvalues.json",
                  R"({"type": 3, "source": "coated.icc", "advancedItems": [
                        {"book": "Book A", "ink": "Red", "option": 4, "values": [1, 2, 3, 4, 5]}]})");

    OpenDatabase db(scratch.Folder());
    EXPECT_TRUE(TIDB_GetInk(TCMS_GetLib(), "Book A", "Red"));
    EXPECT_TRUE(TCMS_ProcDBNew(TCMS_GetLib(), "coated.icc"));
    EXPECT_TRUE(TCMS_ColTransfDBNew(TCMS_GetLib(), "good"));
    EXPECT_FALSE(TIDB_GetInk(TCMS_GetLib(), "Bad", "Ok")) << "a faulty book is left out whole";
    EXPECT_FALSE(TIDB_GetInk(TCMS_GetLib(), "BOOK A", "Other"));
    EXPECT_FALSE(TCMS_ColTransfDBNew(TCMS_GetLib(), "lost"));

    EXPECT_TRUE(
        HasError("inkbooks/badlab.json: inks[1].lab: expected an array of 3 numbers "
                 "(L*, a*, b*)"));
    EXPECT_TRUE(
        HasError("inkbooks/again.json: ink book 'BOOK A' is already defined by another "
                 "file"));
    EXPECT_TRUE(HasError("inkbooks/typo.json: inks[0].opacty: unknown field"));
    EXPECT_TRUE(HasError("processes/text.icc: not a valid ICC profile"));
    EXPECT_TRUE(HasError("processes/coated2.icc: not a valid ICC profile"));
    EXPECT_TRUE(HasError("processes/orphan.json: there is no process file 'orphan' beside it"));
    EXPECT_TRUE(
        HasError("strategies/lost.json: destination: process 'nowhere.icc' is not in the "
                 "database"));
    EXPECT_TRUE(HasError("strategies/notype.json: type: missing"));
    EXPECT_TRUE(
        HasError("strategies/badvalues.json: advancedItems[0].values: 5 values for 4 "
                 "output channels"));
    const auto errors = rdz::cms::LoadErrors();
    EXPECT_EQ(10u, errors.size());
    const bool brokenNamed = std::any_of(errors.begin(), errors.end(), [](const std::string& e) {
        return e.rfind("inkbooks/broken.json: not valid JSON: ", 0) == 0;
    });
    EXPECT_TRUE(brokenNamed);
}

TEST(CmsDatabase, MissingFolderGivesAnEmptyDatabaseAndAFault) {
    OpenDatabase db("/nonexistent/rdz-cmsdb");
    EXPECT_TRUE(TCMS_GetLib());
    ASSERT_EQ(1u, rdz::cms::LoadErrors().size());
    EXPECT_EQ("/nonexistent/rdz-cmsdb: the database folder does not exist",
              rdz::cms::LoadErrors()[0]);
}

TEST(CmsDatabase, KeysGivenTwiceAndNulInTextsAreFaultsNamingTheField) {
    ScratchDatabase scratch;
    scratch.Write("inkbooks/a.json", kBook);
    // nlohmann's parser would keep the second "lab" without a word.
    scratch.Write("inkbooks/twice.json",
                  R"({"book": "Twice", "inks": [{"name": "Ok", "lab": [1, 2, 3]},
                      {"name": "Red", "lab": [50, 60, 40], "lab": [50, -60, 40]}]})");
    scratch.Write("inkbooks/top.json", R"({"book": "Top", "book": "Other", "inks": []})");
    // A NUL would cut the name short where C strings take it.
    scratch.Write("inkbooks/nul.json",
                  R"({"book": "Nul", "inks": [{"name": "Red\u0000Blue", "lab": [1, 2, 3]}]})");
    scratch.AddProcess("coated.icc", DefaultCmyk());
    scratch.Write("strategies/twice.json",
                  R"({"type": 2, "source": "coated.icc", "advancedItems": [
                        {"book": "Book A", "ink": "Red", "option": 1, "option": 0}]})");
    scratch.Write("strategies/nul.json", R"({"type": 2, "source": "coated.icc\u0000x"})");
    // The same key in two different objects is no fault.
    scratch.Write("strategies/fine.json",
                  R"({"type": 3, "source": "coated.icc", "advancedItems": [
                        {"book": "Book A", "ink": "Red", "option": 1},
                        {"book": "Book A", "ink": "Green", "option": 1}]})");

    OpenDatabase db(scratch.Folder());
    EXPECT_TRUE(
        HasError("inkbooks/twice.json: inks[1].lab: the field is given twice in one "
                 "object"));
    EXPECT_TRUE(HasError("inkbooks/top.json: book: the field is given twice in one object"));
    EXPECT_TRUE(
        HasError("inkbooks/nul.json: inks[0].name: a text must not hold a NUL "
                 "character"));
    EXPECT_TRUE(
        HasError("strategies/twice.json: advancedItems[0].option: the field is given "
                 "twice in one object"));
    EXPECT_TRUE(HasError("strategies/nul.json: source: a text must not hold a NUL character"));
    EXPECT_EQ(5u, rdz::cms::LoadErrors().size());
    EXPECT_FALSE(TIDB_GetInk(TCMS_GetLib(), "Twice", "Ok")) << "a faulty book is left out whole";
    EXPECT_FALSE(TCMS_ColTransfDBNew(TCMS_GetLib(), "twice"));
    EXPECT_TRUE(TCMS_ColTransfDBNew(TCMS_GetLib(), "fine"));
    EXPECT_TRUE(TIDB_GetInk(TCMS_GetLib(), "Book A", "Red"));
}

TEST(CmsDatabase, FilesWhoseNamesHoldControlCharactersAreNotReadAndSaySo) {
    ScratchDatabase scratch;
    scratch.AddProcess("coated.icc", DefaultCmyk());
    scratch.Write("strategies/Good.json", R"({"type": 2, "source": "coated.icc"})");
    scratch.Write("strategies/Fake\nINFO: Wrote x.json", R"({"type": 2, "source": "coated.icc"})");
    scratch.Write("strategies/Bell\a.json", R"({"type": 2, "source": "coated.icc"})");
    scratch.AddProcess("tab\tcoated.icc", DefaultCmyk());
    scratch.Write("inkbooks/esc\x1b[2J.json", kBook);

    std::vector<std::pair<rdz::cms::MessageLevel, std::string>> said;
    const rdz::cms::MessageSinkFunction previous =
        rdz::cms::SetMessageSink([&](rdz::cms::MessageLevel level, const std::string& text) {
            said.emplace_back(level, text);
        });
    {
        OpenDatabase db(scratch.Folder());
        EXPECT_TRUE(TCMS_ColTransfDBNew(TCMS_GetLib(), "Good"));
        EXPECT_FALSE(TCMS_ColTransfDBNew(TCMS_GetLib(), "Fake\nINFO: Wrote x"));
        EXPECT_FALSE(TCMS_ColTransfDBNew(TCMS_GetLib(), "Bell\a"));
        EXPECT_FALSE(TCMS_ProcDBNew(TCMS_GetLib(), "tab\tcoated.icc"));
        EXPECT_FALSE(TIDB_GetInk(TCMS_GetLib(), "Book A", "Red"));
        EXPECT_TRUE(
            HasError("strategies/Fake\nINFO: Wrote x.json: the file name holds control "
                     "characters; the file is not read"));
        EXPECT_EQ(4u, rdz::cms::LoadErrors().size());
    }
    rdz::cms::SetMessageSink(previous);

    // Each fault is one warning line: nothing in it starts a line of its own.
    ASSERT_EQ(4u, said.size());
    const std::string prefix = "CMS database " + scratch.Folder() + ": ";
    EXPECT_EQ(rdz::cms::MessageLevel::Warning, said[0].first);
    EXPECT_EQ(prefix +
                  "inkbooks/esc\\x1B[2J.json: the file name holds control characters; the "
                  "file is not read",
              said[0].second);
    EXPECT_EQ(prefix +
                  "processes/tab\\tcoated.icc: the file name holds control characters; "
                  "the file is not read",
              said[1].second);
    for (const auto& message : said) {
        EXPECT_EQ(rdz::cms::MessageLevel::Warning, message.first);
        EXPECT_EQ(std::string::npos, message.second.find_first_of("\n\a\t\x1b")) << message.second;
    }
}

TEST(CmsDatabase, DefaultMessageSinkWritesLevelWordAndOneLine) {
    ScratchDatabase scratch;
    scratch.Write("inkbooks/a.json",
                  R"({"book": "A", "inks": [{"name": "X\nY", "lab": [1, 2, 3]}]})");
    testing::internal::CaptureStderr();
    { OpenDatabase db(scratch.Folder()); }
    EXPECT_EQ("WARNING: CMS database " + scratch.Folder() +
                  ": inkbooks/a.json: inks[0].name: a name must not hold control characters\n",
              testing::internal::GetCapturedStderr());
}

TEST(CmsDatabase, LargeInkBookLoadsWholeAndStillFindsASecondInkOfOneName) {
    // Every name is checked against every other (ignoring case) through an
    // index; a second ink of a name is still found at the end of a large book.
    constexpr int kInks = 10000;
    std::string book = R"({"book": "Big", "inks": [)";
    for (int i = 0; i < kInks; ++i) {
        book += (i == 0 ? "" : ",") + std::string(R"({"name": "Ink )") + std::to_string(i) +
                R"(", "lab": [50, 0, 0], "process": )" + (i % 1000 == 0 ? "true" : "false") + "}";
    }
    ScratchDatabase scratch;
    scratch.Write("inkbooks/big.json", book + "]}");
    scratch.Write("inkbooks/twice.json", book + R"(, {"name": "INK 4711", "lab": [1, 2, 3]}]})");
    OpenDatabase db(scratch.Folder());
    EXPECT_TRUE(HasError("inkbooks/twice.json: inks[" + std::to_string(kInks) +
                         "]: a second ink named 'INK 4711'"));
    ASSERT_EQ(1u, rdz::cms::LoadErrors().size());
    for (int i : {0, 1, 4711, kInks - 1}) {
        const auto ink = TIDB_GetInk(TCMS_GetLib(), "BIG", ("ink " + std::to_string(i)).c_str());
        ASSERT_TRUE(ink) << i;
        EXPECT_EQ("Ink " + std::to_string(i), ink->Name());
    }
    EXPECT_FALSE(TIDB_GetInk(TCMS_GetLib(), "Big", ("Ink " + std::to_string(kInks)).c_str()));
}
