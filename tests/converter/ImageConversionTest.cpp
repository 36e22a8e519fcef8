#include <gtest/gtest.h>

#include <set>

#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"
#include "tests/converter/TestConverter.h"

using namespace rdz::kelt;

namespace {

constexpr unsigned int kLeaveUnconverted = 0x20000;

InkSetup Spot(const char* name) {
    InkSetup spec;
    spec.book = "Spots";
    spec.name = name;
    return spec;
}

std::vector<TCMS::InkInfo> OutNames(int n) {
    std::vector<TCMS::InkInfo> names;
    for (int i = 0; i < n; ++i) {
        names.emplace_back("Out", "O" + std::to_string(i));
    }
    return names;
}

/// Pixels of an image of `planes` planes where sample (row, plane, x) is
/// row * 64 + plane * 16 + x (small images only).
std::vector<std::uint8_t> Ramp(int width, int height, int planes) {
    std::vector<std::uint8_t> pixels;
    for (int r = 0; r < height; ++r) {
        for (int p = 0; p < planes; ++p) {
            for (int x = 0; x < width; ++x) {
                pixels.push_back(static_cast<std::uint8_t>(r * 64 + p * 16 + x));
            }
        }
    }
    return pixels;
}

/// The samples of one plane of `pixels` (laid out as ImageSetup::pixels).
std::vector<std::uint8_t> Plane(const std::vector<std::uint8_t>& pixels, int width, int height,
                                int planes, int plane) {
    std::vector<std::uint8_t> out;
    for (int r = 0; r < height; ++r) {
        const size_t start = static_cast<size_t>((r * planes + plane) * width);
        out.insert(out.end(), pixels.begin() + static_cast<std::ptrdiff_t>(start),
                   pixels.begin() + static_cast<std::ptrdiff_t>(start + static_cast<size_t>(width)));
    }
    return out;
}

/// out channel c = 255 - in channel c (inputs beyond the outputs ignored).
TestConverter::PixelFunction Invert(int nIn, int nOut) {
    return [=](const unsigned char* in, unsigned char* out, int n, bool) {
        for (int p = 0; p < n; ++p) {
            for (int c = 0; c < nOut; ++c) {
                out[p * nOut + c] = c < nIn ? static_cast<unsigned char>(255 - in[p * nIn + c]) : 9;
            }
        }
        return 0;
    };
}

class ImageConversion : public ::testing::Test {
protected:
    void SetUp() override { cmyk = AddCmykInks(doc); }

    ScopedDocument doc;
    TGeneralColorConverterOptions options;
    std::vector<inkt_t*> cmyk;
};

}  // namespace

TEST_F(ImageConversion, CmykWithAlphaToThreeOutputsKeepsAlphaLast) {
    ImageSetup spec;
    spec.inks = cmyk;
    spec.width = 3;
    spec.height = 2;
    spec.alpha = true;
    spec.pixels = Ramp(3, 2, 5);
    ct_def_t* def = AddImageDefinition(doc, spec);

    TestConverter converter(doc, options);
    converter.onInit = [&](TestConverter& c) {
        for (inkt_t* ink : cmyk) {
            c.AddInputInk(ink);
        }
        c.AddOutputInks(3, OutNames(3), {});
    };
    converter.pixel = Invert(4, 3);
    converter.Convert();

    ASSERT_NE(def->internal, nullptr);
    EXPECT_EQ(CTI_nplanes(def->internal), 4);
    EXPECT_EQ(def->nrInks, 3);
    EXPECT_TRUE(CT_contains_alpha(def));
    EXPECT_EQ(ImageKind(def->internal), 17);
    const std::vector<std::uint8_t>& out = ImagePixels(def->internal);
    for (int c = 0; c < 3; ++c) {
        std::vector<std::uint8_t> expected = Plane(spec.pixels, 3, 2, 5, c);
        for (auto& v : expected) {
            v = static_cast<std::uint8_t>(255 - v);
        }
        EXPECT_EQ(Plane(out, 3, 2, 4, c), expected) << "plane " << c;
    }
    EXPECT_EQ(Plane(out, 3, 2, 4, 3), Plane(spec.pixels, 3, 2, 5, 4));
    EXPECT_EQ(converter.pixelCalls, 2);  // one call per row
}

TEST_F(ImageConversion, ExceptionPlanesMoveBehindTheOutputPlanes) {
    inkt_t* gold = AddInk(doc, Spot("Gold"));
    inkt_t* silver = AddInk(doc, Spot("Silver"));
    ImageSetup spec;
    spec.inks = {gold, silver};
    spec.width = 4;
    spec.height = 2;
    spec.pixels = Ramp(4, 2, 2);
    ct_def_t* def = AddImageDefinition(doc, spec);

    TestConverter converter(doc, options);
    converter.onInit = [&](TestConverter& c) {
        c.AddInputInk(cmyk[0]);
        c.AddImageExceptionInk(gold);
        c.AddImageExceptionInk(silver);
        c.AddOutputInks(2, OutNames(2), {});
    };
    converter.pixel = Invert(1, 2);
    converter.Convert();

    ASSERT_EQ(def->nrInks, 4);
    EXPECT_EQ(def->inks[2], gold);
    EXPECT_EQ(def->inks[3], silver);
    const std::vector<std::uint8_t>& out = ImagePixels(def->internal);
    // The output planes hold the transform's answer for all-zero input.
    EXPECT_EQ(Plane(out, 4, 2, 4, 0), std::vector<std::uint8_t>(8, 255));
    EXPECT_EQ(Plane(out, 4, 2, 4, 1), std::vector<std::uint8_t>(8, 9));
    EXPECT_EQ(Plane(out, 4, 2, 4, 2), Plane(spec.pixels, 4, 2, 2, 0));
    EXPECT_EQ(Plane(out, 4, 2, 4, 3), Plane(spec.pixels, 4, 2, 2, 1));
}

TEST_F(ImageConversion, DroppedChannelsMoveTheFollowingPlanesUp) {
    ImageSetup spec;
    spec.inks = cmyk;
    spec.width = 2;
    spec.height = 1;
    spec.pixels = Ramp(2, 1, 4);
    ct_def_t* def = AddImageDefinition(doc, spec);
    TestConverter converter(doc, options);
    converter.onInit = [&](TestConverter& c) {
        for (inkt_t* ink : cmyk) {
            c.AddInputInk(ink);
        }
        c.AddOutputInks(4, OutNames(4), {1});
    };
    converter.pixel = Invert(4, 4);
    converter.Convert();
    ASSERT_EQ(def->nrInks, 3);
    const std::vector<std::uint8_t>& out = ImagePixels(def->internal);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{255, 254, 223, 222, 207, 206}));
}

TEST_F(ImageConversion, AFailingTransformLeavesTheDefinitionAsItWas) {
    ImageSetup spec;
    spec.inks = cmyk;
    spec.width = 2;
    spec.height = 3;
    spec.pixels = Ramp(2, 3, 4);
    ct_def_t* def = AddImageDefinition(doc, spec);
    cti_image_t* before = def->internal;
    TestConverter converter(doc, options);
    converter.onInit = [&](TestConverter& c) {
        for (inkt_t* ink : cmyk) {
            c.AddInputInk(ink);
        }
        c.AddOutputInks(3, OutNames(3), {});
    };
    int rows = 0;
    converter.pixel = [&](const unsigned char*, unsigned char*, int, bool) {
        return ++rows == 2 ? -1 : 0;
    };
    converter.Convert();
    EXPECT_EQ(def->internal, before);
    EXPECT_EQ(def->nrInks, 4);
    EXPECT_EQ(ImagePixels(def->internal), spec.pixels);
}

TEST_F(ImageConversion, DefinitionsTheConverterDoesNotNeedStayUntouched) {
    ImageSetup spec;
    spec.inks = cmyk;
    spec.width = 2;
    spec.height = 1;
    spec.internal = false;
    ct_def_t* def = AddImageDefinition(doc, spec);
    TestConverter converter(doc, options);
    converter.onInit = [&](TestConverter& c) {
        c.SetMakeAllImagesInternal(false);
        c.AddInputInk(cmyk[0]);
        c.AddOutputInks(1, OutNames(1), {});
    };
    int asked = 0;
    converter.requiresConversion = [&](int nrInks, inkt_t** inks) {
        ++asked;
        EXPECT_EQ(nrInks, 4);
        EXPECT_EQ(inks[0], cmyk[0]);
        return false;
    };
    converter.Convert();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(IsExternal(def));
    EXPECT_EQ(converter.pixelCalls, 0);
}

TEST_F(ImageConversion, PlaneMapsOfSingleInkPaintsAreFolded) {
    inkt_t* gold = AddInk(doc, Spot("Gold"));
    paint_t* goldPaint = AddSolid(doc, {{gold, 1.0}});
    paint_t* cyanPaint = AddSolid(doc, {{cmyk[0], 1.0}});
    ImageSetup spec;
    spec.inks = {nullptr, nullptr};
    spec.width = 1;
    spec.height = 1;
    spec.pixels = {10, 20};
    ct_def_t* def = AddImageDefinition(doc, spec);
    document_object_t* layer = AddLayer(AddComponent(doc));
    ct_object_t* first = AddImagePlacement(layer, def, {goldPaint, cyanPaint});
    ct_object_t* second = AddImagePlacement(layer, def, {goldPaint, cyanPaint});

    TestConverter converter(doc, options);
    converter.onInit = [&](TestConverter& c) {
        c.AddInputInk(cmyk[0]);
        c.AddExceptionInk(gold);
        c.AddImageExceptionInk(gold);
        c.AddOutputInks(1, OutNames(1), {});
    };
    converter.pixel = Invert(1, 1);
    converter.Convert();
    EXPECT_EQ(first->planeMapUsed, 0);
    EXPECT_EQ(second->planeMapUsed, 0);
    ASSERT_EQ(def->nrInks, 2);
    EXPECT_EQ(ImagePixels(def->internal), (std::vector<std::uint8_t>{235, 10}));
    EXPECT_EQ(def->inks[1], gold);
}

TEST_F(ImageConversion, OneUnfoldablePlacementKeepsEveryPlaneMap) {
    inkt_t* gold = AddInk(doc, Spot("Gold"));
    paint_t* goldPaint = AddSolid(doc, {{gold, 1.0}});
    paint_t* twoInks = AddSolid(doc, {{gold, 0.5}, {cmyk[0], 0.5}});
    ImageSetup spec;
    spec.inks = {nullptr};
    spec.width = 1;
    spec.height = 1;
    spec.pixels = {10};
    ct_def_t* def = AddImageDefinition(doc, spec);
    document_object_t* layer = AddLayer(AddComponent(doc));
    ct_object_t* clean = AddImagePlacement(layer, def, {goldPaint});
    ct_object_t* spoilt = AddImagePlacement(layer, def, {twoInks});

    TestConverter converter(doc, options);
    converter.onInit = [&](TestConverter& c) {
        c.AddInputInk(gold);
        c.AddInputInk(cmyk[0]);
        c.AddOutputInks(1, OutNames(1), {});
    };
    converter.Convert();
    EXPECT_NE(def->flags & kLeaveUnconverted, 0u);
    EXPECT_EQ(clean->planeMapUsed, 1);
    EXPECT_EQ(spoilt->planeMapUsed, 1);
    EXPECT_EQ(def->inks[0], nullptr);
    EXPECT_EQ(ImagePixels(def->internal), std::vector<std::uint8_t>{10});
    EXPECT_EQ(converter.pixelCalls, 2);  // the two paints only
}

TEST_F(ImageConversion, PlacementsFoldingToDifferentInksKeepTheirPlaneMaps) {
    paint_t* cyanPaint = AddSolid(doc, {{cmyk[0], 1.0}});
    paint_t* magentaPaint = AddSolid(doc, {{cmyk[1], 1.0}});
    ImageSetup spec;
    spec.inks = {nullptr};
    spec.width = 1;
    spec.height = 1;
    ct_def_t* def = AddImageDefinition(doc, spec);
    document_object_t* layer = AddLayer(AddComponent(doc));
    ct_object_t* a = AddImagePlacement(layer, def, {cyanPaint});
    ct_object_t* b = AddImagePlacement(layer, def, {magentaPaint});
    TestConverter converter(doc, options);
    converter.onInit = [&](TestConverter& c) {
        c.AddInputInk(cmyk[0]);
        c.AddInputInk(cmyk[1]);
        c.AddOutputInks(1, OutNames(1), {});
    };
    converter.Convert();
    EXPECT_NE(def->flags & kLeaveUnconverted, 0u);
    EXPECT_EQ(a->planeMapUsed, 1);
    EXPECT_EQ(b->planeMapUsed, 1);
    EXPECT_EQ(def->inks[0], nullptr);
}

TEST_F(ImageConversion, PlanesInAnyOrderReachTheirChannels) {
    // Planes Y, K, C, M into input channels C, M, Y, K; the four outputs
    // (the inverted inputs, in channel order) come back in channel order,
    // all kept or with one dropped.
    ImageSetup spec;
    spec.width = 4;
    spec.height = 3;
    spec.pixels = Ramp(4, 3, 4);
    const int planeOfChannel[4] = {2, 3, 0, 1};
    for (const std::set<int>& skipped : {std::set<int>{}, std::set<int>{1}}) {
        SCOPED_TRACE(skipped.size());
        ScopedDocument local;
        std::vector<inkt_t*> inks = AddCmykInks(local);
        ImageSetup image = spec;
        image.inks = {inks[2], inks[3], inks[0], inks[1]};
        ct_def_t* def = AddImageDefinition(local, image);
        TestConverter converter(local, options);
        converter.onInit = [&](TestConverter& c) {
            for (inkt_t* ink : inks) {
                c.AddInputInk(ink);
            }
            c.AddOutputInks(4, OutNames(4), skipped);
        };
        converter.pixel = Invert(4, 4);
        converter.Convert();
        const std::vector<std::uint8_t>& out = ImagePixels(def->internal);
        const int planes = 4 - static_cast<int>(skipped.size());
        for (int c = 0, k = 0; c < 4; ++c) {
            if (skipped.count(c) != 0) {
                continue;
            }
            std::vector<std::uint8_t> expected = Plane(spec.pixels, 4, 3, 4, planeOfChannel[c]);
            for (auto& v : expected) {
                v = static_cast<std::uint8_t>(255 - v);
            }
            EXPECT_EQ(Plane(out, 4, 3, planes, k++), expected) << "channel " << c;
        }
    }
}
