// Streamed pixel images, the memory budget and the row observer.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/kelt_db.h"
#include "platform/kelt/ImageStreams.h"
#include "platform/kelt/kelt_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace rdz::kelt;

/// Rows whose sample (row, plane, x) is 100 * row + 10 * plane + x; it
/// fails on `failRow` and counts the reads.
class RampSource : public RowSource {
  public:
    RampSource(int width, int planes, int* reads, int failRow = -1)
        : width_(width), planes_(planes), reads_(reads), failRow_(failRow) {}
    bool ReadRow(int row, unsigned char* planes) override {
        ++*reads_;
        if (row == failRow_) {
            return false;
        }
        for (int p = 0; p < planes_; ++p) {
            for (int x = 0; x < width_; ++x) {
                planes[p * width_ + x] = static_cast<unsigned char>(100 * row + 10 * p + x);
            }
        }
        return true;
    }

  private:
    int width_;
    int planes_;
    int* reads_;
    int failRow_;
};

struct SinkLog {
    std::vector<Bytes> rows;
    const ct_def_t* finishedWith = nullptr;
    bool destroyed = false;
};

class RecordingSink : public RowSink {
  public:
    RecordingSink(SinkLog* log, std::size_t rowBytes) : log_(log), rowBytes_(rowBytes) {}
    ~RecordingSink() override { log_->destroyed = true; }
    bool WriteRow(int, const unsigned char* planes) override {
        log_->rows.emplace_back(planes, planes + rowBytes_);
        return true;
    }
    void Finish(ct_def_t* definition) override { log_->finishedWith = definition; }

  private:
    SinkLog* log_;
    std::size_t rowBytes_;
};

class ImageStreams : public testing::Test {
  protected:
    void TearDown() override { SetMemoryBudget(0); }

    /// A streamed 3 x 2 definition of two ink planes and alpha.
    ct_def_t* Streamed(int failRow = -1) {
        ImageSetup setup;
        setup.inks = {cmyk[0], cmyk[3]};
        setup.width = 3;
        setup.height = 2;
        setup.alpha = true;
        setup.params[2] = 77;  // replaced by the stream number
        return AddStreamedImageDefinition(doc, setup,
                                          std::make_unique<RampSource>(3, 3, &reads, failRow));
    }

    SinkLog log;  // outlives the document, whose images hold the sinks
    ScopedDocument doc{"streams"};
    std::vector<inkt_t*> cmyk = AddCmykInks(doc);
    int reads = 0;
};

TEST_F(ImageStreams, StreamedDefinitionReadsItsRowsOnDemandAndHoldsNoPixels) {
    const std::uint64_t held = HeldPixelBytes();
    ct_def_t* definition = Streamed();
    ASSERT_NE(nullptr, definition);
    EXPECT_LT(definition->ctParam3, 0);
    EXPECT_EQ(0, reads);
    EXPECT_EQ(held, HeldPixelBytes());
    cti_image_t* image = CT_internal_handle(definition);
    EXPECT_EQ(PixelStorage::Source, StorageOf(image));
    EXPECT_EQ(3, CTI_nplanes(image));

    Bytes row(9);
    ASSERT_EQ(0, CTI_getrow_line_il(image, 1, 0, 0, row.data()));
    EXPECT_EQ((Bytes{100, 101, 102, 110, 111, 112, 120, 121, 122}), row);
    Bytes part(2);
    ASSERT_EQ(0, CTI_getrow_line_il(image, 0, 1, 2, part.data()));
    EXPECT_EQ((Bytes{12, 22}), part);
    EXPECT_EQ(2, reads);

    // Whole, it is an ordinary image counted in the held bytes.
    EXPECT_EQ((Bytes{0, 1, 2, 10, 11, 12, 20, 21, 22, 100, 101, 102, 110, 111, 112, 120, 121, 122}),
              ImagePixels(image));
    EXPECT_EQ(PixelStorage::Memory, StorageOf(image));
    EXPECT_EQ(held + 18, HeldPixelBytes());
}

TEST_F(ImageStreams, RowsTheSourceCannotMakeAreFailedReads) {
    ct_def_t* definition = Streamed(1);
    cti_image_t* image = CT_internal_handle(definition);
    Bytes row(9);
    EXPECT_EQ(0, CTI_getrow_line_il(image, 0, 0, 0, row.data()));
    EXPECT_EQ(-1, CTI_getrow_line_il(image, 1, 0, 0, row.data()));
    // Writing into it needs it whole, which fails: nothing changes.
    EXPECT_EQ(-1, CTI_putrow_line_il(image, row.data(), 0, 0, 0));
    EXPECT_TRUE(ImagePixels(image).empty());
    EXPECT_EQ(PixelStorage::Source, StorageOf(image));
}

TEST_F(ImageStreams, TargetOfAStreamedDefinitionSendsItsRowsToTheSink) {
    ct_def_t* definition = Streamed();
    SinkRequest asked;
    ASSERT_TRUE(SetRowSinkFactory(definition, [&](const SinkRequest& request) {
        asked = request;
        const std::size_t planes = request.inks.size() + (request.alpha ? 1 : 0);
        return std::make_unique<RecordingSink>(&log, planes * request.width);
    }));
    const std::uint64_t held = HeldPixelBytes();
    soa_t* inks = SOA_create(1);
    SOA_set_object(inks, 0, cmyk[1]);
    cti_image_t* target =
        CTI_create(definition->ctParam1, definition->ctParam2, definition->ctParam3, 2, 3,
                   CTI_KIND_PLANES_ALPHA, 8, inks, 0, 0);
    ASSERT_NE(nullptr, target);
    EXPECT_EQ(PixelStorage::Sink, StorageOf(target));
    EXPECT_EQ(held, HeldPixelBytes());
    EXPECT_EQ(definition, asked.definition);
    EXPECT_EQ(std::vector<inkt_t*>{cmyk[1]}, asked.inks);
    EXPECT_TRUE(asked.alpha);

    const Bytes first{1, 2, 3, 4, 5, 6};
    const Bytes second{7, 8, 9, 10, 11, 12};
    EXPECT_EQ(-1, CTI_putrow_line_il(target, second.data(), 1, 0, 0));  // out of order
    EXPECT_EQ(-1, CTI_putrow_line_il(target, first.data(), 0, 1, 0));   // not whole
    ASSERT_EQ(0, CTI_putrow_line_il(target, first.data(), 0, 0, 0));
    ASSERT_EQ(0, CTI_putrow_line_il(target, second.data(), 1, 0, 0));
    Bytes back(6);
    EXPECT_EQ(-1, CTI_getrow_line_il(target, 0, 0, 0, back.data()));
    EXPECT_EQ((std::vector<Bytes>{first, second}), log.rows);
    EXPECT_EQ(nullptr, log.finishedWith);

    CT_set_internal(definition, target);
    EXPECT_EQ(definition, log.finishedWith);
    EXPECT_EQ(1, definition->nrInks);
    EXPECT_FALSE(log.destroyed);
}

TEST_F(ImageStreams, ReleasedSinkImageIsGivenUpAndOtherImagesStayInMemory) {
    ct_def_t* definition = Streamed();
    SetRowSinkFactory(definition,
                      [&](const SinkRequest&) { return std::make_unique<RecordingSink>(&log, 3); });
    cti_image_t* target =
        CTI_create(0, 0, definition->ctParam3, 2, 3, CTI_KIND_PLANES, 8, SOA_create(1), 0, 0);
    const Bytes row{1, 2, 3};
    ASSERT_EQ(0, CTI_putrow_line_il(target, row.data(), 0, 0, 0));
    CTI_release(target);
    EXPECT_TRUE(log.destroyed);
    EXPECT_EQ(nullptr, log.finishedWith);

    // Another size, or no stream number: an ordinary image.
    cti_image_t* other =
        CTI_create(0, 0, definition->ctParam3, 5, 3, CTI_KIND_PLANES, 8, SOA_create(1), 0, 0);
    EXPECT_EQ(PixelStorage::Memory, StorageOf(other));
    FreeImage(other);
    SetRowSinkFactory(definition, nullptr);
    cti_image_t* unsent =
        CTI_create(0, 0, definition->ctParam3, 2, 3, CTI_KIND_PLANES, 8, SOA_create(1), 0, 0);
    EXPECT_EQ(PixelStorage::Memory, StorageOf(unsent));
    FreeImage(unsent);
}

TEST_F(ImageStreams, ObserverSeesWholeRowsReadAndWrittenWithTheirDefinition) {
    ct_def_t* definition = Streamed();
    struct Seen {
        const ct_def_t* definition;
        int row;
        Bytes planes;
        bool written;
    };
    std::vector<Seen> seen;
    SetRowObserver([&](const ct_def_t* d, int row, const unsigned char* planes, int count,
                       int width, bool written) {
        seen.push_back({d, row, Bytes(planes, planes + count * width), written});
    });
    cti_image_t* source = CT_internal_handle(definition);
    Bytes row(9);
    CTI_getrow_line_il(source, 0, 0, 0, row.data());
    CTI_getrow_line_il(source, 0, 1, 0, row.data());  // not whole: not seen
    // An ordinary target made right after: seen with the definition it is for.
    cti_image_t* target = CTI_create(0, 0, 0, 2, 3, CTI_KIND_PLANES, 8, SOA_create(1), 0, 0);
    const Bytes written{9, 8, 7};
    CTI_putrow_line_il(target, written.data(), 1, 0, 0);
    SetRowObserver(nullptr);
    FreeImage(target);

    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(definition, seen[0].definition);
    EXPECT_FALSE(seen[0].written);
    EXPECT_EQ((Bytes{0, 1, 2, 10, 11, 12, 20, 21, 22}), seen[0].planes);
    EXPECT_EQ(definition, seen[1].definition);
    EXPECT_EQ(1, seen[1].row);
    EXPECT_TRUE(seen[1].written);
    EXPECT_EQ(written, seen[1].planes);
}

TEST_F(ImageStreams, BudgetRefusesWhatDoesNotFitAndSaysHowMuchWasAskedFor) {
    const std::uint64_t before = ReservedImageMemory();
    SetMemoryBudget(before + 1000);
    ReserveImageMemory(600, "a band");
    try {
        ReserveImageMemory(3u << 20, "the image 'photo' (1024 x 1024 pixels, 3 planes)");
        FAIL() << "reserved beyond the budget";
    } catch (const MemoryBudgetExceeded& refused) {
        const std::string text = refused.what();
        EXPECT_NE(std::string::npos,
                  text.find("the image 'photo' (1024 x 1024 pixels, 3 planes) needs 3.0 MiB of "
                            "memory, more than the 400 B left of the memory budget of "))
            << text;
    }
    EXPECT_EQ(before + 600, ReservedImageMemory());
    ReleaseImageMemory(600);
    EXPECT_EQ(before, ReservedImageMemory());

    // The database's own images reserve before they allocate.
    ImageSetup setup;
    setup.inks = cmyk;
    setup.width = 100;
    setup.height = 100;
    setup.params[2] = 0;
    EXPECT_THROW(AddImageDefinition(doc, setup), MemoryBudgetExceeded);
    EXPECT_THROW(CTI_create(0, 0, 0, 100, 100, CTI_KIND_PLANES, 8, SOA_create(4), 0, 0),
                 MemoryBudgetExceeded);
    EXPECT_EQ(before, ReservedImageMemory());
    EXPECT_TRUE(ImageDefinitions(doc).empty());
}

TEST(HeldPixels, FollowImagesWithoutCountingExternalPixelsTwice) {
    const std::uint64_t held = HeldPixelBytes();
    {
        ScopedDocument doc;
        ImageSetup setup;
        setup.inks = AddCmykInks(doc);
        setup.width = 10;
        setup.height = 5;
        setup.internal = false;
        ct_def_t* definition = AddImageDefinition(doc, setup);
        EXPECT_EQ(held + 200, HeldPixelBytes());
        ASSERT_EQ(0, CT_make_internal(definition));
        EXPECT_EQ(held + 200, HeldPixelBytes());

        // A one-row image costs what a square one of as many pixels costs.
        setup.internal = true;
        setup.width = 10000;
        setup.height = 1;
        AddImageDefinition(doc, setup);
        const std::uint64_t oneRow = HeldPixelBytes();
        setup.width = 100;
        setup.height = 100;
        AddImageDefinition(doc, setup);
        EXPECT_EQ(oneRow - (held + 200), HeldPixelBytes() - oneRow);

        // Pixels a reader reserved and filled are handed over, not counted twice.
        const std::uint64_t reserved = ReservedImageMemory();
        const std::uint64_t before = HeldPixelBytes();
        ReserveImageMemory(40, "read pixels");
        setup.internal = false;
        setup.width = 2;
        setup.height = 5;
        setup.pixels.assign(40, 7);
        ct_def_t* handed = AddImageDefinition(doc, std::move(setup), true);
        ASSERT_NE(nullptr, handed);
        EXPECT_EQ(reserved + 40, ReservedImageMemory());
        EXPECT_EQ(before + 40, HeldPixelBytes());
        ASSERT_EQ(0, CT_make_internal(handed));
        EXPECT_EQ(Bytes(40, 7), ImagePixels(CT_internal_handle(handed)));
        EXPECT_EQ(reserved + 40, ReservedImageMemory());
    }
    EXPECT_EQ(held, HeldPixelBytes());
}

TEST(MemoryBudgetDefaults, UnlimitedUnlessSetAndTheDefaultIsHalfOfMemory) {
    EXPECT_EQ(0u, MemoryBudget());
#ifdef _WIN32
    // A 32-bit program cannot have more than its address space, whatever
    // the machine has.
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    ASSERT_TRUE(GlobalMemoryStatusEx(&status));
    EXPECT_GT(DefaultMemoryBudget(), 0u);
    EXPECT_LE(DefaultMemoryBudget(), status.ullTotalPhys / 2);
    EXPECT_LE(DefaultMemoryBudget(), status.ullTotalVirtual / 2);
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    const std::uint64_t physical = static_cast<std::uint64_t>(pages) * pageSize;
    EXPECT_GT(DefaultMemoryBudget(), 0u);
    EXPECT_LE(DefaultMemoryBudget(), physical / 2);
#endif
    EXPECT_EQ("512 B", MemorySizeText(512));
    EXPECT_EQ("34.0 KiB", MemorySizeText(34 * 1024));
    EXPECT_EQ("4.0 GiB", MemorySizeText(std::uint64_t{4} << 30));
}

}  // namespace
