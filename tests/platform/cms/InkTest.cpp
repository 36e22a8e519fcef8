// Ink look-ups, inks built from colour values, display names and InkInfo.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/cms/TInk.h"
#include "tests/platform/cms/CmsTestSupport.h"

using namespace cmstest;

namespace {

/// sRGB to L*a*b* straight through LittleCMS, to check the built inks by.
std::array<double, 3> SrgbLab(double r, double g, double b) {
    rdz::cms::ProfileHandle srgb(cmsCreate_sRGBProfile());
    rdz::cms::ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    rdz::cms::TransformHandle t(cmsCreateTransform(srgb.get(), TYPE_RGB_DBL, lab.get(),
                                                   TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0));
    const double rgb[3] = {r, g, b};
    cmsCIELab out{};
    cmsDoTransform(t.get(), rgb, &out, 1);
    return {{out.L, out.a, out.b}};
}

void ExpectLab(const std::array<double, 3>& expected, const std::array<double, 3>& actual) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(expected[i], actual[i], 1e-6) << "component " << i;
}

}  // namespace

TEST(CmsInks, BookInkIsFoundIgnoringCaseAndNamedAsTheDatabaseSpellsIt) {
    OpenDatabase db(ExampleDatabase());
    const auto ink = TIDB_GetInk(TCMS_GetLib(), "spectra SOLID coated", "spectra warm red c");
    ASSERT_TRUE(ink);
    const char* book = nullptr;
    const char* name = nullptr;
    EXPECT_EQ(0, TInk_GetName(ink, &book, &name));
    EXPECT_STREQ("SPECTRA Solid Coated", book);
    EXPECT_STREQ("SPECTRA Warm Red C", name);
    EXPECT_EQ("Warm Red C", ink->DisplayName());
    EXPECT_EQ("Spectra Solid Coated", ink->BookDisplayName());
    ExpectLab({{55.0, 66.0, 56.0}}, ink->Lab());
    EXPECT_FALSE(ink->IsProcess());
    EXPECT_TRUE(TIDB_GetInk(TCMS_GetLib(), "Process", "Cyan")->IsProcess());
    EXPECT_DOUBLE_EQ(
        1.0,
        TIDB_GetInk(TCMS_GetLib(), "SPECTRA Solid Coated", "SPECTRA Opaque White C")->Opacity());

    EXPECT_FALSE(TIDB_GetInk(TCMS_GetLib(), "Technical", "SPECTRA Warm Red C"));
    EXPECT_FALSE(TIDB_GetInk(TCMS_GetLib(), nullptr, "Cyan"));
    EXPECT_FALSE(TIDB_GetInk(TCMS_GetLib(), "Process", nullptr));
    EXPECT_FALSE(TIDB_GetInk(nullptr, "Process", "Cyan"));
    EXPECT_EQ(-1, TInk_GetName(nullptr, &book, &name));
}

TEST(CmsInks, CalibratorInkIsItsRgbReadAsSrgb) {
    std::string message;
    const auto ink =
        TIDB_GetColorInk(TCMS_GetLib(), "calibrator", {0.2, 0.5, 0.9}, 1.0, "Sky", &message, "");
    ASSERT_TRUE(ink);
    ExpectLab(SrgbLab(0.2, 0.5, 0.9), ink->Lab());
    EXPECT_EQ("Sky", ink->Name());
    EXPECT_EQ("", ink->Book());
    EXPECT_DOUBLE_EQ(1.0, ink->Opacity());
    EXPECT_FALSE(ink->IsProcess());
    EXPECT_EQ("calibrator", ink->ColorSpace());
    EXPECT_EQ((std::vector<double>{0.2, 0.5, 0.9}), ink->SourceValues());
    EXPECT_FALSE(message.empty());
}

TEST(CmsInks, CromOffsInkIsTheComplementOfItsCoverages) {
    // 0.75, 1.0, 0.0, 0.5 are 25% cyan, no magenta, full yellow, 50% black.
    const auto ink = TIDB_GetColorInk(nullptr, "crom_offs", {0.75, 1.0, 0.0, 0.5}, 0.0, "Olive",
                                      nullptr, "Doc Book");
    ASSERT_TRUE(ink);
    ExpectLab(SrgbLab(0.375, 0.5, 0.0), ink->Lab());
    EXPECT_EQ("Doc Book", ink->Book());
    EXPECT_DOUBLE_EQ(0.0, ink->Opacity());
}

TEST(CmsInks, ColorInkRefusesWhatItCannotRead) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::string message;
    EXPECT_FALSE(TIDB_GetColorInk(nullptr, "calibrator", {0.1, 0.2}, 0.0, "X", &message, ""));
    EXPECT_EQ("\"calibrator\" takes 3 values, got 2", message);
    EXPECT_FALSE(TIDB_GetColorInk(nullptr, "crom_offs", {0.1, 0.2, 0.3}, 0.0, "X", &message, ""));
    EXPECT_FALSE(TIDB_GetColorInk(nullptr, "lab", {50, 0, 0}, 0.0, "X", &message, ""));
    EXPECT_FALSE(TIDB_GetColorInk(nullptr, "calibrator", {0.1, nan, 0.3}, 0.0, "X", &message, ""));
    EXPECT_FALSE(TIDB_GetColorInk(nullptr, "calibrator", {0.1, 0.2, 0.3}, nan, "X", nullptr, ""));
    EXPECT_FALSE(
        TIDB_GetColorInk(nullptr, "calibrator", {0.1, 0.2, 0.3}, 0.0, nullptr, nullptr, ""));
    EXPECT_FALSE(TIDB_GetColorInk(nullptr, nullptr, {0.1, 0.2, 0.3}, 0.0, "X", nullptr, ""));

    const auto clamped =
        TIDB_GetColorInk(nullptr, "calibrator", {1.5, -0.2, 0.5}, 2.0, "X", &message, "");
    ASSERT_TRUE(clamped);
    ExpectLab(SrgbLab(1.0, 0.0, 0.5), clamped->Lab());
    EXPECT_DOUBLE_EQ(1.0, clamped->Opacity());
    EXPECT_NE(std::string::npos, message.find("clamped"));
}

TEST(CmsInks, DisplayNamesFallBackToTheNameAndNeverOverrunTheBuffer) {
    OpenDatabase db(ExampleDatabase());
    char buffer[300];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(0, TIDB_ZQNameToGUINameOfBook(TCMS_GetLib(), "process", buffer));
    EXPECT_STREQ("Process Colors", buffer);
    EXPECT_EQ(0, TIDB_ZQNameToGUINameOfInk(TCMS_GetLib(), "Technical", "DIELINE", buffer));
    EXPECT_STREQ("Die Line", buffer);
    EXPECT_EQ(0, TIDB_ZQNameToGUINameOfBook(TCMS_GetLib(), "Unknown Book", buffer));
    EXPECT_STREQ("Unknown Book", buffer);
    EXPECT_EQ(0, TIDB_ZQNameToGUINameOfInk(TCMS_GetLib(), "Technical", "Unknown Ink", buffer));
    EXPECT_STREQ("Unknown Ink", buffer);

    // 254 ASCII bytes and a two-byte character: the character does not fit
    // whole and is left out rather than cut.
    std::memset(buffer, 'x', sizeof buffer);
    const std::string longName = std::string(254, 'a') + "\xC3\xA9" + std::string(40, 'b');
    EXPECT_EQ(0, TIDB_ZQNameToGUINameOfInk(TCMS_GetLib(), "No Book", longName.c_str(), buffer));
    EXPECT_EQ(std::string(254, 'a'), std::string(buffer));
    EXPECT_EQ('x', buffer[256]);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(0, TIDB_ZQNameToGUINameOfBook(TCMS_GetLib(), std::string(400, 'c').c_str(), buffer));
    EXPECT_EQ(255u, std::strlen(buffer));
    EXPECT_EQ('x', buffer[256]);

    EXPECT_EQ(-1, TIDB_ZQNameToGUINameOfBook(TCMS_GetLib(), nullptr, buffer));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(-1, TIDB_ZQNameToGUINameOfInk(TCMS_GetLib(), "Process", "Cyan", nullptr));
}

TEST(CmsInks, InkInfoEqualityNeedsTheKindAndIgnoresCase) {
    const TCMS::InkInfo a("Process", "Cyan", 0);
    EXPECT_TRUE(a.NameEquals(TCMS::InkInfo("PROCESS", "cyan", 3)));
    EXPECT_FALSE(a == TCMS::InkInfo("PROCESS", "cyan", 3));
    EXPECT_TRUE(a == TCMS::InkInfo("process", "CYAN", 0));
    EXPECT_TRUE(a != TCMS::InkInfo("Other", "Cyan", 0));
    EXPECT_FALSE(a.NameEquals(TCMS::InkInfo("Process", "Cyan 2", 0)));
    const TCMS::InkInfo empty;
    EXPECT_STREQ("", empty.GetInkNamePtr());
    EXPECT_STREQ("", empty.GetBookNamePtr());
    EXPECT_EQ(0, empty.GetKind());
}

TEST(CmsInks, ColorInkTakesAnyNameTheDocumentGivesIt) {
    // A document ink with a tab, a newline or a terminal command in its name
    // is still an ink on the press: it gets its CMS ink like any other.
    for (const char* name :
         {"My\tSpot", "x\nINFO: Wrote /etc/shadow", "\x1b[31mRed", "\x7f", "Gr\xfcn"}) {
        std::string message;
        const auto ink =
            TIDB_GetColorInk(nullptr, "calibrator", {0.5, 0.2, 0.1}, 0.0, name, &message, "");
        ASSERT_TRUE(ink) << message;
        EXPECT_EQ(name, ink->Name());
        ExpectLab(SrgbLab(0.5, 0.2, 0.1), ink->Lab());
    }
    const std::string longName(1000, 'L');
    const auto ink = TIDB_GetColorInk(nullptr, "crom_offs", {1.0, 1.0, 1.0, 1.0}, 1.0,
                                      longName.c_str(), nullptr, "");
    ASSERT_TRUE(ink);
    EXPECT_EQ(longName, ink->Name());
}
