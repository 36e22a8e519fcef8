// Color Strategy conversions of whole documents: paints, images and the output
// inks, checked against LittleCMS applied directly.
#include <lcms2.h>

#include <cmath>

#include "tests/strategy/StrategyFixture.h"

using namespace rdz::kelt;

namespace {

class StrategyConversion : public StrategyFixture {
protected:
    void SetUp() override {
        StrategyFixture::SetUp();
        cmyk = AddCmykInks(doc, "Process", "CMYK");
    }

    /// The destination CMYK of a source CMYK through LittleCMS, relative colorimetric.
    static std::array<unsigned char, 4> Direct(std::array<unsigned char, 4> in) {
        cmsHPROFILE src = cmsOpenProfileFromFile(kSourceIcc, "r");
        cmsHPROFILE dst = cmsOpenProfileFromFile(kDestinationIcc, "r");
        cmsHTRANSFORM t = cmsCreateTransform(src, TYPE_CMYK_8, dst, TYPE_CMYK_8,
                                             INTENT_RELATIVE_COLORIMETRIC, 0);
        std::array<unsigned char, 4> out{};
        cmsDoTransform(t, in.data(), out.data(), 1);
        cmsDeleteTransform(t);
        cmsCloseProfile(src);
        cmsCloseProfile(dst);
        return out;
    }

    /// The byte of each output ink ("Cyan".."Black") in a converted paint.
    std::array<int, 4> Bytes(const paint_t* paint) {
        std::array<int, 4> bytes{};
        const char* names[4] = {"Cyan", "Magenta", "Yellow", "Black"};
        for (const Amount& amount : SolidAmounts(paint)) {
            for (int c = 0; c < 4; ++c) {
                if (std::string(amount.ink->name) == names[c]) {
                    bytes[static_cast<size_t>(c)] =
                        static_cast<int>(std::lround(amount.fraction * 255.0));
                }
            }
        }
        return bytes;
    }

    std::vector<inkt_t*> cmyk;
};

}  // namespace

TEST_F(StrategyConversion, ProcessPaintsMatchLittleCms) {
    Strategy("S", 2);
    const std::vector<std::array<double, 4>> colours{
        {0.2, 0.4, 0.6, 0.1}, {1.0, 0.0, 0.0, 0.0}, {0.0, 0.0, 0.0, 1.0}, {0.5, 0.5, 0.5, 0.5}};
    std::vector<paint_t*> paints;
    for (const auto& c : colours) {
        paints.push_back(
            AddSolid(doc, {{cmyk[0], c[0]}, {cmyk[1], c[1]}, {cmyk[2], c[2]}, {cmyk[3], c[3]}}));
    }
    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    Run(options);
    for (size_t i = 0; i < colours.size(); ++i) {
        std::array<unsigned char, 4> in{};
        for (size_t c = 0; c < 4; ++c) {
            in[c] = static_cast<unsigned char>(colours[i][c] * 255.0 + 0.5);
        }
        const std::array<unsigned char, 4> expected = Direct(in);
        const std::array<int, 4> got = Bytes(paints[i]);
        for (size_t c = 0; c < 4; ++c) {
            EXPECT_NEAR(got[c], expected[c], 1) << "paint " << i << " channel " << c;
        }
    }
}

TEST_F(StrategyConversion, ImagesAreConvertedOnlyWhereTheStrategyChangesTheirInks) {
    Strategy("S", 2, R"("convertOpaqueInks": false)");
    inkt_t* silver = Ink("Spots", "Silver", InkOpaque);
    general.SetFlatten(false);  // ask the strategy image by image
    ImageSetup image;
    image.width = 3;
    image.height = 2;
    image.internal = false;
    image.inks = {cmyk[0]};
    ct_def_t* cyan = AddImageDefinition(doc, image);
    image.inks = {cmyk[0], cmyk[0]};
    ct_def_t* twice = AddImageDefinition(doc, image);
    image.inks = {silver};
    ct_def_t* kept = AddImageDefinition(doc, image);
    image.inks = {nullptr};
    ct_def_t* inkless = AddImageDefinition(doc, image);

    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    Run(options);
    EXPECT_FALSE(IsExternal(cyan));
    EXPECT_EQ(cyan->nrInks, 4);
    EXPECT_FALSE(IsExternal(twice));
    EXPECT_TRUE(IsExternal(kept));
    EXPECT_TRUE(IsExternal(inkless));
}

TEST_F(StrategyConversion, ImagePixelsMatchLittleCms) {
    Strategy("S", 2);
    ImageSetup image;
    image.inks = cmyk;
    image.width = 2;
    image.height = 1;
    image.alpha = true;
    // Plane after plane: C, M, Y, K, alpha.
    image.pixels = {10, 200, 20, 150, 30, 100, 40, 0, 255, 128};
    ct_def_t* def = AddImageDefinition(doc, image);
    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    Run(options);
    const std::vector<std::uint8_t>& out = ImagePixels(def->internal);
    ASSERT_EQ(out.size(), 10u);
    for (int x = 0; x < 2; ++x) {
        const std::array<unsigned char, 4> expected =
            Direct({image.pixels[static_cast<size_t>(x)], image.pixels[static_cast<size_t>(2 + x)],
                    image.pixels[static_cast<size_t>(4 + x)],
                    image.pixels[static_cast<size_t>(6 + x)]});
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(out[static_cast<size_t>(c * 2 + x)], expected[static_cast<size_t>(c)], 1);
        }
        EXPECT_EQ(out[static_cast<size_t>(8 + x)], image.pixels[static_cast<size_t>(8 + x)]);
    }
}

/// The example database's "Coated to Uncoated" strategy over a document with
/// every kind of ink.
TEST_F(StrategyConversion, ExampleDatabaseEndToEnd) {
    rdz::cms::SetDatabaseFolder(RDZ_EXAMPLE_CMSDB);
    inkt_t* warmRed = Ink("SPECTRA Solid Coated", "SPECTRA Warm Red C");
    inkt_t* reflexBlue = Ink("SPECTRA Solid Coated", "SPECTRA Reflex Blue C");
    inkt_t* gold = Ink("SPECTRA Solid Coated", "SPECTRA Gold C", InkOpaque);
    inkt_t* local = Ink("Local", "Customer Green", InkUnregistered);
    inkt_t* varnish = Ink("Local", "Gloss", InkVarnish | InkUnregistered);
    paint_t* red = AddSolid(doc, {{warmRed, 1.0}});
    paint_t* half = AddSolid(doc, {{warmRed, 0.5}, {gold, 0.3}});
    paint_t* blue = AddSolid(doc, {{reflexBlue, 0.4}});
    paint_t* vignette = AddVignette(doc, {{{cmyk[0], 0.0}}, {{cmyk[0], 1.0}}});
    paint_t* customer = AddSolid(doc, {{local, 1.0}, {varnish, 1.0}});
    ImageSetup image;
    image.inks = {cmyk[0], cmyk[1], cmyk[2], cmyk[3], gold};
    image.width = 1;
    image.height = 1;
    image.pixels = {0, 0, 0, 0, 77};
    ct_def_t* def = AddImageDefinition(doc, image);

    TRodadazErivoOptions options;
    options.SetColorStrategy("Coated to Uncoated");
    options.SetStrategyType(TCMS::ColTransfTypeOrvex);
    options.AddException("gloss");
    Run(options);

    const char* S = "Coated to Uncoated";
    std::vector<Message> expected;
    for (const char* ink : {"Cyan", "Magenta", "Yellow", "Black"}) {
        expected.push_back({MessageLevel::Info, std::string("Conversion for ink Process Colors ") +
                                                    ink + " is defined in Color Strategy " + S +
                                                    ". Applying strategy settings."});
    }
    expected.push_back({MessageLevel::Info,
                        "Conversion for ink Spectra Solid Coated Warm Red C is defined in Color "
                        "Strategy Coated to Uncoated. Applying strategy settings."});
    expected.push_back({MessageLevel::Info,
                        "Conversion for ink Spectra Solid Coated Reflex Blue C is defined in Color "
                        "Strategy Coated to Uncoated. Applying strategy settings."});
    expected.push_back({MessageLevel::Info,
                        "Ink Spectra Solid Coated Gold C is an opaque ink and will not be converted "
                        "(as specified in Color Strategy Coated to Uncoated)."});
    expected.push_back({MessageLevel::Info,
                        "Ink <unregistered> Customer Green will be converted according to settings "
                        "in Color Strategy Coated to Uncoated."});
    expected.push_back({MessageLevel::Info,
                        "Ink <unregistered> Gloss is a varnish ink and will not be converted: "
                        "varnish inks are not converted by default. To convert the ink, add it to "
                        "the Color Strategy."});
    EXPECT_EQ(messages.messages(), expected);

    // Warm Red has explicit values 0, 85, 90, 0: exact, scaled by tint.
    EXPECT_EQ(SolidAmounts(red).size(), 2u);
    for (const Amount& amount : SolidAmounts(red)) {
        const std::string name = amount.ink->name;
        EXPECT_TRUE(name == "Magenta" || name == "Yellow") << name;
        EXPECT_DOUBLE_EQ(amount.fraction, name == "Magenta" ? 217 / 255.0 : 230 / 255.0);
    }
    bool goldKept = false;
    for (const Amount& amount : SolidAmounts(half)) {
        if (amount.ink == gold) {
            goldKept = amount.fraction == 0.3;
        }
    }
    EXPECT_TRUE(goldKept);
    // Reflex Blue is kept by its item: it passes through to its own channel.
    EXPECT_EQ(SolidAmounts(blue), (std::vector<Amount>{{reflexBlue, 102 / 255.0, 1}}));
    EXPECT_EQ(ChangeCount(vignette), 0);
    EXPECT_EQ(VignetteSteps(vignette).size(), 2u);
    EXPECT_TRUE(SolidAmounts(VignetteSteps(vignette)[0]).empty());
    // The varnish ink stays; the unregistered green is converted away.
    bool varnishKept = false;
    for (const Amount& amount : SolidAmounts(customer)) {
        EXPECT_NE(amount.ink, local);
        varnishKept = varnishKept || (amount.ink == varnish && amount.fraction == 1.0);
    }
    EXPECT_TRUE(varnishKept);
    // The image: four process planes converted, gold carried over last.
    ASSERT_EQ(def->nrInks, 6);  // CMYK, the kept Reflex Blue channel, gold
    EXPECT_EQ(def->inks[5], gold);
    EXPECT_EQ(ImagePixels(def->internal)[5], 77);
}
