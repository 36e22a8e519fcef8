// The preview's layout: decided before anything is drawn, never taller than
// the cap, and what it leaves out is counted.
#include <gtest/gtest.h>

#include <vector>

#include "platform/kelt/kelt_builder.h"
#include "tools/Preview.h"

namespace rdz::tools {
namespace {

constexpr int kWidth = 360;  // 344 inside the margins: 24 tiles of 14 pixels a row

void AddPaints(document_object_t* document, int count) {
    inkt_t* cyan = rdz::kelt::AddCmykInks(document)[0];
    for (int i = 0; i < count; ++i) {
        rdz::kelt::AddSolid(document, {{cyan, (i % 100) / 100.0, 1}});
    }
}

/// Square images: drawn 344 wide they are 344 high, 353 with rule and gaps.
void AddImages(document_object_t* document, int count) {
    for (int i = 0; i < count; ++i) {
        rdz::kelt::ImageSetup setup;
        setup.inks.assign(1, nullptr);
        setup.width = 10;
        setup.height = 10;
        ASSERT_NE(nullptr, rdz::kelt::AddImageDefinition(document, setup));
    }
}

TEST(PreviewLayout, FewPaintsGetALineEachAndEverythingIsShown) {
    rdz::kelt::ScopedDocument document;
    AddPaints(document, 3);
    AddImages(document, 1);
    const PreviewLayout layout = PlanPreview(document, kWidth);
    EXPECT_FALSE(layout.tiles);
    EXPECT_TRUE(layout.Complete());
    EXPECT_EQ(3u, layout.paints);
    EXPECT_EQ(1u, layout.images);
    EXPECT_EQ(8 + 3 * 22 + 353 + 8, layout.height);
}

TEST(PreviewLayout, ManyPaintsBecomeTilesWhileTheyFit) {
    rdz::kelt::ScopedDocument document;
    AddPaints(document, 1000);
    const PreviewLayout layout = PlanPreview(document, kWidth);
    EXPECT_TRUE(layout.tiles);
    EXPECT_TRUE(layout.Complete());
    EXPECT_EQ(16 + 42 * 14, layout.height);  // 1000 tiles in 42 rows of 24
}

TEST(PreviewLayout, TooMuchIsCutToTheCapWithPaintsKeepingAtLeastHalf) {
    struct Case {
        int paints;
        int images;
        std::size_t shownPaints;
        std::size_t shownImages;
    };
    // 16368 pixels inside the margins: 1169 tile rows, or 46 images.
    const Case cases[] = {
        {100000, 0, 28056, 0},
        {100000, 3, 1093 * 24, 3},    // the images fit whole beside the paints
        {100000, 100, 584 * 24, 23},  // paints take half, images what is left
        {10, 100, 10, 45},
        {0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.paints) + " paints, " + std::to_string(c.images) + " images");
        rdz::kelt::ScopedDocument document;
        AddPaints(document, c.paints);
        AddImages(document, c.images);
        const PreviewLayout layout = PlanPreview(document, kWidth);
        EXPECT_EQ(c.shownPaints, layout.paints);
        EXPECT_EQ(c.shownImages, layout.images);
        EXPECT_EQ(static_cast<std::size_t>(c.paints), layout.totalPaints);
        EXPECT_EQ(static_cast<std::size_t>(c.images), layout.totalImages);
        EXPECT_LE(layout.height, kMaxPreviewHeight);
        EXPECT_EQ(c.shownPaints == layout.totalPaints && c.shownImages == layout.totalImages,
                  layout.Complete());
    }
}

TEST(PreviewLayout, DrawingFollowsTheLayoutAndTheShortfallIsToldInFull) {
    rdz::kelt::ScopedDocument document;
    AddPaints(document, 40000);
    AddImages(document, 2);
    const PreviewLayout layout = PlanPreview(document, kWidth);
    ASSERT_FALSE(layout.Complete());
    rdz::formats::InkBooks books;
    InkPalette palette(books);
    const Picture picture = DrawDocument(document, palette, layout);
    EXPECT_EQ(kWidth, picture.width);
    EXPECT_EQ(layout.height, picture.height);
    EXPECT_EQ(static_cast<std::size_t>(picture.width) * picture.height * 3, picture.rgb.size());
    EXPECT_EQ("The preview shows " + std::to_string(layout.paints) +
                  " of 40000 paints and 2 of 2 images: all of them would make the picture taller "
                  "than 16384 pixels.",
              PreviewShortfall(layout));
}

}  // namespace
}  // namespace rdz::tools
