// Ink saving at 300% total ink on default_cmyk.icc, purposes 3 and 4 with
// the option defaults, measured on a grid of 65,536 CMYK pixels through
// LittleCMS (InkSavingReference.h) and against ArgyllCMS's collink on the
// same grid.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "tests/platform/cms/InkSavingReference.h"
#include "tests/platform/cms/LinkTestSupport.h"

using namespace cmstest;

namespace {

constexpr int kLimitPercent = 300;

void Print(const char* tool, const InkFigures& f) {
    std::printf(
        "%-30s saves %5.2f points (%.1f%% -> %.1f%%), CIEDE2000 mean %.3f p95 %.3f max "
        "%.2f, most ink %d/255\n",
        tool, f.Saved(), f.inkBefore, f.inkAfter, f.meanDeltaE, f.p95DeltaE, f.maxDeltaE,
        f.maxTotal);
}

}  // namespace

/// The two links, made once for every test of the suite.
class CmsInkSavingAt300 : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<LinkDatabase>();
        OpenDatabase db(folder_->Folder());
        for (const auto purpose : {TCMS::BlackGenModeInkSaving, TCMS::BlackGenModeHeavy}) {
            // As the profile converter passes total ink 3.0 (300%) and the
            // defaults of the other settings (start 0, maximum 100, range 50).
            Store(TCMS_ProcLinkGCRNew(
                      TCMS_GetLib(), kProduct, Process("default_cmyk.icc"),
                      InkSavingPar(purpose, 1.0 - 0.25 * 3.0, 1.0 - 0.0, 1.0 - 100.0, 50.0)),
                  "purpose" + std::to_string(purpose));
        }
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::string Link(int purpose) {
        return folder_->LinkFolder() + "/purpose" + std::to_string(purpose) + ".icc";
    }
    static InkFigures Measure(const std::string& link) {
        InkFigures figures;
        std::string error;
        EXPECT_TRUE(MeasureLink(link, DefaultCmyk(), CmykGrid(), &figures, &error)) << error;
        return figures;
    }

    static std::unique_ptr<LinkDatabase> folder_;
};

std::unique_ptr<LinkDatabase> CmsInkSavingAt300::folder_;

TEST_F(CmsInkSavingAt300, KeepsColoursAndGreysAndNeverExceedsTheLimitIn8Bits) {
    for (int purpose : {3, 4}) {
        SCOPED_TRACE(testing::Message() << "purpose " << purpose);
        const InkFigures f = Measure(Link(purpose));
        Print(purpose == 3 ? "purpose 3" : "purpose 4", f);
        EXPECT_LE(f.meanDeltaE, 0.30);
        EXPECT_LE(f.p95DeltaE, 0.60);
        EXPECT_LE(f.maxTotal, 765);
        EXPECT_GT(f.Saved(), 20.0);
    }

    // Along the neutral axis black rises and greys stay grey: neutral greys
    // from paper to L* 20, in 16 bits, so that the link's table is seen
    // without 8-bit steps.
    const int count = 256;
    const std::vector<unsigned short> greys = NeutralGreys(DefaultCmyk(), count, 20.0);
    ASSERT_EQ(static_cast<std::size_t>(count) * 4, greys.size());
    rdz::cms::ProfileHandle profile = OpenProfileFile(DefaultCmyk());
    rdz::cms::ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    rdz::cms::TransformHandle toLab(cmsCreateTransform(
        profile.get(), TYPE_CMYK_16, lab.get(), TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0));
    std::vector<cmsCIELab> before(count);
    cmsDoTransform(toLab.get(), greys.data(), before.data(), count);
    for (const cmsCIELab& grey : before)
        ASSERT_LT(std::hypot(grey.a, grey.b), 0.2) << "the test's greys are neutral";

    for (int purpose : {3, 4}) {
        SCOPED_TRACE(testing::Message() << "purpose " << purpose);
        rdz::cms::ProfileHandle link = OpenProfileFile(Link(purpose));
        rdz::cms::TransformHandle apply(cmsCreateTransform(
            link.get(), TYPE_CMYK_16, nullptr, TYPE_CMYK_16, INTENT_RELATIVE_COLORIMETRIC, 0));
        ASSERT_TRUE(apply != nullptr);
        std::vector<unsigned short> out(greys.size());
        cmsDoTransform(apply.get(), greys.data(), out.data(), count);
        std::vector<cmsCIELab> after(count);
        cmsDoTransform(toLab.get(), out.data(), after.data(), count);
        double chroma = 0.0;
        for (int i = 0; i < count; ++i) {
            chroma = std::max(chroma, std::hypot(after[i].a, after[i].b));
            if (i > 0) {
                EXPECT_GE(out[i * 4 + 3], out[(i - 1) * 4 + 3]) << "L* " << before[i].L;
            }
        }
        EXPECT_LE(chroma, 1.0);
        EXPECT_GT(out[(count - 1) * 4 + 3], greys[(count - 1) * 4 + 3]) << "more black than before";
        std::printf("purpose %d: neutral axis C* at most %.2f, black %.0f%% at L* 50\n", purpose,
                    chroma, out[(count * 5 / 8) * 4 + 3] / 655.35);
    }
}

TEST_F(CmsInkSavingAt300, SavesAtLeastAsMuchInkAsCollink) {
    if (!CollinkAvailable()) {
        GTEST_SKIP() << "collink is not installed (Debian package argyll, see "
                        "scripts/install-deps.sh): no reference to compare with";
    }
    std::string error;
    const std::vector<std::string> reference =
        CollinkLinks(DefaultCmyk(), {"p 0 0 1 1 1", "x"}, kLimitPercent, RDZ_COLLINK_CACHE, &error);
    ASSERT_EQ(2u, reference.size()) << error;
    const InkFigures ramp = Measure(reference[0]);
    const InkFigures most = Measure(reference[1]);
    const InkFigures saving = Measure(Link(3));
    const InkFigures heavy = Measure(Link(4));
    Print("collink -kp 0 0 1 1 1 -l300", ramp);
    Print("purpose 3", saving);
    Print("collink -kx -l300", most);
    Print("purpose 4", heavy);
    EXPECT_GE(saving.Saved(), ramp.Saved());
    EXPECT_GE(heavy.Saved(), most.Saved());
}
