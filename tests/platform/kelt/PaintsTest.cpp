#include <gtest/gtest.h>

#include <vector>

#include "host/kelt_db.h"
#include "platform/kelt/kelt_builder.h"

namespace {

using rdz::kelt::Amount;
using Amounts = std::vector<Amount>;

class KeltPaints : public testing::Test {
  protected:
    rdz::kelt::ScopedDocument doc;
    std::vector<inkt_t*> cmyk = rdz::kelt::AddCmykInks(doc);
    inkt_t* spot = AddSpot("Gold", 0);
    inkt_t* registration = AddSpot("All", rdz::kelt::InkRegistration);

    inkt_t* AddSpot(const char* name, unsigned kinds) {
        rdz::kelt::InkSetup setup;
        setup.book = "Spots";
        setup.name = name;
        setup.kinds = kinds;
        return rdz::kelt::AddInk(doc, setup);
    }
};

TEST_F(KeltPaints, SolidIsRewrittenThroughItsList) {
    paint_t* paint = rdz::kelt::AddSolid(doc, {{cmyk[0], 0.5}, {spot, 0.25}});
    ASSERT_NE(nullptr, PAI_get_solid(paint));
    EXPECT_EQ(nullptr, PAI_get_vignet(paint));
    EXPECT_EQ(nullptr, PAI_one_ink(paint));

    // What a converter does: log, empty, append new amounts, mark changed.
    PAI_log_solids(paint);
    SL_make_empty(PAI_get_solid(paint)->inkAmounts, IA_release);
    SL_append_after_last(PAI_get_solid(paint)->inkAmounts, IA_create(cmyk[3], 1.0 / 255, 1));
    PAO_set_changed(paint->paintObject);
    PAO_set_changed(paint->paintObject);

    EXPECT_EQ((Amounts{{cmyk[3], 1.0 / 255, 1}}), rdz::kelt::SolidAmounts(paint));
    EXPECT_EQ(cmyk[3], PAI_one_ink(paint));
    EXPECT_EQ(2, rdz::kelt::ChangeCount(paint));
    const std::vector<Amounts> history = rdz::kelt::PaintHistory(paint);
    ASSERT_EQ(1u, history.size());
    EXPECT_EQ((Amounts{{cmyk[0], 0.5, 1}, {spot, 0.25, 1}}), history[0]);
}

TEST_F(KeltPaints, VignetteOwnsItsStepsWhichAreNotInThePaintList) {
    paint_t* solid = rdz::kelt::AddSolid(doc, {{spot, 1.0}});
    paint_t* vignette =
        rdz::kelt::AddVignette(doc, {{{cmyk[0], 0.1}}, {{cmyk[0], 0.5}}, {{cmyk[0], 1.0}}});
    EXPECT_EQ(nullptr, PAI_get_solid(vignette));
    ASSERT_NE(nullptr, PAI_get_vignet(vignette));
    EXPECT_EQ(3, SL_count_items(PAI_get_vignet(vignette)->steps));
    EXPECT_EQ((std::vector<paint_t*>{solid, vignette}), rdz::kelt::Paints(doc));
    EXPECT_EQ(2, SOL_count_items(doc->paints));

    std::vector<paint_t*> steps = rdz::kelt::VignetteSteps(vignette);
    ASSERT_EQ(3u, steps.size());
    EXPECT_EQ(cmyk[0], PAI_one_ink(steps[2]));
    PAI_log_solids(vignette);  // nothing to log for a vignette
    EXPECT_TRUE(rdz::kelt::PaintHistory(vignette).empty());
}

TEST_F(KeltPaints, HistoryIsKeptPerPaintForStepsAndLoosePaints) {
    paint_t* vignette = rdz::kelt::AddVignette(doc, {{{spot, 0.2}}, {{spot, 0.4}}});
    paint_t* other = rdz::kelt::AddSolid(doc, {{cmyk[0], 0.7}});
    paint_t* step = rdz::kelt::VignetteSteps(vignette)[1];
    PAI_log_solids(step);
    PAI_log_solids(other);
    SL_make_empty(PAI_get_solid(step)->inkAmounts, IA_release);
    PAI_log_solids(step);
    EXPECT_EQ((std::vector<Amounts>{{{spot, 0.4, 1}}, {}}), rdz::kelt::PaintHistory(step));
    EXPECT_EQ((std::vector<Amounts>{{{cmyk[0], 0.7, 1}}}), rdz::kelt::PaintHistory(other));
    EXPECT_TRUE(rdz::kelt::PaintHistory(rdz::kelt::VignetteSteps(vignette)[0]).empty());

    paint_t* loose = PAI_copy(other);  // logged before and after it joins the document
    PAI_log_solids(loose);
    PDB_add_paint(loose);
    PAI_log_solids(loose);
    EXPECT_EQ(2u, rdz::kelt::PaintHistory(loose).size());

    rdz::kelt::ClearPaintHistory(doc);
    EXPECT_TRUE(rdz::kelt::PaintHistory(loose).empty());
    EXPECT_TRUE(rdz::kelt::PaintHistory(step).empty());
}

TEST_F(KeltPaints, CopyIsDeepAndAddedOnceAtTheEnd) {
    paint_t* original = rdz::kelt::AddSolid(doc, {{cmyk[1], 0.3}}, true);
    PAO_set_changed(original->paintObject);
    paint_t* copy = PAI_copy(original);
    EXPECT_NE(PAI_get_solid(original)->inkAmounts, PAI_get_solid(copy)->inkAmounts);
    EXPECT_EQ(1, PAI_is_registration(copy));
    EXPECT_EQ(0, rdz::kelt::ChangeCount(copy));

    SL_make_empty(PAI_get_solid(copy)->inkAmounts, IA_release);
    EXPECT_EQ((Amounts{{cmyk[1], 0.3, 1}}), rdz::kelt::SolidAmounts(original));

    PDB_add_paint(copy);
    PDB_add_paint(copy);  // a second add must not make the list own it twice
    PDB_add_paint(original);
    EXPECT_EQ((std::vector<paint_t*>{original, copy}), rdz::kelt::Paints(doc));

    paint_t* vignette = rdz::kelt::AddVignette(doc, {{{spot, 0.2}}, {{spot, 0.4}}});
    paint_t* vignetteCopy = PAI_copy(vignette);
    std::vector<paint_t*> steps = rdz::kelt::VignetteSteps(vignetteCopy);
    ASSERT_EQ(2u, steps.size());
    EXPECT_NE(rdz::kelt::VignetteSteps(vignette)[0], steps[0]);
    EXPECT_EQ((Amounts{{spot, 0.4, 1}}), rdz::kelt::SolidAmounts(steps[1]));
    PDB_add_paint(steps[0]);  // a step belongs to its vignette
    EXPECT_EQ(3u, rdz::kelt::Paints(doc).size());
    rdz::kelt::FreePaint(vignetteCopy);
}

TEST_F(KeltPaints, RegistrationFlag) {
    paint_t* paint = rdz::kelt::AddRegistrationPaint(doc, registration);
    EXPECT_EQ(1, PAI_is_registration(paint));
    PAI_set_registration(paint, 0);
    EXPECT_EQ(0, PAI_is_registration(paint));
    EXPECT_EQ(0, PAI_is_registration(nullptr));
}

TEST_F(KeltPaints, RegistrationInksBecomeProcessInksInPlace) {
    paint_t* mark = rdz::kelt::AddRegistrationPaint(doc, registration, 0.8);
    paint_t* mixed = rdz::kelt::AddSolid(
        doc, {{spot, 0.2}, {registration, 0.5}, {cmyk[1], 0.9}, {cmyk[2], 0.1}});
    paint_t* vignette = rdz::kelt::AddVignette(doc, {{{registration, 0.4}}});
    paint_t* plain = rdz::kelt::AddSolid(doc, {{spot, 0.6}});

    PDB_replace_registration_inks();

    EXPECT_EQ((Amounts{{cmyk[0], 0.8, 1}, {cmyk[1], 0.8, 1}, {cmyk[2], 0.8, 1}, {cmyk[3], 0.8, 1}}),
              rdz::kelt::SolidAmounts(mark));
    EXPECT_EQ(1, PAI_is_registration(mark));
    // Magenta and yellow were there: they keep their place and the larger fraction.
    EXPECT_EQ((Amounts{{spot, 0.2, 1},
                       {cmyk[0], 0.5, 1},
                       {cmyk[3], 0.5, 1},
                       {cmyk[1], 0.9, 1},
                       {cmyk[2], 0.5, 1}}),
              rdz::kelt::SolidAmounts(mixed));
    EXPECT_EQ(4u, rdz::kelt::SolidAmounts(rdz::kelt::VignetteSteps(vignette)[0]).size());
    EXPECT_EQ((Amounts{{spot, 0.6, 1}}), rdz::kelt::SolidAmounts(plain));
    EXPECT_EQ(0, rdz::kelt::ChangeCount(mark));
}

TEST(KeltPaintsNoProcess, RegistrationStaysWithoutProcessInks) {
    rdz::kelt::ScopedDocument doc;
    rdz::kelt::InkSetup setup;
    setup.name = "All";
    setup.kinds = rdz::kelt::InkRegistration;
    inkt_t* all = rdz::kelt::AddInk(doc, setup);
    paint_t* mark = rdz::kelt::AddRegistrationPaint(doc, all);
    PDB_replace_registration_inks();
    EXPECT_EQ((Amounts{{all, 1.0, 1}}), rdz::kelt::SolidAmounts(mark));
}

TEST(KeltPaintsNoProcess, UnattachedSolidIsFreedByItsOwner) {
    paint_t* loose = rdz::kelt::NewSolid({{nullptr, 0.5}});
    PDB_add_paint(loose);  // no TheDoc: stays the caller's
    rdz::kelt::FreePaint(loose);

    rdz::kelt::ScopedDocument doc;
    paint_t* adopted = rdz::kelt::NewSolid({});
    PDB_add_paint(adopted);
    rdz::kelt::FreePaint(adopted);  // ignored: the document owns it now
    EXPECT_EQ(1u, rdz::kelt::Paints(doc).size());
}

}  // namespace
