// Ink-saving links (grey-component replacement under a total-ink limit) and
// the GCR parameter sets, checked through LittleCMS applied to the stored
// profiles.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <limits>

#include "platform/cms/StandIn.h"
#include "platform/cms/TProcLinkGCRPar.h"
#include "tests/platform/cms/LinkTestSupport.h"

using namespace cmstest;

namespace {

struct Node {
    std::array<float, 4> in;
    std::array<float, 4> out;
};

/// Every grid node of a stored CMYK link (percent), evaluated by LittleCMS
/// in floating point without precalculation: the node values themselves.
std::vector<Node> Nodes(const std::string& icc, int grid) {
    rdz::cms::ProfileHandle link = OpenProfileFile(icc);
    rdz::cms::TransformHandle t(cmsCreateTransform(link.get(), TYPE_CMYK_FLT, nullptr,
                                                   TYPE_CMYK_FLT, INTENT_RELATIVE_COLORIMETRIC,
                                                   cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE));
    std::vector<Node> nodes;
    if (!t)
        return nodes;
    const float step = 100.0f / static_cast<float>(grid - 1);
    for (int c = 0; c < grid; ++c)
        for (int m = 0; m < grid; ++m)
            for (int y = 0; y < grid; ++y)
                for (int k = 0; k < grid; ++k)
                    nodes.push_back({{{c * step, m * step, y * step, k * step}}, {}});
    for (Node& node : nodes)
        cmsDoTransform(t.get(), node.in.data(), node.out.data(), 1);
    return nodes;
}

std::vector<std::array<double, 3>> Labs(const std::string& profile,
                                        const std::vector<std::array<float, 4>>& cmyk) {
    rdz::cms::ProfileHandle device = OpenProfileFile(profile);
    rdz::cms::ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    rdz::cms::TransformHandle t(cmsCreateTransform(device.get(), TYPE_CMYK_FLT, lab.get(),
                                                   TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                                   cmsFLAGS_NOCACHE));
    std::vector<std::array<double, 3>> result(cmyk.size());
    cmsDoTransform(t.get(), cmyk.data(), result.data(), static_cast<cmsUInt32Number>(cmyk.size()));
    return result;
}

float Sum(const std::array<float, 4>& v) {
    return v[0] + v[1] + v[2] + v[3];
}

struct Quality {
    float maxSum = 0;
    double meanDeltaE = 0;  // over nodes whose own total ink is within the limit
    int greysWithMoreBlack = 0;
    int greys = 0;
};

Quality Measure(const std::string& icc, const std::string& profile, int grid, float limit) {
    const std::vector<Node> nodes = Nodes(icc, grid);
    std::vector<std::array<float, 4>> in, out;
    for (const Node& node : nodes) {
        in.push_back(node.in);
        out.push_back(node.out);
    }
    const auto before = Labs(profile, in);
    const auto after = Labs(profile, out);
    Quality q;
    int within = 0;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        q.maxSum = std::max(q.maxSum, Sum(nodes[i].out));
        if (Sum(nodes[i].in) <= limit + 0.01f) {
            q.meanDeltaE += DeltaE2000(before[i], after[i]);
            ++within;
        }
        const auto& v = nodes[i].in;
        if (v[0] == v[1] && v[1] == v[2] && v[0] >= 25.0f && v[3] == 0.0f) {
            ++q.greys;
            const auto& o = nodes[i].out;
            if (o[3] > v[3] + 1.0f && o[0] + o[1] + o[2] < v[0] + v[1] + v[2] - 1.0f)
                ++q.greysWithMoreBlack;
        }
    }
    q.meanDeltaE /= std::max(within, 1);
    return q;
}

}  // namespace

TEST(CmsInkSaving, KeepsColoursUnderTheInkLimitWithMoreBlack) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    for (const char* process : {"default_cmyk.icc", "ps_cmyk.icc"}) {
        SCOPED_TRACE(process);
        // Total ink 3.2, black from the start to the full maximum, full range.
        const auto link = TCMS_ProcLinkGCRNew(
            TCMS_GetLib(), kProduct, Process(process),
            InkSavingPar(TCMS::BlackGenModeInkSaving, 1 - 0.25 * 3.2, 1 - 0.0, 1 - 1.0, 1.0));
        const std::string name = std::string("saving-") + process;
        Store(link, name);
        const Quality q = Measure(folder.LinkFolder() + "/" + name + ".icc",
                                  folder.Folder() + "/processes/" + process, 17, 320.0f);
        EXPECT_LE(q.maxSum, 320.0f);
        EXPECT_LE(q.meanDeltaE, 1.0);
        EXPECT_GT(q.greys, 0);
        EXPECT_EQ(q.greys, q.greysWithMoreBlack);

        // Pixels between the nodes stay within the limit too.
        const auto transform = LinkTransform(name);
        ASSERT_TRUE(transform != nullptr);
        const std::vector<unsigned char> in = RandomCmyk(20000, 3);
        const std::vector<unsigned char> out = ConvertRow(transform, in, 4);
        int worst = 0;
        for (std::size_t p = 0; p < out.size(); p += 4)
            worst = std::max(worst, out[p] + out[p + 1] + out[p + 2] + out[p + 3]);
        EXPECT_LE(worst, 816);
    }
}

TEST(CmsInkSaving, BlackOnlyAndPaperStayAsTheyAre) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    Store(TCMS_ProcLinkGCRNew(TCMS_GetLib(), kProduct, Process("default_cmyk.icc"),
                              InkSavingPar(TCMS::BlackGenModeHeavy, 0.2, 1, 0, 1, 0)),
          "heavy");
    const auto transform = LinkTransform("heavy");
    ASSERT_TRUE(transform != nullptr);
    std::vector<unsigned char> in;
    for (int k = 0; k < 256; ++k)
        in.insert(in.end(), {0, 0, 0, static_cast<unsigned char>(k)});
    const std::vector<unsigned char> out = ConvertRow(transform, in, 4);
    for (int k = 0; k < 256; ++k) {
        EXPECT_EQ(0, out[k * 4] + out[k * 4 + 1] + out[k * 4 + 2]) << k;
        EXPECT_NEAR(k, out[k * 4 + 3], 1) << k;
    }
}

TEST(CmsInkSaving, FourNumbersAreReadAndClamped) {
    // The converter's own example: total ink 3.2, start 0.1, maximum 0.9, range 0.5.
    auto par =
        TCMS_ProcLinkGCRParNewInkSaving(nullptr, TCMS::BlackGenModeMedium, 0.2, 0.9, 0.1, 0.5);
    ASSERT_TRUE(par != nullptr);
    EXPECT_DOUBLE_EQ(3.2, par->Settings().totalInk);
    EXPECT_DOUBLE_EQ(0.1, par->Settings().startK);
    EXPECT_DOUBLE_EQ(0.9, par->Settings().maximumK);
    EXPECT_DOUBLE_EQ(0.5, par->Settings().range);
    EXPECT_EQ(TCMS::BlackGenModeMedium, par->Settings().purpose);
    EXPECT_FALSE(par->Settings().Neutral());

    // The option defaults as they stand (400, 0, 100, 50): no limit, full range.
    par = TCMS_ProcLinkGCRParNewInkSaving("defaults", TCMS::BlackGenModeInkSaving, -99, 1, -99, 50);
    ASSERT_TRUE(par != nullptr);
    EXPECT_EQ("defaults", par->Name());
    EXPECT_DOUBLE_EQ(4.0, par->Settings().totalInk);
    EXPECT_DOUBLE_EQ(0.0, par->Settings().startK);
    EXPECT_DOUBLE_EQ(1.0, par->Settings().maximumK);
    EXPECT_DOUBLE_EQ(1.0, par->Settings().range);

    // A limit below one solid ink is raised to 100%.
    par = TCMS_ProcLinkGCRParNewInkSaving(nullptr, TCMS::BlackGenModeLight, 0.9, 0, 0, 0);
    ASSERT_TRUE(par != nullptr);
    EXPECT_DOUBLE_EQ(1.0, par->Settings().totalInk);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(nullptr,
              TCMS_ProcLinkGCRParNewInkSaving(nullptr, TCMS::BlackGenModeLight, nan, 0, 0, 0));
    EXPECT_EQ(nullptr, TCMS_ProcLinkGCRParNewInkSaving(nullptr, static_cast<TCMS::BlackGenMode>(9),
                                                       0.2, 0, 0, 0));
}

TEST(CmsInkSaving, DatabaseSetOfZerosIsNeutral) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    const double four[4] = {0, 0, 0, 0};
    const double three[3] = {0, 0, 0};
    const auto neutral =
        TCMS_ProcLinkGCRParDBNew(TCMS_GetLib(), "", 0, 0, 0, 0, four, four, three, 1, 1);
    ASSERT_TRUE(neutral != nullptr);
    EXPECT_TRUE(neutral->Settings().Neutral());
    EXPECT_TRUE(neutral->Settings().keepBlackOnly);

    // Channel limits are the complements of the first array; the other two
    // arrays hold nothing this library does, so only zeros pass.
    const double limits[4] = {0.1, 0.0, 0.0, 0.2};
    const auto limited =
        TCMS_ProcLinkGCRParDBNew(TCMS_GetLib(), "limited", 0, 0, 0, 0, limits, four, three, 0, 2);
    ASSERT_TRUE(limited != nullptr);
    EXPECT_DOUBLE_EQ(0.9, limited->Settings().channelLimit[0]);
    EXPECT_DOUBLE_EQ(0.8, limited->Settings().channelLimit[3]);
    EXPECT_FALSE(limited->Settings().Neutral());
    const double one[3] = {0, 0.5, 0};
    EXPECT_EQ(nullptr,
              TCMS_ProcLinkGCRParDBNew(TCMS_GetLib(), "", 0, 0, 0, 0, four, four, one, 1, 1));
    EXPECT_EQ(nullptr,
              TCMS_ProcLinkGCRParDBNew(TCMS_GetLib(), "", 0, 0, 0, 0, four, four, three, 1, 5));
    EXPECT_EQ(nullptr, TCMS_ProcLinkGCRParDBNew(nullptr, "", 0, 0, 0, 0, four, four, three, 1, 1));

    // A colour-space link with the neutral set (a re-separation follows) is
    // the plain link: the same request, handed back as stored.
    const auto plainPar = ColourSpacePar(TCMS::RelativeColorimetric, false);
    Store(TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, Process("default_cmyk.icc"),
                           Process("ps_cmyk.icc"), plainPar),
          "plain");
    auto withNeutral = plainPar;
    withNeutral.gcrParameters = neutral;
    withNeutral.bool0x24 = false;
    rdz::cms::ResetLinkCounts();
    const auto again = TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, Process("default_cmyk.icc"),
                                        Process("ps_cmyk.icc"), withNeutral);
    ASSERT_TRUE(again != nullptr);
    EXPECT_STREQ("plain", TCMS_ProcLinkGetName(again));
    EXPECT_EQ(0, rdz::cms::GetLinkCounts().computed);
}

TEST(CmsInkSaving, ColourSpaceLinkAppliesGcrOnlyWhenAsked) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    auto par = ColourSpacePar(TCMS::RelativeColorimetric, false);
    par.int0x2C = 0;  // coarse table: quick
    par.gcrParameters =
        TCMS_ProcLinkGCRParNewInkSaving(nullptr, TCMS::BlackGenModeInkSaving, 0.4, 1, 0, 1);
    const auto src = Process("default_cmyk.icc");
    const auto dst = Process("ps_cmyk.icc");
    Store(TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, src, dst, par), "with-gcr");
    par.bool0x24 = false;  // a re-separation follows: no GCR here
    Store(TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, src, dst, par), "without-gcr");
    const Quality with = Measure(folder.LinkFolder() + "/with-gcr.icc", PsCmyk(), 9, 240.0f);
    const Quality without = Measure(folder.LinkFolder() + "/without-gcr.icc", PsCmyk(), 9, 240.0f);
    EXPECT_LE(with.maxSum, 240.0f + 4 * 100.0f / 255.0f);
    EXPECT_GT(without.maxSum, 260.0f);
}

TEST(CmsInkSaving, ChannelLimitsBoundEveryNode) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    // Black from the start, full range, black at most 70%, cyan at most 90%.
    const double limits[4] = {0.1, 0.0, 0.0, 0.3};
    TCMS::ProcLinkPar par;
    par.int0x20 = 2;
    par.gcrParameters = TCMS_ProcLinkGCRParDBNew(TCMS_GetLib(), "limits", 0, 1, 0, 1, limits,
                                                 nullptr, nullptr, 1, TCMS::BlackGenModeHeavy);
    ASSERT_TRUE(par.gcrParameters != nullptr);
    Store(TCMS_ProcLinkGCRNew(TCMS_GetLib(), kProduct, Process("default_cmyk.icc"), par), "limits");
    float maxCyan = 0, maxBlack = 0;
    for (const Node& node : Nodes(folder.LinkFolder() + "/limits.icc", 9)) {
        maxCyan = std::max(maxCyan, node.out[0]);
        maxBlack = std::max(maxBlack, node.out[3]);
    }
    EXPECT_LE(maxCyan, 90.0f + 0.01f);
    EXPECT_LE(maxBlack, 70.0f + 0.01f);
    EXPECT_GT(maxBlack, 69.0f);
}

namespace {

/// The nodes of an ink-saving link on default_cmyk.icc without ink limit, on
/// the coarse table (9 points), with option values passed the way the
/// profile converter passes them (total ink 400 is no limit).
std::vector<Node> SettingsLink(const LinkDatabase& folder, const std::string& name,
                               TCMS::BlackGenMode purpose, double startK, double maximumK,
                               double range) {
    Store(TCMS_ProcLinkGCRNew(
              TCMS_GetLib(), kProduct, Process("default_cmyk.icc"),
              InkSavingPar(purpose, 1.0 - 0.25 * 400.0, 1.0 - startK, 1.0 - maximumK, range, 0)),
          name);
    return Nodes(folder.LinkFolder() + "/" + name + ".icc", 9);
}

bool Unchanged(const Node& node) {
    for (std::size_t c = 0; c < 4; ++c) {
        if (std::fabs(node.out[c] - node.in[c]) > 0.01f)
            return false;
    }
    return true;
}

float Spread(const Node& node) {
    const auto [low, high] = std::minmax({node.in[0], node.in[1], node.in[2]});
    return high - low;
}

bool MoreBlack(const Node& node) {
    return node.out[3] > node.in[3] + 1.0f;
}

/// Mean CIEDE2000 of the nodes before and after, on default_cmyk.icc.
double MeanDeltaE(const std::vector<Node>& nodes) {
    std::vector<std::array<float, 4>> in, out;
    for (const Node& node : nodes) {
        in.push_back(node.in);
        out.push_back(node.out);
    }
    const auto before = Labs(DefaultCmyk(), in);
    const auto after = Labs(DefaultCmyk(), out);
    double sum = 0.0;
    for (std::size_t i = 0; i < nodes.size(); ++i)
        sum += DeltaE2000(before[i], after[i]);
    return sum / static_cast<double>(std::max<std::size_t>(nodes.size(), 1));
}

}  // namespace

TEST(CmsInkSaving, MaximumBlackCapsTheBlackTheCurveAdds) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    const auto capped = SettingsLink(folder, "capped", TCMS::BlackGenModeHeavy, 0.0, 0.6, 50.0);
    const auto full = SettingsLink(folder, "full", TCMS::BlackGenModeHeavy, 0.0, 1.0, 50.0);
    ASSERT_EQ(capped.size(), full.size());
    float cappedMost = 0.0f, fullMost = 0.0f;
    for (std::size_t i = 0; i < capped.size(); ++i) {
        if (capped[i].in[3] > 60.0f)
            continue;  // black the original had is never taken away
        cappedMost = std::max(cappedMost, capped[i].out[3]);
        fullMost = std::max(fullMost, full[i].out[3]);
    }
    EXPECT_LE(cappedMost, 60.0f + 0.01f);
    EXPECT_GT(cappedMost, 50.0f);
    EXPECT_GT(fullMost, 80.0f);
    EXPECT_LT(MeanDeltaE(capped), 0.1);
    EXPECT_LT(MeanDeltaE(full), 0.1);
}

TEST(CmsInkSaving, StartBlackLeavesLighterColoursAlone) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    const auto late = SettingsLink(folder, "late", TCMS::BlackGenModeInkSaving, 0.5, 1.0, 50.0);
    const auto early = SettingsLink(folder, "early", TCMS::BlackGenModeInkSaving, 0.0, 1.0, 50.0);
    ASSERT_EQ(late.size(), early.size());
    // Darkness between the paper and all four inks at 100%, as LittleCMS
    // gives their L*.
    std::vector<std::array<float, 4>> in{{{0, 0, 0, 0}}, {{100, 100, 100, 100}}};
    for (const Node& node : late)
        in.push_back(node.in);
    const auto labs = Labs(DefaultCmyk(), in);
    const double paper = labs[0][0], black = labs[1][0];
    int light = 0, lightEarlyBlack = 0, darkGreys = 0, darkGreysLateBlack = 0;
    for (std::size_t i = 0; i < late.size(); ++i) {
        const Node& node = late[i];
        if (node.in[0] + node.in[1] + node.in[2] == 0.0f)
            continue;
        const double darkness = (paper - labs[i + 2][0]) / (paper - black);
        if (darkness < 0.45) {
            ++light;
            EXPECT_TRUE(Unchanged(node))
                << node.in[0] << "/" << node.in[1] << "/" << node.in[2] << "/" << node.in[3];
            lightEarlyBlack += MoreBlack(early[i]) ? 1 : 0;
        } else if (darkness > 0.7 && Spread(node) <= 25.0f &&
                   std::min({node.in[0], node.in[1], node.in[2]}) >= 25.0f && node.in[3] <= 25.0f) {
            ++darkGreys;
            darkGreysLateBlack += MoreBlack(node) ? 1 : 0;
        }
    }
    EXPECT_GT(light, 100);
    EXPECT_GT(lightEarlyBlack, light / 4) << "starting at 0, light colours get black";
    EXPECT_GT(darkGreys, 10);
    EXPECT_EQ(darkGreys, darkGreysLateBlack) << "dark greys get black after the start";
}

TEST(CmsInkSaving, RangeSetsHowFarFromGreyBlackReaches) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    const auto none = SettingsLink(folder, "none", TCMS::BlackGenModeInkSaving, 0.0, 1.0, 0.0);
    const auto near = SettingsLink(folder, "near", TCMS::BlackGenModeInkSaving, 0.0, 1.0, 0.3);
    const auto all = SettingsLink(folder, "all", TCMS::BlackGenModeInkSaving, 0.0, 1.0, 1.0);
    int greys = 0, greysNearBlack = 0, saturated = 0, saturatedAllBlack = 0;
    for (std::size_t i = 0; i < none.size(); ++i) {
        EXPECT_TRUE(Unchanged(none[i])) << "range 0: no black anywhere";
        const float spread = Spread(near[i]);
        const float grey = std::min({near[i].in[0], near[i].in[1], near[i].in[2]});
        if (spread >= 36.0f) {
            // Beyond 1.2 x range from grey: the curve does not reach.
            EXPECT_TRUE(Unchanged(near[i]));
            if (grey >= 25.0f && near[i].in[3] == 0.0f) {
                ++saturated;
                saturatedAllBlack += MoreBlack(all[i]) ? 1 : 0;
            }
        } else if (spread <= 12.5f && grey >= 25.0f && near[i].in[3] == 0.0f) {
            ++greys;
            greysNearBlack += MoreBlack(near[i]) ? 1 : 0;
        }
    }
    EXPECT_GT(greys, 10);
    EXPECT_EQ(greys, greysNearBlack) << "near-greys get black with range 0.3";
    EXPECT_GT(saturated, 10);
    EXPECT_EQ(saturated, saturatedAllBlack) << "range 1 reaches saturated colours";
}
