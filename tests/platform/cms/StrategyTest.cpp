// Color Strategies: look-up, import, settings, advanced items, output inks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include <lcms2.h>

#include "platform/cms/StandIn.h"
#include "platform/cms/TInk.h"
#include "tests/platform/cms/CmsTestSupport.h"

using namespace cmstest;

namespace {

std::shared_ptr<TColTransf> Strategy(const char* name) {
    return TCMS_ColTransfDBNew(TCMS_GetLib(), name);
}

std::vector<std::string> InkNames(const std::vector<TCMS::InkInfo>& infos) {
    std::vector<std::string> names;
    for (const auto& info : infos)
        names.emplace_back(info.GetInkNamePtr());
    return names;
}

std::vector<double> Values(const std::shared_ptr<TColTransf>& strategy, int index, int count) {
    std::vector<double> values(count, -1.0);
    EXPECT_EQ(0, TCMS_ColTransfAdvItemGetValues(strategy, index, values.data()));
    return values;
}

const TCMS::ColTransfProfileUpdateSettings kKeepAll{0, 0};

}  // namespace

TEST(CmsStrategies, SettingsComeFromTheStrategyFile) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = Strategy("Coated to Uncoated");
    ASSERT_TRUE(strategy);
    EXPECT_EQ(0, TCMS_ColTransfGetConvertOpaqueInks(strategy));
    EXPECT_NE(0, TCMS_ColTransfGetConvertUnregisteredInks(strategy));
    const char* src = nullptr;
    const char* dst = nullptr;
    EXPECT_EQ(0, TCMS_ColTransfGetSrcDstProfileNames(strategy, &src, &dst, true));
    EXPECT_STREQ("default_cmyk.icc", src);
    EXPECT_STREQ("ps_cmyk.icc", dst);
    EXPECT_NE(0, TCMS_ColTransfInkIsProcessInk(strategy, "Process", "cyan"));
    EXPECT_NE(0, TCMS_ColTransfInkIsProcessInk(strategy, "Unknown Book", "Black"));
    EXPECT_EQ(0,
              TCMS_ColTransfInkIsProcessInk(strategy, "SPECTRA Solid Coated", "SPECTRA Green C"));
    EXPECT_EQ(0, TCMS_ColTransfInkIsProcessInk(strategy, "Process", "Orange"));
    EXPECT_FALSE(Strategy("Nonexistent"));
}

TEST(CmsStrategies, EveryLookUpIsAnIndependentCopy) {
    OpenDatabase db(ExampleDatabase());
    const auto first = Strategy("Proof Rubine");
    const auto second = Strategy("proof rubine");
    const double values[4] = {1, 2, 3, 4};
    ASSERT_EQ(
        0, TCMS_ColTransfAdvItemChange(first, 0, nullptr, nullptr, 2, 4, values, nullptr, nullptr));
    EXPECT_EQ((std::vector<double>{1, 2, 3, 4}), Values(first, 0, 4));
    EXPECT_EQ((std::vector<double>{0, 120, 40, 0}), Values(second, 0, 4));
    EXPECT_EQ((std::vector<double>{0, 120, 40, 0}), Values(Strategy("Proof Rubine"), 0, 4));
}

TEST(CmsStrategies, AdvancedItemsAreReadByIndexAndFoundIgnoringCase) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = Strategy("Coated to Uncoated");
    ASSERT_EQ(3, TCMS_ColTransfAdvItemGetCount(strategy));
    char book[256];
    char ink[256];
    EXPECT_EQ(0, TCMS_ColTransfAdvItemGetBookName(strategy, 1, book));
    EXPECT_EQ(0, TCMS_ColTransfAdvItemGetInkName(strategy, 1, ink));
    EXPECT_STREQ("SPECTRA Solid Coated", book);
    EXPECT_STREQ("SPECTRA Reflex Blue C", ink);
    EXPECT_EQ(1, TCMS_ColTransfAdvItemGetInkIndex(strategy, "spectra reflex blue c",
                                                  "SPECTRA SOLID COATED"));
    EXPECT_EQ(-1, TCMS_ColTransfAdvItemGetInkIndex(strategy, "SPECTRA Reflex Blue C", "Technical"));
    EXPECT_EQ(-1, TCMS_ColTransfAdvItemGetInkIndex(strategy, nullptr, "Technical"));
    EXPECT_EQ(TCMS::InkOptionExplicitValues, TCMS_ColTransfAdvItemGetOption(strategy, 0));
    EXPECT_EQ(TCMS::InkOptionKeep, TCMS_ColTransfAdvItemGetOption(strategy, 1));
    EXPECT_EQ(TCMS::InkOptionAutomatic, TCMS_ColTransfAdvItemGetOption(strategy, 2));
    EXPECT_EQ(2, TCMS_ColTransfAdvItemGetOptionGUI(strategy, 0));
    EXPECT_EQ(1, TCMS_ColTransfAdvItemGetOptionGUI(strategy, 1));
    EXPECT_EQ((std::vector<double>{0, 85, 90, 0}), Values(strategy, 0, 4));

    std::strcpy(book, "stale");
    EXPECT_EQ(-1, TCMS_ColTransfAdvItemGetBookName(strategy, 3, book));
    EXPECT_STREQ("", book);
    EXPECT_EQ(-1, TCMS_ColTransfAdvItemGetOptionGUI(strategy, -1));
    EXPECT_EQ(-1, TCMS_ColTransfAdvItemGetValues(strategy, 0, nullptr));
    EXPECT_EQ(0, TCMS_ColTransfAdvItemGetCount(nullptr));
}

TEST(CmsStrategies, ChangingAnItemClipsValuesAndGuardsItsArguments) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = Strategy("Proof Rubine");
    ASSERT_EQ(0, TCMS_ColTransfAdvItemGetInkIndex(strategy, "SPECTRA Rubine Red C",
                                                  "SPECTRA Solid Coated"));
    const double clipped[4] = {0, 100, 40, 0};
    const int gui = TCMS_ColTransfAdvItemGetOptionGUI(strategy, 0);
    EXPECT_EQ(
        0, TCMS_ColTransfAdvItemChange(strategy, 0, "SPECTRA Rubine Red C", "SPECTRA Solid Coated",
                                       gui, 4, clipped, nullptr, nullptr));
    EXPECT_EQ((std::vector<double>{0, 100, 40, 0}), Values(strategy, 0, 4));
    EXPECT_EQ(TCMS::InkOptionExplicitValues, TCMS_ColTransfAdvItemGetOption(strategy, 0));

    const double five[5] = {1, 1, 1, 1, 1};
    const double negative[1] = {-1};
    EXPECT_EQ(-1, TCMS_ColTransfAdvItemChange(strategy, 0, nullptr, nullptr, 2, 5, five, nullptr,
                                              nullptr));
    EXPECT_EQ(-1, TCMS_ColTransfAdvItemChange(strategy, 0, nullptr, nullptr, 2, 1, negative,
                                              nullptr, nullptr));
    EXPECT_EQ(-1, TCMS_ColTransfAdvItemChange(strategy, 0, nullptr, nullptr, 3, 0, nullptr, nullptr,
                                              nullptr));
    EXPECT_EQ(-1,
              TCMS_ColTransfAdvItemChange(strategy, 5, "X", "Y", 0, 0, nullptr, nullptr, nullptr));
    // The ink of another item may not be taken twice.
    EXPECT_EQ(
        -1, TCMS_ColTransfAdvItemChange(strategy, 0, "spectra purple c", "SPECTRA Solid Coated", 2,
                                        0, nullptr, nullptr, nullptr));
    // Appending a new item at the end.
    const double two[2] = {10, 20};
    EXPECT_EQ(0, TCMS_ColTransfAdvItemChange(strategy, 2, "Dieline", "Technical", 2, 2, two,
                                             nullptr, nullptr));
    EXPECT_EQ(3, TCMS_ColTransfAdvItemGetCount(strategy));
    EXPECT_EQ((std::vector<double>{10, 20, 0, 0}), Values(strategy, 2, 4));
}

TEST(CmsStrategies, OutputInksListEveryChannelOrOnlyThePrintedOnes) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = Strategy("Digital Press Hexa");
    const auto all = TCMS_ColTransfGetNamesOfOutputInks(strategy, false);
    EXPECT_EQ((std::vector<std::string>{"Cyan", "Magenta", "Yellow", "Black", "SPECTRA Orange C",
                                        "SPECTRA Green C", "Dieline"}),
              InkNames(all));
    EXPECT_EQ(rdz::cms::kProcessChannel, all[0].GetKind());
    EXPECT_STREQ("Process", all[0].GetBookNamePtr());
    EXPECT_EQ(rdz::cms::kProcessSpotInk, all[4].GetKind());
    EXPECT_EQ(rdz::cms::kExtraOutputInk, all[6].GetKind());
    const auto printed = TCMS_ColTransfGetNamesOfOutputInks(strategy, true);
    EXPECT_EQ(6u, printed.size());
    EXPECT_TRUE(printed[5] == all[5]);

    std::vector<TCMS::InkInfo> extras;
    EXPECT_EQ(1, TCMS_ColTransfGetExtraOutputInksForCustomValues(strategy, &extras));
    ASSERT_EQ(1u, extras.size());
    EXPECT_TRUE(extras[0] == all[6]);
    EXPECT_EQ(1, TCMS_ColTransfGetExtraOutputInksForCustomValues(strategy, nullptr));
    EXPECT_EQ(-1, TCMS_ColTransfGetExtraOutputInksForCustomValues(nullptr, nullptr));
}

TEST(CmsStrategies, KeptInputInkBecomesAnOutputChannel) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = Strategy("Coated to Uncoated");
    TInkVector inks = ProcessInks();
    inks.push_back(TIDB_GetInk(TCMS_GetLib(), "SPECTRA Solid Coated", "SPECTRA Reflex Blue C"));
    EXPECT_EQ(4u, TCMS_ColTransfGetNamesOfOutputInks(strategy, false).size());
    EXPECT_EQ(0, TCMS_ColTransfInitOutputSpace(strategy, inks));
    const auto outputs = TCMS_ColTransfGetNamesOfOutputInks(strategy, false);
    ASSERT_EQ(5u, outputs.size());
    EXPECT_TRUE(outputs[4] ==
                TCMS::InkInfo("SPECTRA Solid Coated", "SPECTRA Reflex Blue C", rdz::cms::kKeptInk));
    EXPECT_EQ(5u, TCMS_ColTransfGetNamesOfOutputInks(strategy, true).size());
}

TEST(CmsStrategies, ProfileChangeKeepsWhatIsNotNamedAndCopiesTheNamesFirst) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = Strategy("Coated to Uncoated");
    const char* src = nullptr;
    const char* dst = nullptr;
    EXPECT_EQ(0, TCMS_ColTransfSetSrcDstProfiles(strategy, nullptr, "", TCMS::RecalculateAdvItemNo,
                                                 nullptr, nullptr, kKeepAll));
    EXPECT_EQ(0, TCMS_ColTransfGetSrcDstProfileNames(strategy, &src, &dst, false));
    EXPECT_STREQ("default_cmyk.icc", src);
    EXPECT_STREQ("ps_cmyk.icc", dst);

    // The destination name handed out by the strategy itself, as the
    // converter passes it when it maps the destination onto itself.
    dst = nullptr;
    TCMS_ColTransfGetSrcDstProfileNames(strategy, nullptr, &dst, true);
    EXPECT_EQ(0, TCMS_ColTransfSetSrcDstProfiles(strategy, dst, dst, TCMS::RecalculateAdvItemNo,
                                                 nullptr, nullptr, kKeepAll));
    EXPECT_EQ(0, TCMS_ColTransfGetSrcDstProfileNames(strategy, &src, &dst, true));
    EXPECT_STREQ("ps_cmyk.icc", src);
    EXPECT_STREQ("ps_cmyk.icc", dst);
    EXPECT_EQ(3, TCMS_ColTransfAdvItemGetCount(strategy));
    EXPECT_EQ((std::vector<double>{0, 85, 90, 0}), Values(strategy, 0, 4));

    EXPECT_EQ(-1, TCMS_ColTransfSetSrcDstProfiles(strategy, "nowhere.icc", nullptr,
                                                  TCMS::RecalculateAdvItemNo, nullptr, nullptr,
                                                  kKeepAll));
    EXPECT_EQ(0, TCMS_ColTransfGetSrcDstProfileNames(strategy, &src, nullptr, true));
    EXPECT_STREQ("ps_cmyk.icc", src);

    EXPECT_EQ(0, TCMS_ColTransfSetSrcDstProfiles(strategy, nullptr, "HexaPress",
                                                 TCMS::RecalculateAdvItemNo, nullptr, nullptr,
                                                 TCMS::ColTransfProfileUpdateSettings{1, 0}));
    EXPECT_EQ(0, TCMS_ColTransfAdvItemGetCount(strategy));
    EXPECT_EQ(0, TCMS_ColTransfSetDeviceLinkPolicy(strategy, TCMS::DeviceLinkPolicyProfiles,
                                                   nullptr, nullptr));
    EXPECT_EQ(-1, TCMS_ColTransfSetDeviceLinkPolicy(
                      strategy, static_cast<TCMS::ColTransfDeviceLinkPolicy>(7), nullptr, nullptr));
}

TEST(CmsStrategies, RecalculatedItemKeepsItsColourOnTheNewDestination) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = Strategy("Proof Rubine");  // ISOCoated_v2_eci.icc -> ps_cmyk.icc
    // Without recalculation the values stay with their channels' names.
    ASSERT_EQ(
        0, TCMS_ColTransfSetSrcDstProfiles(strategy, nullptr, "ISOCoated_v2_eci.icc",
                                           TCMS::RecalculateAdvItemNo, nullptr, nullptr, kKeepAll));
    const std::vector<double> before = Values(strategy, 1, 4);
    EXPECT_EQ((std::vector<double>{45, 100, 0, 5}), before);

    // Recalculated: the old values printed on the old destination, separated
    // again for the new one, as LittleCMS does it directly.
    int calls = 0;
    auto progress = [](void* context, int done, int total) {
        ++*static_cast<int*>(context);
        return done <= total ? 0 : 1;
    };
    ASSERT_EQ(0, TCMS_ColTransfSetSrcDstProfiles(strategy, nullptr, "ps_cmyk.icc",
                                                 TCMS::RecalculateAdvItemYes, progress, &calls,
                                                 kKeepAll));
    EXPECT_EQ(2, calls);
    const std::vector<double> after = Values(strategy, 1, 4);
    rdz::cms::ProfileHandle from = OpenProfileFile(DefaultCmyk());
    rdz::cms::ProfileHandle to = OpenProfileFile(PsCmyk());
    rdz::cms::TransformHandle direct(cmsCreateTransform(from.get(), TYPE_CMYK_16, to.get(),
                                                        TYPE_CMYK_16, INTENT_RELATIVE_COLORIMETRIC,
                                                        cmsFLAGS_NOCACHE));
    cmsUInt16Number in[4];
    cmsUInt16Number out[4];
    for (int c = 0; c < 4; ++c)
        in[c] = static_cast<cmsUInt16Number>(std::lround(before[c] * 655.35));
    cmsDoTransform(direct.get(), in, out, 1);
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(out[c] / 655.35, after[c], 0.01) << "channel " << c;
    EXPECT_NE(before, after);

    // A progress callback that says stop leaves the strategy as it was.
    const auto other = Strategy("Proof Rubine");
    auto stop = [](void*, int, int) { return 1; };
    EXPECT_EQ(
        -1, TCMS_ColTransfSetSrcDstProfiles(other, nullptr, "default_cmyk.icc",
                                            TCMS::RecalculateAdvItemYes, stop, nullptr, kKeepAll));
    const char* dst = nullptr;
    TCMS_ColTransfGetSrcDstProfileNames(other, nullptr, &dst, true);
    EXPECT_STREQ("ps_cmyk.icc", dst);
}

TEST(CmsStrategies, ExportedTextImportsIntoAnEmptyStrategy) {
    OpenDatabase db(ExampleDatabase());
    const std::string text = rdz::cms::ExportStrategy(Strategy("Digital Press Hexa"));
    ASSERT_GT(text.size(), 256u);
    const auto imported = TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeAny);
    ASSERT_TRUE(imported);
    EXPECT_TRUE(TCMS_ColTransfGetNamesOfOutputInks(imported, false).empty());
    EXPECT_EQ(-1, TCMS_ColTransfGetSrcDstProfileNames(imported, nullptr, nullptr, true));
    ASSERT_EQ(0, TCMS_ColTransfImportFromStream(imported, text.c_str()));
    EXPECT_EQ(3, TCMS_ColTransfAdvItemGetCount(imported));
    EXPECT_EQ(InkNames(TCMS_ColTransfGetNamesOfOutputInks(Strategy("Digital Press Hexa"), false)),
              InkNames(TCMS_ColTransfGetNamesOfOutputInks(imported, false)));
    EXPECT_EQ(rdz::cms::ExportStrategy(imported), text);

    EXPECT_EQ(-1, TCMS_ColTransfImportFromStream(imported, "{\"source\": 12"));
    EXPECT_EQ(-1, TCMS_ColTransfImportFromStream(imported, R"({"source": "nowhere.icc"})"));
    EXPECT_EQ(-1, TCMS_ColTransfImportFromStream(imported, nullptr));
    EXPECT_EQ(rdz::cms::ExportStrategy(imported), text) << "a failed import changes nothing";
    EXPECT_FALSE(rdz::cms::ConvertReport(imported).empty());
}

TEST(CmsStrategies, TwoProfileTransformWithoutDestinationKeepsTheSourceChannels) {
    OpenDatabase db(ExampleDatabase());
    const auto linear = TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, "reseparation",
                                          "ISOCoated_v2_eci.icc", nullptr, TCMS::ResolutionLow,
                                          TCMS::BlackGenerationNone, TCMS::RelativeColorimetric, 0,
                                          nullptr, nullptr);
    ASSERT_TRUE(linear);
    EXPECT_EQ((std::vector<std::string>{"Cyan", "Magenta", "Yellow", "Black"}),
              InkNames(TCMS_ColTransfGetNamesOfOutputInks(linear, false)));
    const char* src = nullptr;
    const char* dst = nullptr;
    EXPECT_EQ(0, TCMS_ColTransfGetSrcDstProfileNames(linear, &src, &dst, false));
    EXPECT_STREQ("ISOCoated_v2_eci.icc", dst);

    const char* names[] = {"C", "M", "Y", "K", nullptr};
    const auto renamed = TCMS_ColTransfNew(
        TCMS_GetLib(), TCMS::ColTransfTypeProfile, "x", "ps_cmyk.icc", "", TCMS::ResolutionHigh,
        TCMS::BlackGenerationKeep, TCMS::Perceptual, 0, names, nullptr);
    ASSERT_TRUE(renamed);
    EXPECT_EQ((std::vector<std::string>{"C", "M", "Y", "K"}),
              InkNames(TCMS_ColTransfGetNamesOfOutputInks(renamed, false)));
    EXPECT_NE(0, TCMS_ColTransfInkIsProcessInk(renamed, "", "k"));

    const char* three[] = {"C", "M", "Y", nullptr};
    EXPECT_FALSE(TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, "x", "ps_cmyk.icc",
                                   nullptr, TCMS::ResolutionLow, TCMS::BlackGenerationNone,
                                   TCMS::Perceptual, 0, three, nullptr));
    EXPECT_FALSE(TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, "x", "nowhere.icc",
                                   nullptr, TCMS::ResolutionLow, TCMS::BlackGenerationNone,
                                   TCMS::Perceptual, 0, nullptr, nullptr));
    EXPECT_FALSE(TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, "x", "ps_cmyk.icc",
                                   nullptr, TCMS::ResolutionLow, TCMS::BlackGenerationNone,
                                   static_cast<TCMS::RenderingIntent>(7), 0, nullptr, nullptr));
}
