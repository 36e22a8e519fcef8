// Pixel conversion through strategies, checked against LittleCMS applied
// directly.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

#include "platform/cms/StandIn.h"
#include "platform/cms/TInk.h"
#include "tests/platform/cms/CmsTestSupport.h"

using namespace cmstest;

namespace {

/// Every value of every channel once (the multipliers are odd, so each
/// channel runs through all 256 values), then random pixels.
std::vector<unsigned char> TestRow(int channels, int randomPixels) {
    std::vector<unsigned char> row;
    const int steps[] = {1, 255, 37, 101, 13, 7};
    for (int i = 0; i < 256; ++i) {
        for (int c = 0; c < channels; ++c)
            row.push_back(static_cast<unsigned char>(i * steps[c % 6]));
    }
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < randomPixels * channels; ++i)
        row.push_back(static_cast<unsigned char>(byte(random)));
    return row;
}

std::vector<unsigned char> Direct(const std::string& from, const std::string& to, int intent,
                                  cmsUInt32Number flags, const std::vector<unsigned char>& in) {
    rdz::cms::ProfileHandle src = OpenProfileFile(from);
    rdz::cms::ProfileHandle dst = OpenProfileFile(to);
    rdz::cms::TransformHandle t(
        cmsCreateTransform(src.get(), TYPE_CMYK_8, dst.get(), TYPE_CMYK_8, intent, flags));
    std::vector<unsigned char> out(in.size());
    cmsDoTransform(t.get(), in.data(), out.data(), static_cast<cmsUInt32Number>(in.size() / 4));
    return out;
}

int MaxDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

std::shared_ptr<TColTransf> Transform(const char* src, const char* dst,
                                      TCMS::RenderingIntent intent) {
    return TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, "test", src, dst,
                             TCMS::ResolutionLow, TCMS::BlackGenerationNone, intent, 0, nullptr,
                             nullptr);
}

std::shared_ptr<TInk> Spectra(const char* name) {
    return TIDB_GetInk(TCMS_GetLib(), "SPECTRA Solid Coated", name);
}

std::array<double, 3> LabOf(const std::vector<unsigned char>& cmyk, std::size_t pixel = 0) {
    return CmykToLab(PsCmyk(), {{cmyk[pixel * 4], cmyk[pixel * 4 + 1], cmyk[pixel * 4 + 2],
                                 cmyk[pixel * 4 + 3]}});
}

}  // namespace

TEST(CmsConversion, SameProfileOnBothSidesLeavesEveryPixelUnchanged) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "ISO Coated");
    ASSERT_EQ(0, Prepare(strategy, ProcessInks()));
    const std::vector<unsigned char> row = TestRow(4, 2000);
    EXPECT_EQ(row, ConvertRow(strategy, row, 4));

    // The inks in another order take the general path; the output is in the
    // destination's channel order.
    const TInkVector inks = ProcessInks();
    ASSERT_EQ(0, Prepare(strategy, {inks[3], inks[0], inks[1], inks[2]}));
    std::vector<unsigned char> expected(row.size());
    for (std::size_t p = 0; p < row.size(); p += 4) {
        expected[p] = row[p + 1];
        expected[p + 1] = row[p + 2];
        expected[p + 2] = row[p + 3];
        expected[p + 3] = row[p];
    }
    EXPECT_EQ(expected, ConvertRow(strategy, row, 4));
}

TEST(CmsConversion, CmykToCmykMatchesLittleCmsForEveryIntent) {
    OpenDatabase db(ExampleDatabase());
    const std::vector<unsigned char> row = TestRow(4, 4000);
    for (int intent = TCMS::Perceptual; intent <= TCMS::AbsoluteColorimetric; ++intent) {
        const auto transform = Transform("default_cmyk.icc", "ps_cmyk.icc",
                                         static_cast<TCMS::RenderingIntent>(intent));
        ASSERT_EQ(0, Prepare(transform, ProcessInks()));
        const auto expected = Direct(DefaultCmyk(), PsCmyk(), intent - 2, 0, row);
        EXPECT_LE(MaxDifference(expected, ConvertRow(transform, row, 4)), 1) << "intent " << intent;
    }
    // The stored strategy asks for black point compensation.
    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "Coated to Uncoated");
    ASSERT_EQ(0, Prepare(strategy, ProcessInks()));
    const auto expected = Direct(DefaultCmyk(), PsCmyk(), INTENT_RELATIVE_COLORIMETRIC,
                                 cmsFLAGS_BLACKPOINTCOMPENSATION, row);
    EXPECT_LE(MaxDifference(expected, ConvertRow(strategy, row, 4)), 1);
}

TEST(CmsConversion, SpotInkAtFullTintMatchesItsColourOnTheDestination) {
    // Colours inside the destination's gamut and within the 16-bit L*a*b*
    // encoding (ps_cmyk.icc's pure cyan + yellow lies beyond a* = -128).
    const std::array<std::array<unsigned char, 4>, 5> targets{{{{200, 30, 10, 0}},
                                                               {{20, 220, 180, 10}},
                                                               {{10, 40, 230, 0}},
                                                               {{90, 90, 90, 40}},
                                                               {{120, 60, 200, 20}}}};
    ScratchDatabase scratch;
    scratch.AddProcess("default_cmyk.icc", DefaultCmyk());
    scratch.AddProcess("ps_cmyk.icc", PsCmyk());
    std::ostringstream book;
    book << R"({"book": "Targets", "inks": [)";
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const auto lab = CmykToLab(PsCmyk(), targets[i]);
        book << (i ? "," : "") << R"({"name": "T)" << i << R"(", "lab": [)" << lab[0] << ","
             << lab[1] << "," << lab[2] << "]}";
    }
    book << "]}";
    scratch.Write("inkbooks/targets.json", book.str());
    scratch.Write("strategies/s.json",
                  R"({"type": 3, "source": "default_cmyk.icc", "destination": "ps_cmyk.icc"})");
    OpenDatabase db(scratch.Folder());
    ASSERT_TRUE(rdz::cms::LoadErrors().empty());

    for (std::size_t i = 0; i < targets.size(); ++i) {
        const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "s");
        const auto ink = TIDB_GetInk(TCMS_GetLib(), "Targets", ("T" + std::to_string(i)).c_str());
        ASSERT_EQ(0, Prepare(strategy, {ink}));
        const auto out = ConvertRow(strategy, {255}, 1);
        EXPECT_LT(DeltaE2000(ink->Lab(), LabOf(out)), 2.0) << "target " << i;
    }
}

TEST(CmsConversion, ExplicitValuesScaleByTintAndRoundHalfAwayFromZero) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "Proof Rubine");
    // Rubine Red: 0, 120, 40, 0; Purple: 45, 100, 0, 5.
    ASSERT_EQ(0, Prepare(strategy, {Spectra("SPECTRA Rubine Red C"), Spectra("SPECTRA Purple C")}));
    const double rubine[4] = {0, 120, 40, 0};
    const double purple[4] = {45, 100, 0, 5};
    std::vector<unsigned char> row;
    const int tints[][2] = {{0, 0},   {255, 0}, {128, 0}, {77, 0},  {1, 0},
                            {0, 255}, {0, 10},  {0, 51},  {100, 60}};
    for (const auto& t : tints) {
        row.push_back(static_cast<unsigned char>(t[0]));
        row.push_back(static_cast<unsigned char>(t[1]));
    }
    const auto out = ConvertRow(strategy, row, 2);
    for (std::size_t p = 0; p < std::size(tints); ++p) {
        for (int c = 0; c < 4; ++c) {
            const double exact = (rubine[c] * tints[p][0] + purple[c] * tints[p][1]) / 100.0;
            const int expected = std::min(255, static_cast<int>(std::floor(exact + 0.5)));
            EXPECT_EQ(expected, out[p * 4 + c]) << "pixel " << p << " channel " << c;
        }
    }
}

TEST(CmsConversion, SpotInksFilterOrCoverWhatLiesBelow) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "Coated to Uncoated");
    TInkVector inks = ProcessInks();
    inks.push_back(Spectra("SPECTRA Process Blue C"));
    inks.push_back(Spectra("SPECTRA Opaque White C"));
    ASSERT_EQ(0, TCMS_ColTransfInitConvert(strategy, inks, nullptr, 0, 0, 255, 4, 0, 255, 1, 0, {},
                                           {}, nullptr, nullptr, nullptr, false));
    const auto out = ConvertRow(strategy,
                                {
                                    60, 0, 80, 0,   0,   0,    // process only
                                    60, 0, 80, 0,   0,   0,    // the same, spot ink at 0%
                                    60, 0, 80, 0,   255, 0,    // transparent blue over it
                                    0,  0, 0,  255, 0,   255,  // opaque white over black
                                    0,  0, 0,  255, 255, 255,  // blue, then white on top
                                },
                                6);
    const auto process = Direct(DefaultCmyk(), PsCmyk(), INTENT_RELATIVE_COLORIMETRIC,
                                cmsFLAGS_BLACKPOINTCOMPENSATION, {60, 0, 80, 0});
    EXPECT_LE(MaxDifference(process, {out.begin(), out.begin() + 4}), 1);
    EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 4),
              std::vector<unsigned char>(out.begin() + 4, out.begin() + 8));
    EXPECT_LT(LabOf(out, 2)[0], LabOf(out, 0)[0] - 5.0) << "the blue filter darkens";
    EXPECT_LT(LabOf(out, 2)[0], Spectra("SPECTRA Process Blue C")->Lab()[0]);
    const auto white = Spectra("SPECTRA Opaque White C")->Lab();
    EXPECT_LT(DeltaE2000(white, LabOf(out, 3)), 6.0) << "white covers black";
    EXPECT_LT(DeltaE2000(white, LabOf(out, 4)), 6.0) << "the last ink laid down is on top";
}

TEST(CmsConversion, KeptInkPassesThroughAndLeavesTheProcessColourAlone) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "Coated to Uncoated");
    TInkVector inks = ProcessInks();
    inks.push_back(Spectra("SPECTRA Reflex Blue C"));
    ASSERT_EQ(0, Prepare(strategy, inks));
    const auto out =
        ConvertRow(strategy, {10, 20, 30, 40, 0, 10, 20, 30, 40, 173, 0, 0, 0, 0, 255}, 5);
    ASSERT_EQ(15u, out.size());
    EXPECT_EQ(0, out[4]);
    EXPECT_EQ(173, out[9]);
    EXPECT_EQ(255, out[14]);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 4, out.begin() + 5));
}

TEST(CmsConversion, SampleNeedsConvertOnlyForInksTheStrategyChanges) {
    OpenDatabase db(ExampleDatabase());
    TInkVector inks = ProcessInks();
    inks.push_back(Spectra("SPECTRA Warm Red C"));
    inks.push_back(Spectra("SPECTRA Reflex Blue C"));
    const int processOnly[6] = {1, 1, 1, 1, 0, 0};
    const int spot[6] = {0, 0, 0, 0, 1, 0};
    const int kept[6] = {0, 0, 0, 0, 0, 1};

    const auto same = TCMS_ColTransfDBNew(TCMS_GetLib(), "ISO Coated");
    EXPECT_EQ(-1, TCMS_ColTransfSampleNeedsConvert(same, processOnly)) << "not prepared";
    ASSERT_EQ(0, Prepare(same, inks));
    EXPECT_EQ(0, TCMS_ColTransfSampleNeedsConvert(same, processOnly));
    EXPECT_GT(TCMS_ColTransfSampleNeedsConvert(same, spot), 0);
    EXPECT_GT(TCMS_ColTransfSampleNeedsConvert(same, kept), 0) << "no item keeps it here";
    EXPECT_EQ(-1, TCMS_ColTransfSampleNeedsConvert(same, nullptr));

    const auto other = TCMS_ColTransfDBNew(TCMS_GetLib(), "Coated to Uncoated");
    ASSERT_EQ(0, Prepare(other, inks));
    EXPECT_GT(TCMS_ColTransfSampleNeedsConvert(other, processOnly), 0);
    EXPECT_EQ(0, TCMS_ColTransfSampleNeedsConvert(other, kept));
    EXPECT_EQ(0, TCMS_ColTransfEndConvert(other, false));
    EXPECT_EQ(-1, TCMS_ColTransfSampleNeedsConvert(other, kept));
}

TEST(CmsConversion, InksItCannotConvertContributeNothingAndAreReported) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "ISO Coated");
    const TInkVector c = ProcessInks();
    ASSERT_EQ(0, Prepare(strategy, {c[0], nullptr, c[1], c[0]}));
    const auto report = rdz::cms::ConvertReport(strategy);
    ASSERT_EQ(2u, report.size());
    EXPECT_EQ("input channel 1 has no CMS ink: it is not converted", report[0]);
    EXPECT_EQ("input channel 3 (Cyan) is a second ink for source channel Cyan: it is not converted",
              report[1]);
    EXPECT_EQ((std::vector<unsigned char>{50, 60, 0, 0, 50, 60, 0, 0}),
              ConvertRow(strategy, {50, 0, 60, 0, 50, 255, 60, 255}, 4));
}

TEST(CmsConversion, RefusedPreparationLeavesNothingToConvert) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "Coated to Uncoated");
    const TInkVector inks = ProcessInks();
    unsigned char in[4] = {1, 2, 3, 4};
    unsigned char out[8] = {0};
    auto init = [&](int nrInputs, int inMin, int inMax, int nrOutputs, int aligned) {
        return TCMS_ColTransfInitConvert(strategy, inks, nullptr, nrInputs, inMin, inMax, nrOutputs,
                                         0, 255, aligned, 0, {}, {}, nullptr, nullptr, nullptr,
                                         false);
    };
    EXPECT_EQ(-1, init(4, 0, 255, 5, 1)) << "one output channel too many";
    EXPECT_EQ(-1, TCMS_ColTransfConvertAligned(strategy, in, out, 1));
    EXPECT_EQ(-1, init(3, 0, 255, 4, 1)) << "fewer channels than inks";
    EXPECT_EQ(-1, init(4, 0, 255, 4, 0)) << "planar rows";
    EXPECT_EQ(-1, init(4, 7, 7, 4, 1)) << "an empty range";
    EXPECT_EQ(-1, init(4, 0, 256, 4, 1));
    ASSERT_EQ(0, init(4, 0, 255, 4, 1));
    EXPECT_EQ(0, TCMS_ColTransfConvertAligned(strategy, in, out, 0));
    EXPECT_EQ(-1, TCMS_ColTransfConvertAligned(strategy, nullptr, out, 1));
    EXPECT_EQ(-1, TCMS_ColTransfConvertAligned(strategy, in, out, -1));
    EXPECT_EQ(-1, TCMS_ColTransfConvertAligned(nullptr, in, out, 1));

    auto stop = [](void*, int, int) { return 1; };
    EXPECT_EQ(-1, TCMS_ColTransfInitConvert(strategy, inks, nullptr, 4, 0, 255, 4, 0, 255, 1, 0,
                                            stop, {}, nullptr, nullptr, nullptr, false));
    EXPECT_EQ(-1, TCMS_ColTransfConvertAligned(strategy, in, out, 1));

    const auto empty = TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeOrvex);
    EXPECT_EQ(-1, TCMS_ColTransfInitConvert(empty, inks, nullptr, 4, 0, 255, 0, 0, 255, 1, 0, {},
                                            {}, nullptr, nullptr, nullptr, false));
}

TEST(CmsConversion, ValueRangesMapInputAndOutput) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "ISO Coated");
    ASSERT_EQ(0, TCMS_ColTransfInitConvert(strategy, ProcessInks(), nullptr, 4, 255, 0, 4, 0, 255,
                                           1, 0, {}, {}, nullptr, nullptr, nullptr, false));
    const std::vector<unsigned char> row = TestRow(4, 10);
    std::vector<unsigned char> expected(row);
    for (auto& v : expected)
        v = static_cast<unsigned char>(255 - v);
    EXPECT_EQ(expected, ConvertRow(strategy, row, 4));
    const int all[4] = {1, 1, 1, 1};
    EXPECT_GT(TCMS_ColTransfSampleNeedsConvert(strategy, all), 0);
}

TEST(CmsConversion, AlternativeConversionFunctionTakesThePixels) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "ISO Coated");
    int calls = 0;
    auto fill = [](void* context, const unsigned char*, unsigned char* out, int n) {
        ++*static_cast<int*>(context);
        std::fill(out, out + 4 * n, 9);
        return 0;
    };
    ASSERT_EQ(0, TCMS_ColTransfInitConvert(strategy, ProcessInks(), nullptr, 4, 0, 255, 4, 0, 255,
                                           1, 0, {}, {}, nullptr, &calls, fill, false));
    EXPECT_EQ((std::vector<unsigned char>{9, 9, 9, 9}), ConvertRow(strategy, {1, 2, 3, 4}, 4));
    EXPECT_EQ(1, calls);
}
