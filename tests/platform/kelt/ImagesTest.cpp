#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "host/kelt_db.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class KeltImages : public testing::Test {
  protected:
    rdz::kelt::ScopedDocument doc;
    std::vector<inkt_t*> cmyk = rdz::kelt::AddCmykInks(doc);

    /// A 3 x 2 image of two ink planes (cyan, black) plus alpha; sample value
    /// = 100 * row + 10 * plane + column.
    rdz::kelt::ImageSetup TwoPlanesWithAlpha() {
        rdz::kelt::ImageSetup setup;
        setup.inks = {cmyk[0], cmyk[3]};
        setup.width = 3;
        setup.height = 2;
        setup.alpha = true;
        for (int row = 0; row < 2; ++row) {
            for (int plane = 0; plane < 3; ++plane) {
                for (int x = 0; x < 3; ++x) {
                    setup.pixels.push_back(static_cast<std::uint8_t>(100 * row + 10 * plane + x));
                }
            }
        }
        return setup;
    }
};

TEST_F(KeltImages, RowsHoldPlaneAfterPlane) {
    ct_def_t* definition = rdz::kelt::AddImageDefinition(doc, TwoPlanesWithAlpha());
    ASSERT_NE(nullptr, definition);
    EXPECT_EQ(1, CT_contains_alpha(definition));
    cti_image_t* image = CT_internal_handle(definition);
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(3, CTI_nplanes(image));

    Bytes row(9);
    ASSERT_EQ(0, CTI_getrow_line_il(image, 1, 0, 0, row.data()));
    EXPECT_EQ((Bytes{100, 101, 102, 110, 111, 112, 120, 121, 122}), row);

    // From plane 1, column 2: one sample of each remaining plane.
    Bytes part(2);
    ASSERT_EQ(0, CTI_getrow_line_il(image, 0, 1, 2, part.data()));
    EXPECT_EQ((Bytes{12, 22}), part);

    const Bytes written{1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(0, CTI_putrow_line_il(image, written.data(), 0, 0, 0));
    ASSERT_EQ(0, CTI_getrow_line_il(image, 0, 0, 0, row.data()));
    EXPECT_EQ(written, row);
    EXPECT_EQ(18u, rdz::kelt::ImagePixels(image).size());
}

TEST_F(KeltImages, OutOfRangeRowsAreRefusedWithoutTouchingAnything) {
    ct_def_t* definition = rdz::kelt::AddImageDefinition(doc, TwoPlanesWithAlpha());
    cti_image_t* image = CT_internal_handle(definition);
    const Bytes before = rdz::kelt::ImagePixels(image);
    Bytes buffer(9, 0xAB);
    EXPECT_EQ(-1, CTI_getrow_line_il(image, 2, 0, 0, buffer.data()));
    EXPECT_EQ(-1, CTI_getrow_line_il(image, -1, 0, 0, buffer.data()));
    EXPECT_EQ(-1, CTI_getrow_line_il(image, 0, 4, 0, buffer.data()));
    EXPECT_EQ(-1, CTI_getrow_line_il(image, 0, 0, 4, buffer.data()));
    EXPECT_EQ(-1, CTI_getrow_line_il(nullptr, 0, 0, 0, buffer.data()));
    EXPECT_EQ(-1, CTI_getrow_line_il(image, 0, 0, 0, nullptr));
    EXPECT_EQ(Bytes(9, 0xAB), buffer);
    EXPECT_EQ(-1, CTI_putrow_line_il(image, buffer.data(), 2, 0, 0));
    EXPECT_EQ(-1, CTI_putrow_line_il(image, buffer.data(), 0, -1, 0));
    EXPECT_EQ(before, rdz::kelt::ImagePixels(image));
}

TEST_F(KeltImages, CreateChecksItsArgumentsAndOwnsTheInkArray) {
    soa_t* inks = SOA_create(2);
    SOA_set_object(inks, 0, cmyk[2]);
    SOA_set_object(inks, 5, cmyk[1]);  // out of range: ignored
    cti_image_t* image = CTI_create(72, 72, 1, 4, 5, CTI_KIND_PLANES, 8, inks, 0, 0);
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(2, CTI_nplanes(image));
    EXPECT_EQ((std::vector<inkt_t*>{cmyk[2], nullptr}), rdz::kelt::ImageInks(image));
    EXPECT_EQ(Bytes(40, 0), rdz::kelt::ImagePixels(image));
    int params[3];
    rdz::kelt::ImageParams(image, params);
    EXPECT_EQ(72, params[0]);
    EXPECT_EQ(1, params[2]);
    rdz::kelt::FreeImage(image);

    // Failures free the ink array they were given (ASan reports a leak otherwise).
    EXPECT_EQ(nullptr, CTI_create(0, 0, 0, 4, 5, 2, 8, SOA_create(1), 0, 0));
    EXPECT_EQ(nullptr, CTI_create(0, 0, 0, 4, 5, CTI_KIND_PLANES, 16, SOA_create(1), 0, 0));
    EXPECT_EQ(nullptr, CTI_create(0, 0, 0, -1, 5, CTI_KIND_PLANES, 8, SOA_create(1), 0, 0));
    EXPECT_EQ(nullptr, CTI_create(0, 0, 0, 4, 5, CTI_KIND_PLANES, 8, nullptr, 0, 0));
    EXPECT_EQ(nullptr, SOA_create(-1));
}

TEST_F(KeltImages, ExternalPixelsBecomeInternalOnRequest) {
    rdz::kelt::ImageSetup setup = TwoPlanesWithAlpha();
    setup.internal = false;
    setup.params[0] = 150;
    ct_def_t* definition = rdz::kelt::AddImageDefinition(doc, setup);
    ASSERT_NE(nullptr, definition);
    EXPECT_TRUE(rdz::kelt::IsExternal(definition));
    EXPECT_EQ(nullptr, CT_internal_handle(definition));

    ASSERT_EQ(0, CT_make_internal(definition));
    cti_image_t* image = CT_internal_handle(definition);
    ASSERT_NE(nullptr, image);
    EXPECT_FALSE(rdz::kelt::IsExternal(definition));
    EXPECT_EQ(setup.pixels, rdz::kelt::ImagePixels(image));
    EXPECT_EQ(CTI_KIND_PLANES_ALPHA, rdz::kelt::ImageKind(image));
    EXPECT_EQ((std::vector<inkt_t*>{cmyk[0], cmyk[3]}), rdz::kelt::ImageInks(image));
    int params[3];
    rdz::kelt::ImageParams(image, params);
    EXPECT_EQ(150, params[0]);
    EXPECT_EQ(0, CT_make_internal(definition));  // already internal: same image
    EXPECT_EQ(image, CT_internal_handle(definition));
}

TEST_F(KeltImages, SetInternalReplacesImageAndTakesItsPlanes) {
    ct_def_t* definition = rdz::kelt::AddImageDefinition(doc, TwoPlanesWithAlpha());
    soa_t* inks = SOA_create(3);
    for (int i = 0; i < 3; ++i) {
        SOA_set_object(inks, i, cmyk[i]);
    }
    cti_image_t* target =
        CTI_create(definition->ctParam1, definition->ctParam2, definition->ctParam3,
                   definition->height, definition->width, CTI_KIND_PLANES, 8, inks, 0, 0);
    CT_set_internal(definition, target);  // the old image is freed (ASan checks)
    EXPECT_EQ(target, CT_internal_handle(definition));
    ASSERT_EQ(3, definition->nrInks);
    EXPECT_EQ(cmyk[2], definition->inks[2]);
    EXPECT_EQ(0, definition->hasAlpha);

    // An image that another definition holds is not taken over.
    rdz::kelt::RecordingMessageSink sink;
    ct_def_t* other = rdz::kelt::AddImageDefinition(doc, TwoPlanesWithAlpha());
    CT_set_internal(other, target);
    EXPECT_EQ(1u, sink.count(rdz::kelt::MessageLevel::Error));
    EXPECT_NE(target, CT_internal_handle(other));
    CT_set_internal(definition, nullptr);
    EXPECT_EQ(target, CT_internal_handle(definition));
}

TEST_F(KeltImages, BadDefinitionsAreRefused) {
    rdz::kelt::ImageSetup setup = TwoPlanesWithAlpha();
    setup.pixels.pop_back();
    EXPECT_EQ(nullptr, rdz::kelt::AddImageDefinition(doc, setup));
    setup = TwoPlanesWithAlpha();
    setup.width = -3;
    EXPECT_EQ(nullptr, rdz::kelt::AddImageDefinition(doc, setup));
    setup = TwoPlanesWithAlpha();
    setup.pixels.clear();  // all samples 0
    setup.monochrome = true;
    ct_def_t* blank = rdz::kelt::AddImageDefinition(doc, setup);
    ASSERT_NE(nullptr, blank);
    EXPECT_EQ(1, CT_is_monochrome(blank));
    EXPECT_EQ(Bytes(18, 0), rdz::kelt::ImagePixels(CT_internal_handle(blank)));
    EXPECT_EQ((std::vector<ct_def_t*>{blank}), rdz::kelt::ImageDefinitions(doc));
}

TEST_F(KeltImages, PlacementsKeepTheirPlaneMapUntilReset) {
    ct_def_t* definition = rdz::kelt::AddImageDefinition(doc, TwoPlanesWithAlpha());
    paint_t* gold = rdz::kelt::AddSolid(doc, {{cmyk[1], 1.0}});
    document_object_t* layer = rdz::kelt::AddLayer(rdz::kelt::AddComponent(doc));
    EXPECT_EQ(nullptr, rdz::kelt::AddImagePlacement(layer, definition, {gold}));
    ct_object_t* placement = rdz::kelt::AddImagePlacement(layer, definition, {gold, nullptr});
    ASSERT_NE(nullptr, placement);
    EXPECT_EQ(1, OBJ_is_ct_object(placement));
    EXPECT_EQ(1, placement->planeMapUsed);
    EXPECT_EQ(gold, placement->planePaints[0]);
    EXPECT_EQ(nullptr, placement->planePaints[1]);

    // Deleting a definition that is still shown would leave the placement dangling.
    {
        rdz::kelt::RecordingMessageSink sink;
        OBJ_delete(definition);
        EXPECT_EQ(1u, sink.count(rdz::kelt::MessageLevel::Error));
        EXPECT_EQ(1u, rdz::kelt::ImageDefinitions(doc).size());
    }

    CTO_reset_planemap(placement);
    EXPECT_EQ(0, placement->planeMapUsed);
    EXPECT_EQ(nullptr, placement->planePaints);
    CTO_reset_planemap(placement);  // twice is harmless

    OBJ_delete(placement);
    OBJ_delete(definition);
    EXPECT_TRUE(rdz::kelt::ImageDefinitions(doc).empty());
}

}  // namespace
