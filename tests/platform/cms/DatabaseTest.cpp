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
