// Process-ink coverage of paints and of the rows an image conversion reads
// and writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/kelt/kelt_builder.h"
#include "tools/Coverage.h"

namespace rdz::tools {
namespace {

using rdz::kelt::Amount;

TEST(Coverage, PaintsCountTheirProcessInksOnly) {
    rdz::kelt::ScopedDocument document;
    const std::vector<inkt_t*> cmyk = rdz::kelt::AddCmykInks(document);
    rdz::kelt::InkSetup spot;
    spot.book = "Spots";
    spot.name = "Gold";
    inkt_t* gold = rdz::kelt::AddInk(document, spot);
    rdz::kelt::AddSolid(document, {{cmyk[0], 1.0}, {cmyk[3], 1.0}, {gold, 1.0}});
    rdz::kelt::AddVignette(document, {{{cmyk[1], 0.5}}, {{cmyk[1], 0.25}}});
    rdz::kelt::AddRegistrationPaint(document, cmyk[3]);
    const CoverageStats stats = PaintCoverage(document);
    EXPECT_EQ(3u, stats.count) << "a solid and two steps; registration does not count";
    EXPECT_DOUBLE_EQ(200.0, stats.max);
    EXPECT_DOUBLE_EQ((200.0 + 50.0 + 25.0) / 3.0, stats.Mean());
}

TEST(Coverage, ImageRowsAreCountedAsReadAndAsWrittenByTheFinalInks) {
    rdz::kelt::ScopedDocument document;
    const std::vector<inkt_t*> cmyk = rdz::kelt::AddCmykInks(document);
    rdz::kelt::InkSetup spot;
    spot.name = "Varnish";
    inkt_t* varnish = rdz::kelt::AddInk(document, spot);
    // Two pixels, two rows: Cyan and Varnish planes, and alpha.
    rdz::kelt::ImageSetup setup;
    setup.inks = {cmyk[0], varnish};
    setup.width = 2;
    setup.height = 2;
    setup.alpha = true;
    setup.pixels = {255, 0,   255, 255, 9, 9,   // row 0: cyan | varnish | alpha
                    51,  102, 0,   0,   9, 9};  // row 1
    ct_def_t* definition = rdz::kelt::AddImageDefinition(document, setup);
    ASSERT_NE(nullptr, definition);

    CoverageStats before, after;
    std::vector<const ct_def_t*> converted, failed;
    {
        ImageCoverage coverage;
        // What the image pass does: read each row, write the converted row
        // to a new image (Cyan, Magenta, then the kept Varnish, then alpha),
        // then give the definition the new image.
        soa_t* inks = SOA_create(3);
        SOA_set_object(inks, 0, cmyk[0]);
        SOA_set_object(inks, 1, cmyk[1]);
        SOA_set_object(inks, 2, varnish);
        cti_image_t* target = CTI_create(300, 300, 0, 2, 2, CTI_KIND_PLANES_ALPHA, 8, inks, 0, 0);
        ASSERT_NE(nullptr, target);
        unsigned char row[6];
        const unsigned char written[2][8] = {{128, 0, 64, 0, 255, 255, 9, 9},
                                             {26, 51, 0, 0, 0, 0, 9, 9}};
        for (int y = 0; y < 2; ++y) {
            ASSERT_EQ(0, CTI_getrow_line_il(CT_internal_handle(definition), y, 0, 0, row));
            ASSERT_EQ(0, CTI_putrow_line_il(target, written[y], y, 0, 0));
        }
        CT_set_internal(definition, target);
        coverage.Finish(&before, &after, &converted, &failed);
    }
    ASSERT_EQ(1u, converted.size());
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(4u, before.count);
    EXPECT_DOUBLE_EQ(100.0, before.max) << "Varnish is no process ink";
    EXPECT_DOUBLE_EQ((100.0 + 0.0 + 20.0 + 40.0) / 4.0, before.Mean());
    EXPECT_EQ(4u, after.count);
    EXPECT_NEAR((128 + 64 + 26 + 51) * 100.0 / 255.0 / 4.0, after.Mean(), 1e-9);
    EXPECT_NEAR(64 * 100.0 / 255.0 + 128 * 100.0 / 255.0, after.max, 1e-9);
}

TEST(Coverage, AWideRowIsTotalledWholeAcrossItsPieces) {
    // A one-row image wider than the pieces the totals run in: the darkest
    // pixel sits in the last, partial piece and every pixel counts once.
    rdz::kelt::ScopedDocument document;
    const std::vector<inkt_t*> cmyk = rdz::kelt::AddCmykInks(document);
    const int width = 10007;
    rdz::kelt::ImageSetup setup;
    setup.inks = {cmyk[0], cmyk[3]};
    setup.width = width;
    setup.height = 1;
    setup.pixels.assign(2 * static_cast<std::size_t>(width), 51);
    setup.pixels[static_cast<std::size_t>(width) - 1] = 255;      // cyan of the last pixel
    setup.pixels[2 * static_cast<std::size_t>(width) - 1] = 255;  // black of the last pixel
    ct_def_t* definition = rdz::kelt::AddImageDefinition(document, setup);
    ASSERT_NE(nullptr, definition);

    CoverageStats before, after;
    std::vector<const ct_def_t*> converted, failed;
    {
        ImageCoverage coverage;
        soa_t* inks = SOA_create(2);
        SOA_set_object(inks, 0, cmyk[0]);
        SOA_set_object(inks, 1, cmyk[3]);
        cti_image_t* target = CTI_create(300, 300, 0, 1, width, CTI_KIND_PLANES, 8, inks, 0, 0);
        ASSERT_NE(nullptr, target);
        std::vector<unsigned char> row(2 * static_cast<std::size_t>(width));
        ASSERT_EQ(0, CTI_getrow_line_il(CT_internal_handle(definition), 0, 0, 0, row.data()));
        std::vector<unsigned char> out(2 * static_cast<std::size_t>(width), 0);
        out[4100] = 204;                                    // cyan, second piece
        out[static_cast<std::size_t>(width) + 9000] = 255;  // black, third piece
        out[static_cast<std::size_t>(width) + 4100] = 102;  // black under the cyan
        ASSERT_EQ(0, CTI_putrow_line_il(target, out.data(), 0, 0, 0));
        CT_set_internal(definition, target);
        coverage.Finish(&before, &after, &converted, &failed);
    }
    ASSERT_EQ(1u, converted.size());
    EXPECT_EQ(static_cast<std::uint64_t>(width), before.count);
    EXPECT_DOUBLE_EQ(200.0, before.max);
    EXPECT_NEAR(((width - 1) * 40.0 + 200.0) / width, before.Mean(), 1e-9);
    EXPECT_EQ(static_cast<std::uint64_t>(width), after.count);
    EXPECT_NEAR(306 * 100.0 / 255.0, after.max, 1e-9);
    EXPECT_NEAR((204 + 255 + 102) * 100.0 / 255.0 / width, after.Mean(), 1e-9);
}

TEST(Coverage, AnImageThatKeptItsPixelsCountsAsFailed) {
    rdz::kelt::ScopedDocument document;
    const std::vector<inkt_t*> cmyk = rdz::kelt::AddCmykInks(document);
    rdz::kelt::ImageSetup setup;
    setup.inks = {cmyk[0]};
    setup.width = 3;
    setup.height = 1;
    ct_def_t* definition = rdz::kelt::AddImageDefinition(document, setup);
    CoverageStats before, after;
    std::vector<const ct_def_t*> converted, failed;
    {
        ImageCoverage coverage;
        unsigned char row[3];
        ASSERT_EQ(0, CTI_getrow_line_il(CT_internal_handle(definition), 0, 0, 0, row));
        coverage.Finish(&before, &after, &converted, &failed);
    }
    EXPECT_TRUE(converted.empty());
    EXPECT_EQ(std::vector<const ct_def_t*>{definition}, failed);
    EXPECT_EQ(0u, before.count);
}

}  // namespace
}  // namespace rdz::tools
