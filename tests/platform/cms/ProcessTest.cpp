// Processes: ICC profiles and processes of the CMS library's own kind.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <fstream>
#include <iterator>

#include "platform/cms/TInk.h"
#include "tests/platform/cms/CmsTestSupport.h"

using namespace cmstest;

namespace {

/// ps_cmyk.icc with a colorant table naming its channels.
std::string ProfileWithColorants(const std::vector<std::string>& names) {
    rdz::cms::ProfileHandle profile = OpenProfileFile(PsCmyk());
    cmsNAMEDCOLORLIST* list = cmsAllocNamedColorList(nullptr, 4, 4, "", "");
    for (const std::string& name : names) {
        cmsUInt16Number pcs[3] = {0, 0, 0};
        cmsAppendNamedColor(list, name.c_str(), pcs, nullptr);
    }
    cmsWriteTag(profile.get(), cmsSigColorantTableTag, list);
    cmsFreeNamedColorList(list);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile.get(), nullptr, &size);
    std::string bytes(size, '\0');
    cmsSaveProfileToMem(profile.get(), bytes.data(), &size);
    return bytes;
}

}  // namespace

TEST(CmsProcesses, IccProcessHasTheProfileChannelsAsProcessInks) {
    OpenDatabase db(ExampleDatabase());
    const auto proc = TCMS_ProcDBNew(TCMS_GetLib(), "PS_CMYK.ICC");
    ASSERT_TRUE(proc);
    EXPECT_NE(0, TCMS_ProcIsICCProc(proc));
    EXPECT_EQ(4, TCMS_ProcGetNrInks(proc));
    const TInkVector inks = TCMS_ProcGetInks(proc);
    ASSERT_EQ(4u, inks.size());
    const char* names[] = {"Cyan", "Magenta", "Yellow", "Black"};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(names[c], inks[c]->Name());
        EXPECT_EQ("Process", inks[c]->Book()) << "the book of the database's process inks";
        EXPECT_TRUE(inks[c]->IsProcess());
        std::array<unsigned char, 4> solid{{0, 0, 0, 0}};
        solid[c] = 255;
        EXPECT_LT(DeltaE2000(CmykToLab(PsCmyk(), solid), inks[c]->Lab()), 0.01) << names[c];
    }
    int nrInks = -5;
    int nrSpot = -5;
    EXPECT_EQ(0, TCMSDB_ProcGetNrs(TCMS_GetLib(), "ps_cmyk.icc", &nrInks, &nrSpot));
    EXPECT_EQ(4, nrInks);
    EXPECT_EQ(0, nrSpot);
}

TEST(CmsProcesses, OwnKindProcessListsItsSpotInksAfterTheChannels) {
    OpenDatabase db(ExampleDatabase());
    const auto proc = TCMS_ProcDBNew(TCMS_GetLib(), "HexaPress");
    ASSERT_TRUE(proc);
    EXPECT_EQ(0, TCMS_ProcIsICCProc(proc));
    const TInkVector inks = TCMS_ProcGetInks(proc);
    ASSERT_EQ(6u, inks.size());
    EXPECT_EQ("Black", inks[3]->Name());
    EXPECT_EQ("SPECTRA Orange C", inks[4]->Name());
    EXPECT_FALSE(inks[4]->IsProcess());
    EXPECT_EQ(TIDB_GetInk(TCMS_GetLib(), "SPECTRA Solid Coated", "SPECTRA Orange C")->Lab(),
              inks[4]->Lab());
    int nrInks = 0;
    int nrSpot = 0;
    EXPECT_EQ(0, TCMSDB_ProcGetNrs(TCMS_GetLib(), "hexapress", &nrInks, nullptr));
    EXPECT_EQ(0, TCMSDB_ProcGetNrs(TCMS_GetLib(), "hexapress", nullptr, &nrSpot));
    EXPECT_EQ(6, nrInks);
    EXPECT_EQ(2, nrSpot);
}

TEST(CmsProcesses, ColorantTableNamesTheChannels) {
    ScratchDatabase scratch;
    scratch.Write("processes/named.icc", ProfileWithColorants({"Process Cyan", "Process Magenta",
                                                               "Process Yellow", "Process Black"}));
    OpenDatabase db(scratch.Folder());
    const TInkVector inks = TCMS_ProcGetInks(TCMS_ProcDBNew(TCMS_GetLib(), "named.icc"));
    ASSERT_EQ(4u, inks.size());
    EXPECT_EQ("Process Cyan", inks[0]->Name());
    EXPECT_EQ("Process Black", inks[3]->Name());
    EXPECT_EQ("", inks[0]->Book()) << "no ink book knows these process inks";
}

TEST(CmsProcesses, UnknownProcessLeavesTheCountsAlone) {
    OpenDatabase db(ExampleDatabase());
    EXPECT_FALSE(TCMS_ProcDBNew(TCMS_GetLib(), "nowhere.icc"));
    EXPECT_FALSE(TCMS_ProcDBNew(TCMS_GetLib(), nullptr));
    int nrInks = 7;
    int nrSpot = 7;
    EXPECT_EQ(-1, TCMSDB_ProcGetNrs(TCMS_GetLib(), "nowhere.icc", &nrInks, &nrSpot));
    EXPECT_EQ(7, nrInks);
    EXPECT_EQ(7, nrSpot);
    EXPECT_EQ(0, TCMS_ProcIsICCProc(nullptr));
    EXPECT_EQ(-1, TCMS_ProcGetNrInks(nullptr));
    EXPECT_TRUE(TCMS_ProcGetInks(nullptr).empty());
}

TEST(CmsProcesses, ChannelTakesTheBookOfTheFirstProcessInkOfItsName) {
    ScratchDatabase scratch;
    // Books load in file-name order; only process inks name a channel's book.
    scratch.Write("inkbooks/a.json", R"({"book": "First", "inks": [
        {"name": "CYAN", "lab": [55, -37, -50], "process": true},
        {"name": "Magenta", "lab": [48, 74, -3]}]})");
    scratch.Write("inkbooks/b.json", R"({"book": "Second", "inks": [
        {"name": "Cyan", "lab": [55, -37, -50], "process": true},
        {"name": "magenta", "lab": [48, 74, -3], "process": true}]})");
    scratch.AddProcess("coated.icc", DefaultCmyk());
    OpenDatabase db(scratch.Folder());
    const TInkVector inks = TCMS_ProcGetInks(TCMS_ProcDBNew(TCMS_GetLib(), "coated.icc"));
    ASSERT_EQ(4u, inks.size());
    EXPECT_EQ("First", inks[0]->Book());
    EXPECT_EQ("Second", inks[1]->Book());
    EXPECT_EQ("", inks[2]->Book());
}
