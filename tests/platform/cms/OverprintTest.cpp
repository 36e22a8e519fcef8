// How spot inks are laid over the process colour (OverprintModel.h) with the
// opacity of their ink book, and the registration ink (InkRules.h), checked
// against the model computed here from LittleCMS's colours.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>

#include "platform/cms/TInk.h"
#include "tests/platform/cms/CmsTestSupport.h"

using namespace cmstest;

namespace {

std::array<double, 3> Relative(const cmsCIEXYZ& xyz) {
    const cmsCIEXYZ* white = cmsD50_XYZ();
    return {{xyz.X / white->X, xyz.Y / white->Y, xyz.Z / white->Z}};
}

/// What the model gives for one process pixel of default_cmyk.icc with one
/// spot ink over it, on ps_cmyk.icc (relative colorimetric): the process
/// colour C (XYZ relative to the paper), the ink's colour r at full tint, then
/// C' = (1 - o) C ((1 - t) + t r) + o (C (1 - t) + t r).
std::vector<unsigned char> Expected(const std::array<unsigned char, 4>& process,
                                    const std::array<double, 3>& inkLab, double opacity,
                                    unsigned char tint) {
    rdz::cms::ProfileHandle source = OpenProfileFile(DefaultCmyk());
    rdz::cms::ProfileHandle destination = OpenProfileFile(PsCmyk());
    rdz::cms::ProfileHandle xyz(cmsCreateXYZProfile());
    rdz::cms::ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    rdz::cms::TransformHandle toXyz(cmsCreateTransform(
        source.get(), TYPE_CMYK_8, xyz.get(), TYPE_XYZ_DBL, INTENT_RELATIVE_COLORIMETRIC, 0));
    rdz::cms::TransformHandle toDestination(cmsCreateTransform(
        lab.get(), TYPE_Lab_DBL, destination.get(), TYPE_CMYK_8, INTENT_RELATIVE_COLORIMETRIC, 0));
    cmsCIEXYZ below;
    cmsDoTransform(toXyz.get(), process.data(), &below, 1);
    const cmsCIELab inkColour{inkLab[0], inkLab[1], inkLab[2]};
    cmsCIEXYZ inkXyz;
    cmsLab2XYZ(cmsD50_XYZ(), &inkXyz, &inkColour);
    const auto c = Relative(below);
    const auto r = Relative(inkXyz);
    const double t = tint / 255.0;
    double mixed[3];
    for (int i = 0; i < 3; ++i) {
        const double filtered = c[i] * ((1.0 - t) + t * r[i]);
        const double covered = c[i] * (1.0 - t) + t * r[i];
        mixed[i] = (1.0 - opacity) * filtered + opacity * covered;
    }
    const cmsCIEXYZ result{mixed[0] * cmsD50_XYZ()->X, mixed[1] * cmsD50_XYZ()->Y,
                           mixed[2] * cmsD50_XYZ()->Z};
    cmsCIELab resultLab;
    cmsXYZ2Lab(cmsD50_XYZ(), &resultLab, &result);
    std::vector<unsigned char> out(4);
    cmsDoTransform(toDestination.get(), &resultLab, out.data(), 1);
    return out;
}

std::shared_ptr<TColTransf> DefaultToPs() {
    return TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, "test", "default_cmyk.icc",
                             "ps_cmyk.icc", TCMS::ResolutionLow, TCMS::BlackGenerationNone,
                             TCMS::RelativeColorimetric, 0, nullptr, nullptr);
}

int MaxDifference(const std::vector<unsigned char>& a, const unsigned char* b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

}  // namespace

TEST(CmsOverprint, SpotInksMixWithTheOpacityOfTheirBook) {
    OpenDatabase db(ExampleDatabase());
    // A metallic of the example book (opacity 0.6), and an ink built from a
    // document's colour values, which has no book to say.
    const auto gold = TIDB_GetInk(TCMS_GetLib(), "SPECTRA Solid Coated", "SPECTRA Gold C");
    const auto sky =
        TIDB_GetColorInk(TCMS_GetLib(), "calibrator", {0.2, 0.6, 0.9}, 0.0, "Sky", nullptr, "");
    ASSERT_TRUE(gold && sky);
    ASSERT_DOUBLE_EQ(0.6, gold->Opacity());
    const std::array<std::array<unsigned char, 4>, 3> below{
        {{{0, 0, 0, 255}}, {{200, 40, 0, 0}}, {{0, 0, 0, 0}}}};
    const unsigned char tints[] = {255, 128, 40};

    for (const auto& spot : {gold, sky}) {
        for (double documentSays : {0.0, 1.0}) {
            SCOPED_TRACE(testing::Message()
                         << spot->Name() << ", document opacity " << documentSays);
            const auto strategy = DefaultToPs();
            TInkVector inks = ProcessInks();
            inks.push_back(spot);
            ASSERT_EQ(0, Prepare(strategy, inks, {0, 0, 0, 0, documentSays}));
            std::vector<unsigned char> row;
            for (const auto& process : below) {
                for (unsigned char tint : tints) {
                    row.insert(row.end(), process.begin(), process.end());
                    row.push_back(tint);
                }
            }
            const std::vector<unsigned char> out = ConvertRow(strategy, row, 5);
            // The book's opacity whatever the document says; the document's
            // for an ink without a book.
            const double opacity = spot == gold ? 0.6 : documentSays;
            std::size_t pixel = 0;
            for (const auto& process : below) {
                for (unsigned char tint : tints) {
                    const auto expected = Expected(process, spot->Lab(), opacity, tint);
                    EXPECT_LE(MaxDifference(expected, &out[pixel * 4]), 1)
                        << "process " << int(process[0]) << "/" << int(process[1]) << "/"
                        << int(process[2]) << "/" << int(process[3]) << " tint " << int(tint);
                    ++pixel;
                }
            }
        }
    }
}

TEST(CmsOverprint, RegistrationInkPrintsOnEveryProcessPlate) {
    OpenDatabase db(ExampleDatabase());
    // The registration ink as a document gives it: "All", black on screen.
    const auto all =
        TIDB_GetColorInk(TCMS_GetLib(), "calibrator", {0.0, 0.0, 0.0}, 0.0, "All", nullptr, "");
    const auto black = TIDB_GetColorInk(TCMS_GetLib(), "calibrator", {0.0, 0.0, 0.0}, 0.0,
                                        "Black Spot", nullptr, "");
    ASSERT_TRUE(all && black);

    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "Coated to Uncoated");
    TInkVector inks = ProcessInks();
    inks.push_back(all);
    inks.push_back(black);
    ASSERT_EQ(0, Prepare(strategy, inks));
    const std::vector<unsigned char> out =
        ConvertRow(strategy,
                   {
                       0,   0, 0, 0, 255, 0,    // registration
                       0,   0, 0, 0, 128, 0,    // at 50%
                       128, 0, 0, 0, 255, 0,    // over cyan
                       0,   0, 0, 0, 0,   255,  // a black spot ink
                   },
                   6);
    ASSERT_EQ(16u, out.size());
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(255, out[c]) << "channel " << c;
        EXPECT_EQ(128, out[4 + c]) << "channel " << c;
        EXPECT_EQ(255, out[8 + c]) << "channel " << c;
    }
    EXPECT_LT(out[15], 255) << "only the registration ink is every plate at 100%";

    // A destination with spot channels of its own: the process plates only.
    const auto hexa = TCMS_ColTransfDBNew(TCMS_GetLib(), "Digital Press Hexa");
    ASSERT_EQ(0, Prepare(hexa, {all}));
    const auto outputs = TCMS_ColTransfGetNamesOfOutputInks(hexa, false);
    const std::vector<unsigned char> plates = ConvertRow(hexa, {255}, 1);
    ASSERT_EQ(outputs.size(), plates.size());
    for (std::size_t c = 0; c < outputs.size(); ++c) {
        EXPECT_EQ(outputs[c].GetKind() == 0 ? 255 : 0, plates[c]) << outputs[c].GetInkNamePtr();
    }
}
