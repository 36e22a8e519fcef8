#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "host/kelt_db.h"
#include "platform/kelt/kelt_builder.h"

namespace {

using Report = std::tuple<const ct_def_t*, int, int>;

/// Installs a hook that records every report, and removes it again.
class RecordingRowProgress {
  public:
    RecordingRowProgress() {
        rdz::kelt::SetRowProgress([this](const ct_def_t* definition, int row, int height) {
            reports.emplace_back(definition, row, height);
        });
    }
    ~RecordingRowProgress() { rdz::kelt::SetRowProgress(nullptr); }

    std::vector<Report> reports;
};

TEST(KeltRowProgress, EveryRowReadIsReportedWithItsDefinitionAndFailedReadsAreNot) {
    rdz::kelt::ScopedDocument doc;
    rdz::kelt::ImageSetup setup;
    setup.inks = rdz::kelt::AddCmykInks(doc);
    setup.width = 2;
    setup.height = 3;
    ct_def_t* definition = rdz::kelt::AddImageDefinition(doc, setup);
    ASSERT_NE(nullptr, definition);
    cti_image_t* image = CT_internal_handle(definition);

    RecordingRowProgress progress;
    std::vector<std::uint8_t> row(8);
    ASSERT_EQ(0, CTI_getrow_line_il(image, 2, 0, 0, row.data()));
    ASSERT_EQ(0, CTI_getrow_line_il(image, 0, 1, 1, row.data()));
    EXPECT_EQ(-1, CTI_getrow_line_il(image, 3, 0, 0, row.data()));
    EXPECT_EQ(-1, CTI_getrow_line_il(image, 0, 0, 0, nullptr));
    // Writing rows is not reading them.
    ASSERT_EQ(0, CTI_putrow_line_il(image, row.data(), 1, 0, 0));

    EXPECT_EQ((std::vector<Report>{Report{definition, 2, 3}, Report{definition, 0, 3}}),
              progress.reports);
}

TEST(KeltRowProgress, AnImageOfNoDefinitionReportsNullAndRemovingTheHookStopsReports) {
    soa_t* inks = SOA_create(1);
    cti_image_t* image = CTI_create(300, 300, 0, 4, 5, CTI_KIND_PLANES, 8, inks, 0, 0);
    ASSERT_NE(nullptr, image);
    std::vector<std::uint8_t> row(5);
    {
        RecordingRowProgress progress;
        ASSERT_EQ(0, CTI_getrow_line_il(image, 1, 0, 0, row.data()));
        EXPECT_EQ((std::vector<Report>{Report{nullptr, 1, 4}}), progress.reports);

        // A new hook replaces the old one, which is handed back.
        int calls = 0;
        rdz::kelt::RowProgressFunction previous =
            rdz::kelt::SetRowProgress([&calls](const ct_def_t*, int, int) { ++calls; });
        EXPECT_TRUE(static_cast<bool>(previous));
        ASSERT_EQ(0, CTI_getrow_line_il(image, 3, 0, 0, row.data()));
        EXPECT_EQ(1, calls);
        EXPECT_EQ(1u, progress.reports.size());
    }
    // Removed: reading goes on without a hook.
    EXPECT_FALSE(static_cast<bool>(rdz::kelt::SetRowProgress(nullptr)));
    EXPECT_EQ(0, CTI_getrow_line_il(image, 0, 0, 0, row.data()));
    rdz::kelt::FreeImage(image);
}

}  // namespace
