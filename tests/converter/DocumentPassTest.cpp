#include <gtest/gtest.h>

#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"
#include "tests/converter/TestConverter.h"

using namespace rdz::kelt;

namespace {

class DocumentPass : public ::testing::Test {
protected:
    void SetUp() override { cmyk = AddCmykInks(doc); }

    void ConvertCyanTo(TestConverter& c, int nrOutputs = 1) {
        c.onInit = [=](TestConverter& conv) {
            conv.AddInputInk(cmyk[0]);
            std::vector<TCMS::InkInfo> names;
            for (int i = 0; i < nrOutputs; ++i) {
                names.emplace_back("Out", "O" + std::to_string(i));
            }
            conv.AddOutputInks(nrOutputs, names, {});
        };
    }

    ct_def_t* CyanImage(bool monochrome = false, bool internal = true) {
        ImageSetup spec;
        spec.inks = {cmyk[0]};
        spec.width = 2;
        spec.height = 2;
        spec.monochrome = monochrome;
        spec.internal = internal;
        return AddImageDefinition(doc, spec);
    }

    ScopedDocument doc;
    TGeneralColorConverterOptions options;
    std::vector<inkt_t*> cmyk;
};

}  // namespace

TEST_F(DocumentPass, WithoutInputInksOnlyEndRuns) {
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.5}});
    ct_def_t* def = CyanImage(false, false);
    TestConverter converter(doc, options);
    converter.Convert();
    EXPECT_EQ(converter.initCalls, 1);
    EXPECT_EQ(converter.endCalls, 1);
    EXPECT_EQ(converter.pixelCalls, 0);
    EXPECT_EQ(ChangeCount(paint), 0);
    EXPECT_TRUE(IsExternal(def));
    EXPECT_TRUE(converter.ConversionRan());
}

TEST_F(DocumentPass, AFailedInitStopsBeforeThePassesAndWithoutEnd) {
    AddSolid(doc, {{cmyk[0], 0.5}});
    class FailingInit : public TestConverter {
    public:
        using TestConverter::TestConverter;

    protected:
        int Init() override {
            TestConverter::Init();
            AddInputInk(Inks(TheDoc)[0]);
            return -1;
        }
    } converter(doc, options);
    converter.Convert();
    EXPECT_EQ(converter.endCalls, 0);
    EXPECT_EQ(converter.pixelCalls, 0);
    EXPECT_FALSE(converter.ConversionRan());
}

TEST_F(DocumentPass, ImagesOffTouchesNoDefinition) {
    options.SetConvertCMYKImages(false);
    ct_def_t* def = CyanImage(false, false);
    TestConverter converter(doc, options);
    ConvertCyanTo(converter);
    converter.Convert();
    EXPECT_TRUE(IsExternal(def));
    EXPECT_EQ(def->nrInks, 1);
    EXPECT_EQ(def->inks[0], cmyk[0]);
}

TEST_F(DocumentPass, MonochromeAndMarkedDefinitionsAreOnlyMadeInternal) {
    ct_def_t* mono = CyanImage(true, false);
    ct_def_t* marked = CyanImage(false, false);
    marked->flags |= 0x20000;
    {
        TestConverter converter(doc, options);
        ConvertCyanTo(converter, 2);
        converter.onInit = [&, init = converter.onInit](TestConverter& c) {
            init(c);
            c.SetMakeAllImagesInternal(false);
        };
        converter.Convert();
        EXPECT_TRUE(IsExternal(mono));
        EXPECT_TRUE(IsExternal(marked));
    }
    TestConverter converter(doc, options);
    ConvertCyanTo(converter, 2);
    converter.Convert();
    EXPECT_EQ(converter.pixelCalls, 0);
    EXPECT_FALSE(IsExternal(mono));
    EXPECT_FALSE(IsExternal(marked));
    EXPECT_EQ(mono->nrInks, 1);
    EXPECT_EQ(marked->inks[0], cmyk[0]);
}

TEST_F(DocumentPass, PaintsInsideOpacityMasksAreProtectedByCopies) {
    paint_t* shared = AddSolid(doc, {{cmyk[0], 0.5}});
    paint_t* masked = AddSolid(doc, {{cmyk[0], 0.25}});
    document_object_t* layer = AddLayer(AddComponent(doc));
    AddPath(layer, shared);
    attribute_t* attribute = AddAttribute(AddPath(layer), masked, true);
    document_object_t* content = AddOpacityMask(attribute, 22);
    document_object_t* maskPath = AddPath(content, shared);
    AddPath(content, masked);

    options.SetFlatten(false);
    TestConverter converter(doc, options);
    ConvertCyanTo(converter);
    converter.pixel = [](const unsigned char* in, unsigned char* out, int, bool) {
        out[0] = in[0];
        return 0;
    };
    converter.Convert();

    const std::vector<paint_t*> paints = Paints(doc);
    ASSERT_EQ(paints.size(), 4u);  // the two originals and one copy of each
    EXPECT_EQ(ChangeCount(shared), 1);
    EXPECT_EQ(ChangeCount(masked), 1);
    EXPECT_EQ(ChangeCount(paints[2]), 0);
    EXPECT_EQ(ChangeCount(paints[3]), 0);
    EXPECT_EQ(SolidAmounts(paints[2]), (std::vector<Amount>{{cmyk[0], 0.5, 1}}));
    paint_info_t* info = ATR_get_paint_info(Attributes(maskPath)[0]);
    EXPECT_EQ(info->paint, paints[2]);
    // The masked object's own attribute is normal artwork: converted.
    EXPECT_EQ(ATR_get_paint_info(attribute)->paint, masked);
}

TEST_F(DocumentPass, FlattenOrConvertingMaskPaintsCopiesNothing) {
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.5}});
    document_object_t* layer = AddLayer(AddComponent(doc));
    attribute_t* attribute = AddAttribute(AddPath(layer), paint, true);
    AddPath(AddOpacityMask(attribute, 22), paint);
    for (int run = 0; run < 2; ++run) {
        options.SetFlatten(run == 0);
        options.SetConvertOpacityMaskPaints(run == 1);
        TestConverter converter(doc, options);
        ConvertCyanTo(converter);
        converter.Convert();
        EXPECT_EQ(Paints(doc).size(), 1u);
        EXPECT_EQ(ChangeCount(paint), run + 1);
    }
}

TEST_F(DocumentPass, ResolveSetsTheOptionsInOrderAndKeepsOneUnnamedLayer) {
    document_object_t* component = AddComponent(doc, "page");
    AddLayer(component, "one");
    AddLayer(component, "two");
    AddLayer(component, "three");
    AddComponent(doc, "empty");
    VGE_set_enable_noise(5);

    TestConverter converter(doc, options);
    converter.Resolve();

    EXPECT_EQ(NoiseLevel(), 5);
    const std::vector<document_object_t*> children = Children(component);
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(component->layer, children[0]);
    EXPECT_STREQ(children[0]->name, "");

    const std::vector<ResolverSession>& sessions = ResolverSessions(doc);
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_TRUE(sessions[0].deleted);
    const std::vector<ResolverOption>& set = sessions[0].options;
    const std::vector<std::string> keys{"technicalinksasnormal", "accuracy",
                                        "locktechnicalobjects",  "expandexternalreferences",
                                        "useinternalimages",     "removedummymasks",
                                        "blendmodelevel",        "transparencygrouplevel",
                                        "opacitymasklevel",      "colormodel"};
    ASSERT_EQ(set.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(set[i].key, keys[i]);
    }
    EXPECT_EQ(set[0].intValue, 0);
    EXPECT_EQ(set[1].kind, 1);
    EXPECT_EQ(set[1].doubleValue, 0.01);
    EXPECT_EQ(set[2].intValue, 1);
    EXPECT_EQ(set[5].intValue, 0);
    EXPECT_EQ(set[6].textValue, "Opaque");
    EXPECT_EQ(set[7].textValue, "All");
    EXPECT_EQ(set[8].textValue, "All");
    EXPECT_EQ(set[9].textValue, "none");
    // Resolve and Apply per component, then Flush.
    ASSERT_EQ(sessions[0].events.size(), 6u);
    EXPECT_EQ(sessions[0].events[0].step, ResolverStep::Resolve);
    EXPECT_EQ(sessions[0].events[1].step, ResolverStep::Apply);
    EXPECT_EQ(sessions[0].events[2].step, ResolverStep::Flush);
}

TEST_F(DocumentPass, ResolveWithoutAResolverOnlyReplacesRegistrationInks) {
    InkSetup all;
    all.book = "Spots";
    all.name = "All";
    all.kinds = InkRegistration;
    inkt_t* registration = AddInk(doc, all);
    paint_t* paint = AddSolid(doc, {{registration, 1.0}});
    document_object_t* component = AddComponent(doc);
    AddLayer(component, "one");
    AddLayer(component, "two");
    SetResolverAvailable(doc, false);
    VGE_set_enable_noise(3);

    TestConverter converter(doc, options);
    converter.Resolve();
    EXPECT_EQ(NoiseLevel(), 3);
    EXPECT_EQ(Children(component).size(), 2u);
    EXPECT_EQ(SolidAmounts(paint).size(), 4u);
}
