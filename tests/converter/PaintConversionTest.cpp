#include <gtest/gtest.h>

#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"
#include "tests/converter/TestConverter.h"

using namespace rdz::kelt;

namespace {

InkSetup Spot(const char* name, unsigned kinds = 0) {
    InkSetup spec;
    spec.book = "Spots";
    spec.name = name;
    spec.kinds = kinds;
    return spec;
}

/// A document with CMYK process inks, a converter whose input inks are the
/// four process inks and whose output channels are four new inks O0..O3.
class PaintConversion : public ::testing::Test {
protected:
    void SetUp() override {
        cmyk = AddCmykInks(doc);
        gold = AddInk(doc, Spot("Gold"));
        registration = AddInk(doc, Spot("All", InkRegistration));
    }

    /// Inputs: the process inks, plus `extraInputs`; exceptions as given;
    /// outputs O0..O(n-1) with `skipped` dropped.
    void Configure(TestConverter& c, std::vector<inkt_t*> exceptions = {},
                   std::vector<inkt_t*> extraInputs = {}, int nrOutputs = 4,
                   std::set<int> skipped = {}) {
        c.onInit = [=](TestConverter& conv) {
            for (inkt_t* ink : cmyk) {
                conv.AddInputInk(ink);
            }
            for (inkt_t* ink : extraInputs) {
                conv.AddInputInk(ink);
            }
            for (inkt_t* ink : exceptions) {
                conv.AddExceptionInk(ink);
            }
            std::vector<TCMS::InkInfo> names;
            for (int i = 0; i < nrOutputs; ++i) {
                names.emplace_back("Out", "O" + std::to_string(i));
            }
            conv.AddOutputInks(nrOutputs, names, skipped);
        };
    }

    inkt_t* Output(int i) {
        for (inkt_t* ink : Inks(doc)) {
            if (std::string(ink->name) == "O" + std::to_string(i)) {
                return ink;
            }
        }
        return nullptr;
    }

    /// Every output channel takes the value of the input channel of the same index.
    static TestConverter::PixelFunction CopyChannels(int nIn, int nOut) {
        return [=](const unsigned char* in, unsigned char* out, int n, bool) {
            for (int p = 0; p < n; ++p) {
                for (int c = 0; c < nOut; ++c) {
                    out[p * nOut + c] = c < nIn ? in[p * nIn + c] : 0;
                }
            }
            return 0;
        };
    }

    ScopedDocument doc;
    TGeneralColorConverterOptions options;
    std::vector<inkt_t*> cmyk;
    inkt_t* gold = nullptr;
    inkt_t* registration = nullptr;
};

}  // namespace

TEST_F(PaintConversion, FractionsBecomeBytesRoundedHalfAwayFromZeroAndClamped) {
    // 0.5/255 sits exactly between 0 and 1; 1.01 and -0.2 are out of range.
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.5 / 255.0}, {cmyk[1], 1.01},
                                    {cmyk[2], -0.2}, {cmyk[3], 128.5 / 255.0}});
    TestConverter converter(doc, options);
    Configure(converter);
    std::vector<unsigned char> seen;
    converter.pixel = [&](const unsigned char* in, unsigned char* out, int n, bool linework) {
        EXPECT_EQ(n, 1);
        EXPECT_TRUE(linework);
        seen.assign(in, in + 4);
        std::fill(out, out + 4, 0);
        return 0;
    };
    converter.Convert();
    EXPECT_EQ(seen, (std::vector<unsigned char>{1, 255, 0, 129}));
    EXPECT_EQ(ChangeCount(paint), 1);
}

TEST_F(PaintConversion, OutputBytesBecomeFractionsAndZeroBytesAddNothing) {
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.2}});
    TestConverter converter(doc, options);
    Configure(converter);
    converter.pixel = [](const unsigned char*, unsigned char* out, int, bool) {
        out[0] = 0;
        out[1] = 1;
        out[2] = 255;
        out[3] = 0;
        return 0;
    };
    converter.Convert();
    const std::vector<Amount> amounts = SolidAmounts(paint);
    ASSERT_EQ(amounts.size(), 2u);
    EXPECT_EQ(amounts[0].ink, Output(1));
    EXPECT_DOUBLE_EQ(amounts[0].fraction, 1 / 255.0);
    EXPECT_EQ(amounts[1].ink, Output(2));
    EXPECT_DOUBLE_EQ(amounts[1].fraction, 1.0);
    ASSERT_EQ(PaintHistory(paint).size(), 1u);
    EXPECT_EQ(PaintHistory(paint)[0], (std::vector<Amount>{{cmyk[0], 0.2, 1}}));
}

TEST_F(PaintConversion, DroppedChannelsAreNotWrittenBack) {
    paint_t* paint = AddSolid(doc, {{cmyk[0], 1.0}, {cmyk[1], 1.0}, {cmyk[2], 1.0}});
    TestConverter converter(doc, options);
    Configure(converter, {}, {}, 4, {1});
    converter.pixel = CopyChannels(4, 4);
    converter.Convert();
    const std::vector<Amount> amounts = SolidAmounts(paint);
    ASSERT_EQ(amounts.size(), 2u);
    EXPECT_EQ(amounts[0].ink, Output(0));
    EXPECT_EQ(amounts[1].ink, Output(2));
    EXPECT_EQ(Output(1), nullptr);
}

TEST_F(PaintConversion, AllFullProcessPaintSkipsTheTransformWhenKeepingRegistration) {
    options.SetKeepRegistrationColor(true);
    paint_t* full = AddSolid(doc, {{cmyk[0], 1.0}, {cmyk[1], 1.0}, {cmyk[2], 1.0}, {cmyk[3], 1.0}});
    TestConverter converter(doc, options);
    Configure(converter, {}, {}, 4, {3});
    converter.Convert();
    EXPECT_EQ(converter.pixelCalls, 0);
    const std::vector<Amount> amounts = SolidAmounts(full);
    ASSERT_EQ(amounts.size(), 3u);
    for (const Amount& amount : amounts) {
        EXPECT_EQ(amount.fraction, 1.0);
    }
}

TEST_F(PaintConversion, NinetyNinePercentGoesThroughTheTransform) {
    options.SetKeepRegistrationColor(true);
    AddSolid(doc, {{cmyk[0], 1.0}, {cmyk[1], 1.0}, {cmyk[2], 0.99}, {cmyk[3], 1.0}});
    TestConverter converter(doc, options);
    Configure(converter);
    converter.Convert();
    EXPECT_EQ(converter.pixelCalls, 1);
}

TEST_F(PaintConversion, RegistrationPaints) {
    paint_t* reg = AddSolid(doc, {{cmyk[0], 0.5}}, /*registration=*/true);
    {
        options.SetKeepRegistrationColor(true);
        TestConverter converter(doc, options);
        Configure(converter);
        converter.Convert();
        EXPECT_TRUE(PAI_is_registration(reg));
        EXPECT_EQ(ChangeCount(reg), 0);
    }
    options.SetKeepRegistrationColor(false);
    TestConverter converter(doc, options);
    Configure(converter);
    converter.pixel = CopyChannels(4, 4);
    converter.Convert();
    EXPECT_FALSE(PAI_is_registration(reg));
    EXPECT_EQ(ChangeCount(reg), 1);
    EXPECT_EQ(SolidAmounts(reg).size(), 1u);
}

TEST_F(PaintConversion, ExceptionInksAreCarriedOverAboveTheThreshold) {
    paint_t* kept = AddSolid(doc, {{cmyk[0], 0.5}, {gold, 0.3}});
    paint_t* faint = AddSolid(doc, {{cmyk[0], 0.5}, {gold, 0.0004}});
    TestConverter converter(doc, options);
    Configure(converter, {gold});
    converter.pixel = CopyChannels(4, 4);
    converter.Convert();
    EXPECT_EQ(SolidAmounts(kept),
              (std::vector<Amount>{{Output(0), 128 / 255.0, 1}, {gold, 0.3, 1}}));
    EXPECT_EQ(SolidAmounts(faint), (std::vector<Amount>{{Output(0), 128 / 255.0, 1}}));
}

TEST_F(PaintConversion, ZeroPercentInksComeBackWhenTheConverterKeepsThem) {
    inkt_t* red = AddInk(doc, Spot("Red"));
    paint_t* faint = AddSolid(doc, {{cmyk[0], 0.5}, {gold, 0.0004}, {red, 0.7}});
    TestConverter converter(doc, options);
    Configure(converter, {gold}, {red});
    converter.keepZeroPercentInks = true;
    converter.pixel = [](const unsigned char*, unsigned char* out, int, bool) {
        std::fill(out, out + 4, 0);
        out[3] = 51;
        return 0;
    };
    converter.Convert();
    // Output first, then the inks the paint lost, at 0%, ordered by handle.
    std::vector<Amount> expected{{Output(3), 0.2, 1}};
    std::vector<inkt_t*> lost{cmyk[0], gold, red};
    std::sort(lost.begin(), lost.end());
    for (inkt_t* ink : lost) {
        expected.push_back({ink, 0.0, 1});
    }
    EXPECT_EQ(SolidAmounts(faint), expected);
}

TEST_F(PaintConversion, ExceptionInkThatIsAlsoAnOutputKeepsTheConvertedValue) {
    inkt_t* o0 = AddInk(doc, [] {
        InkSetup s;
        s.book = "Out";
        s.name = "O0";
        return s;
    }());
    paint_t* paint = AddSolid(doc, {{cmyk[1], 0.2}, {o0, 0.9}});
    TestConverter converter(doc, options);
    Configure(converter, {o0});
    converter.pixel = [](const unsigned char*, unsigned char* out, int, bool) {
        std::fill(out, out + 4, 0);
        out[0] = 102;
        return 0;
    };
    converter.Convert();
    EXPECT_EQ(SolidAmounts(paint), (std::vector<Amount>{{o0, 0.4, 1}}));
}

TEST_F(PaintConversion, VignetteStepsAreConvertedButNotTheVignette) {
    paint_t* vignette =
        AddVignette(doc, {{{cmyk[0], 0.1}}, {{cmyk[0], 0.5}}, {{cmyk[0], 1.0}}});
    TestConverter converter(doc, options);
    Configure(converter);
    converter.pixel = CopyChannels(4, 4);
    converter.Convert();
    EXPECT_EQ(converter.pixelCalls, 3);
    EXPECT_EQ(ChangeCount(vignette), 0);
    for (paint_t* step : VignetteSteps(vignette)) {
        EXPECT_EQ(ChangeCount(step), 1);
        ASSERT_EQ(SolidAmounts(step).size(), 1u);
        EXPECT_EQ(SolidAmounts(step)[0].ink, Output(0));
    }
}

TEST_F(PaintConversion, AFailingTransformLeavesThePaintAsItWas) {
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.5}, {gold, 0.2}});
    TestConverter converter(doc, options);
    Configure(converter, {gold});
    converter.pixel = [](const unsigned char*, unsigned char* out, int, bool) {
        out[0] = 77;
        return -1;
    };
    converter.Convert();
    EXPECT_EQ(SolidAmounts(paint), (std::vector<Amount>{{cmyk[0], 0.5, 1}, {gold, 0.2, 1}}));
    EXPECT_EQ(ChangeCount(paint), 0);
    EXPECT_TRUE(PaintHistory(paint).empty());
}

TEST_F(PaintConversion, AnInkInNeitherTableIsReportedAndKept) {
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.5}, {gold, 0.25}});
    TestConverter converter(doc, options);
    Configure(converter);  // gold registered nowhere
    std::vector<unsigned char> seen;
    converter.pixel = [&](const unsigned char* in, unsigned char* out, int, bool) {
        seen.assign(in, in + 4);
        std::fill(out, out + 4, 0);
        out[0] = in[0];
        return 0;
    };
    RecordingMessageSink messages;
    converter.Convert();
    EXPECT_EQ(messages.assertions(), 1u);
    EXPECT_EQ(seen, (std::vector<unsigned char>{128, 0, 0, 0}));
    EXPECT_EQ(SolidAmounts(paint),
              (std::vector<Amount>{{Output(0), 128 / 255.0, 1}, {gold, 0.25, 1}}));
}
