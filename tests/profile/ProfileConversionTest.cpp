// Whole documents converted from profile to profile, re-separated, and both in
// a chain; device links stored and reused.
#include <cmath>

#include "tests/profile/ProfileFixture.h"

using namespace rdz::kelt;

namespace {

class ProfileConversion : public ProfileFixture {
protected:
    ct_def_t* Image(bool alpha) {
        ImageSetup image;
        image.inks = cmyk;
        image.width = 4;
        image.height = 2;
        image.alpha = alpha;
        const int planes = alpha ? 5 : 4;
        for (int i = 0; i < 4 * 2 * planes; ++i) {
            image.pixels.push_back(static_cast<std::uint8_t>((i * 37) % 256));
        }
        return AddImageDefinition(doc, image);
    }

    /// Pixel x of row r of a CMYK image, interleaved.
    static std::array<unsigned char, 4> Pixel(const std::vector<std::uint8_t>& planes, int width,
                                              int planesPerRow, int r, int x) {
        std::array<unsigned char, 4> p{};
        for (int c = 0; c < 4; ++c) {
            p[static_cast<size_t>(c)] =
                planes[static_cast<size_t>((r * planesPerRow + c) * width + x)];
        }
        return p;
    }
};

}  // namespace

TEST_F(ProfileConversion, ColourSpaceConversionMatchesLittleCms) {
    options.SetRodadazErivoSpace(true);
    options.SetBlackPointCompensation(false);
    InkSetup spot;
    spot.book = "Spots";
    spot.name = "Gold";
    inkt_t* gold = AddInk(doc, spot);
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.2}, {cmyk[1], 0.4}, {cmyk[2], 0.6}, {gold, 0.7}});
    paint_t* cyan = AddSolid(doc, {{cmyk[0], 1.0}});
    ct_def_t* withAlpha = Image(true);
    const std::vector<std::uint8_t> before = ImagePixels(withAlpha->internal);
    ct_def_t* plain = Image(false);
    const std::vector<std::uint8_t> plainBefore = ImagePixels(plain->internal);

    Convert();
    ASSERT_TRUE(ran);
    EXPECT_EQ(messages.count(MessageLevel::Error), 0u);
    const auto expected = Direct({51, 102, 153, 0}, INTENT_RELATIVE_COLORIMETRIC, false);
    const auto got = Bytes(paint);
    for (size_t c = 0; c < 4; ++c) {
        EXPECT_NEAR(got[c], expected[c], 2) << "channel " << c;
    }
    // Spot inks stay; process inks the conversion removes stay at 0%.
    bool goldKept = false;
    for (const Amount& amount : SolidAmounts(paint)) {
        goldKept = goldKept || (amount.ink == gold && amount.fraction == 0.7);
    }
    EXPECT_TRUE(goldKept);
    const auto cyanExpected = Direct({255, 0, 0, 0}, INTENT_RELATIVE_COLORIMETRIC, false);
    for (size_t c = 0; c < 4; ++c) {
        EXPECT_NEAR(Bytes(cyan)[c], cyanExpected[c], 2);
    }
    bool listedAll = SolidAmounts(cyan).size() >= 1;
    for (inkt_t* ink : {cmyk[0]}) {
        bool found = false;
        for (const Amount& amount : SolidAmounts(cyan)) {
            found = found || amount.ink == ink;
        }
        listedAll = listedAll && found;
    }
    EXPECT_TRUE(listedAll);

    for (ct_def_t* def : {withAlpha, plain}) {
        const bool alpha = def == withAlpha;
        const std::vector<std::uint8_t>& source = alpha ? before : plainBefore;
        const std::vector<std::uint8_t>& out = ImagePixels(def->internal);
        const int planes = alpha ? 5 : 4;
        ASSERT_EQ(out.size(), source.size());
        for (int r = 0; r < 2; ++r) {
            for (int x = 0; x < 4; ++x) {
                const auto want = Direct(Pixel(source, 4, planes, r, x),
                                         INTENT_RELATIVE_COLORIMETRIC, false);
                const auto have = Pixel(out, 4, planes, r, x);
                for (size_t c = 0; c < 4; ++c) {
                    EXPECT_NEAR(have[c], want[c], 2) << "row " << r << " x " << x;
                }
                if (alpha) {
                    EXPECT_EQ(out[static_cast<size_t>((r * 5 + 4) * 4 + x)],
                              source[static_cast<size_t>((r * 5 + 4) * 4 + x)]);
                }
            }
        }
    }
}

TEST_F(ProfileConversion, ReseparationKeepsTheTotalInkLimit) {
    options.SetReseparate(true);
    options.SetSourceProfile("dst.icc");
    options.SetTotalInk(3.2);
    options.SetStartK(0.1);
    options.SetMaximumK(0.9);
    options.SetRange(0.5);
    std::vector<paint_t*> paints;
    for (int i = 0; i < 6; ++i) {
        const double f = 0.5 + i * 0.1;
        paints.push_back(
            AddSolid(doc, {{cmyk[0], f}, {cmyk[1], f}, {cmyk[2], f}, {cmyk[3], f}}));
    }
    ct_def_t* image = Image(false);
    Convert();
    ASSERT_TRUE(ran);
    for (paint_t* paint : paints) {
        const auto bytes = Bytes(paint);
        EXPECT_LE(bytes[0] + bytes[1] + bytes[2] + bytes[3], 320 * 255 / 100 + 4);
    }
    const std::vector<std::uint8_t>& out = ImagePixels(image->internal);
    for (int r = 0; r < 2; ++r) {
        for (int x = 0; x < 4; ++x) {
            const auto p = Pixel(out, 4, 4, r, x);
            EXPECT_LE(p[0] + p[1] + p[2] + p[3], 320 * 255 / 100 + 4);
        }
    }
}

TEST_F(ProfileConversion, ChainAndStoredLinksAreReused) {
    options.SetRodadazErivoSpace(true);
    options.SetReseparate(true);
    options.SetTotalInk(3.0);
    paint_t* paint = AddSolid(doc, {{cmyk[0], 1.0}, {cmyk[1], 1.0}, {cmyk[2], 1.0}, {cmyk[3], 1.0}});
    ct_def_t* image = Image(true);
    Convert();
    ASSERT_TRUE(ran);
    EXPECT_EQ(messages.count(MessageLevel::Error), 0u);
    EXPECT_EQ(StoredLinks(), 2u);  // the colour-space link and the ink-saving link
    const auto bytes = Bytes(paint);
    EXPECT_LE(bytes[0] + bytes[1] + bytes[2] + bytes[3], 300 * 255 / 100 + 4);
    EXPECT_EQ(image->nrInks, 4);
    EXPECT_EQ(image->hasAlpha, 1);

    // The same settings again: the stored links are found and only made
    // fast; none is computed or added.
    paint_t* again = AddSolid(doc, {{cmyk[0], 1.0}, {cmyk[1], 1.0}, {cmyk[2], 1.0}, {cmyk[3], 1.0}});
    rdz::cms::ResetLinkCounts();
    Convert();
    ASSERT_TRUE(ran);
    EXPECT_EQ(rdz::cms::GetLinkCounts().computed, 0);
    EXPECT_EQ(rdz::cms::GetLinkCounts().accelerated, 2);
    EXPECT_EQ(StoredLinks(), 2u);
    EXPECT_EQ(Bytes(again), bytes);
}

TEST_F(ProfileConversion, ChainWithNothingToConvertStillSizesTheIntermediateStage) {
    general.SetConvertCMYKLinework(false);
    general.SetConvertCMYKImages(false);
    options.SetRodadazErivoSpace(true);
    options.SetReseparate(true);
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.2}, {cmyk[3], 0.4}});
    Convert();
    ASSERT_TRUE(ran);
    EXPECT_EQ(Bytes(paint), (std::array<int, 4>{51, 0, 0, 102}));
}
