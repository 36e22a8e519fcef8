// Clean colours of colour-space links between the two example profiles,
// checked against LittleCMS: a clean ramp keeps to its own inks, rises, keeps
// its solid, and comes as close to the source colour as an exhaustive search
// over its inks does.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tests/platform/cms/LinkTestSupport.h"

using namespace cmstest;

namespace {

// The exhaustive search is slow in the sanitizer build (unoptimised): there
// it is made at every 4th step of each ramp.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSearchEvery = 4;
#else
constexpr int kSearchEvery = 1;
#endif

struct CleanColour {
    const char* name;
    unsigned inks;  // bit 0 cyan, 1 magenta, 2 yellow
};
constexpr CleanColour kCleanColours[] = {{"cyan", 1}, {"magenta", 2}, {"yellow", 4},
                                         {"red", 6},  {"green", 5},   {"blue", 3}};

std::shared_ptr<TCleanColorsSettings> AllCleanColours() {
    const auto clean = TCMS_CleanColorsSettingsNew();
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(0, TCMS_CleanColorsSettingsAddPrimary(clean, c));
    EXPECT_EQ(0, TCMS_CleanColorsSettingsAddSecondary(clean, 1, 2));
    EXPECT_EQ(0, TCMS_CleanColorsSettingsAddSecondary(clean, 0, 2));
    EXPECT_EQ(0, TCMS_CleanColorsSettingsAddSecondary(clean, 0, 1));
    return clean;
}

std::shared_ptr<TProcLink> CleanLink(const char* from, const char* to) {
    // Relative colorimetric with black point compensation, as the profile
    // converter asks by default.
    TCMS::ProcLinkPar par = ColourSpacePar(TCMS::RelativeColorimetric, true);
    par.cleanColors = AllCleanColours();
    return TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, Process(from), Process(to), par);
}

/// The colours of every 8-bit value of some inks (the others at 0) on one
/// profile, for the closest of them to a colour. The search is exhaustive:
/// CIEDE2000 is at least the lightness difference over its weight SL (1.75
/// at most), so with the candidates sorted by L* the scan stops where that
/// alone reaches the best found, and skips a candidate whose own SL says as
/// much. It starts from the colour closest to the previous one asked for
/// (ramps move little from step to step).
class InkSearch {
  public:
    InkSearch(const std::string& profile, unsigned inks) {
        std::vector<int> channels;
        for (int c = 0; c < 3; ++c) {
            if ((inks & (1u << c)) != 0)
                channels.push_back(c);
        }
        std::vector<unsigned char> cmyk;
        const int count = channels.size() == 1 ? 256 : 256 * 256;
        for (int i = 0; i < count; ++i) {
            unsigned char pixel[4] = {0, 0, 0, 0};
            pixel[channels[0]] = static_cast<unsigned char>(i & 0xFF);
            if (channels.size() > 1)
                pixel[channels[1]] = static_cast<unsigned char>(i >> 8);
            cmyk.insert(cmyk.end(), pixel, pixel + 4);
        }
        labs_ = CmykToLabs(profile, cmyk);
        std::sort(labs_.begin(), labs_.end());
    }

    double Closest(const std::array<double, 3>& target) {
        double best = DeltaE2000(target, labs_[last_]);
        std::size_t closest = last_;
        auto consider = [&](std::size_t i) {
            const std::array<double, 3>& lab = labs_[i];
            const double dl = lab[0] - target[0];
            const double meanL = 0.5 * (lab[0] + target[0]) - 50.0;
            const double sl = 1.0 + 0.015 * meanL * meanL / std::sqrt(20.0 + meanL * meanL);
            if (std::fabs(dl) / sl >= best)
                return;
            const double difference = DeltaE2000(target, lab);
            if (difference < best) {
                best = difference;
                closest = i;
            }
        };
        const auto start = static_cast<std::size_t>(
            std::lower_bound(labs_.begin(), labs_.end(), target) - labs_.begin());
        for (std::size_t i = start; i < labs_.size() && (labs_[i][0] - target[0]) / 1.75 < best;
             ++i) {
            consider(i);
        }
        for (std::size_t i = start; i > 0 && (target[0] - labs_[i - 1][0]) / 1.75 < best; --i)
            consider(i - 1);
        last_ = closest;
        return best;
    }

  private:
    std::vector<std::array<double, 3>> labs_;
    std::size_t last_ = 0;
};

}  // namespace

TEST(CmsCleanColours, RampsKeepTheirInksRiseAndComeClosestToTheSourceColour) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    const struct {
        const char* from;
        const char* to;
        std::string fromFile;
        std::string toFile;
    } ways[] = {{"default_cmyk.icc", "ps_cmyk.icc", DefaultCmyk(), PsCmyk()},
                {"ps_cmyk.icc", "default_cmyk.icc", PsCmyk(), DefaultCmyk()}};
    for (const auto& way : ways) {
        const std::string name = std::string("clean-") + way.from;
        Store(CleanLink(way.from, way.to), name);
        const auto transform = LinkTransform(name);
        ASSERT_TRUE(transform != nullptr);
        for (const CleanColour& clean : kCleanColours) {
            SCOPED_TRACE(testing::Message() << way.from << " to " << way.to << ", " << clean.name);
            // 0% to 100% in steps of 1%.
            std::vector<unsigned char> ramp;
            for (int percent = 0; percent <= 100; ++percent) {
                const auto value = static_cast<unsigned char>(std::lround(percent * 2.55));
                for (unsigned c = 0; c < 3; ++c)
                    ramp.push_back((clean.inks & (1u << c)) != 0 ? value : 0);
                ramp.push_back(0);
            }
            const std::vector<unsigned char> out = ConvertRow(transform, ramp, 4);
            const auto source = CmykToLabs(way.fromFile, ramp);
            const auto printed = CmykToLabs(way.toFile, out);
            InkSearch search(way.toFile, clean.inks);
            double ours = 0.0;
            double best = 0.0;
            int searched = 0;
            for (int p = 0; p <= 100; ++p) {
                for (unsigned c = 0; c < 4; ++c) {
                    const unsigned char value = out[p * 4 + c];
                    if (c == 3 || (clean.inks & (1u << c)) == 0) {
                        EXPECT_EQ(0, value) << p << "% channel " << c;
                    } else if (p > 0) {
                        EXPECT_GE(value, out[(p - 1) * 4 + c]) << p << "% channel " << c;
                    }
                }
                if (p % kSearchEvery == 0) {
                    ours += DeltaE2000(source[p], printed[p]);
                    best += search.Closest(source[p]);
                    ++searched;
                }
            }
            for (unsigned c = 0; c < 3; ++c) {
                if ((clean.inks & (1u << c)) != 0) {
                    EXPECT_EQ(255, out[100 * 4 + c]) << "the solid stays solid";
                }
            }
            ours /= searched;
            best /= searched;
            std::printf("clean %-7s %-16s to %-16s mean CIEDE2000 %.3f, closest possible %.3f\n",
                        clean.name, way.from, way.to, ours, best);
            EXPECT_LE(ours, best + 0.5);
        }
    }
}

TEST(CmsCleanColours, OtherInksStayZeroWithBlackAndTheChangeFadesOut) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    Store(
        TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, Process("default_cmyk.icc"),
                         Process("ps_cmyk.icc"), ColourSpacePar(TCMS::RelativeColorimetric, true)),
        "plain");
    Store(CleanLink("default_cmyk.icc", "ps_cmyk.icc"), "clean");
    const auto plain = LinkTransform("plain");
    const auto clean = LinkTransform("clean");
    ASSERT_TRUE(plain && clean);

    // Every pure primary and secondary, with and without black: exactly zero
    // in every ink the input does not use.
    std::vector<unsigned char> pure;
    for (int k : {0, 90, 255}) {
        for (int v = 1; v < 256; ++v) {
            for (unsigned inks = 1; inks < 7; ++inks) {
                for (unsigned c = 0; c < 3; ++c)
                    pure.push_back((inks & (1u << c)) != 0 ? static_cast<unsigned char>(v) : 0);
                pure.push_back(static_cast<unsigned char>(k));
            }
        }
    }
    const std::vector<unsigned char> out = ConvertRow(clean, pure, 4);
    for (std::size_t p = 0; p < pure.size() / 4; ++p) {
        for (int c = 0; c < 4; ++c) {
            if (pure[p * 4 + c] == 0) {
                ASSERT_EQ(0, out[p * 4 + c])
                    << "pixel " << int(pure[p * 4]) << "/" << int(pure[p * 4 + 1]) << "/"
                    << int(pure[p * 4 + 2]) << "/" << int(pure[p * 4 + 3]) << " channel " << c;
            }
        }
    }

    // The change fades out smoothly: along cyan with growing magenta no
    // output channel jumps, and away from clean colours nothing changes.
    std::vector<unsigned char> ramp;
    for (int m = 0; m < 256; ++m)
        ramp.insert(ramp.end(), {255, static_cast<unsigned char>(m), 0, 0});
    const std::vector<unsigned char> rampOut = ConvertRow(clean, ramp, 4);
    for (int m = 1; m < 256; ++m) {
        for (int c = 0; c < 4; ++c)
            EXPECT_LE(std::abs(rampOut[m * 4 + c] - rampOut[(m - 1) * 4 + c]), 12) << m;
    }
    std::vector<unsigned char> far = RandomCmyk(2000, 5);
    for (std::size_t i = 0; i < far.size(); ++i) {
        if (i % 4 != 3)
            far[i] = static_cast<unsigned char>(80 + far[i] % 176);
    }
    EXPECT_EQ(ConvertRow(plain, far, 4), ConvertRow(clean, far, 4));
}
