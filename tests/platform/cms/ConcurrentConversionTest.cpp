// One prepared transform used from several threads at once gives every row
// the bytes it gives on one thread; rows with runs of equal pixels give the
// bytes of their pixels converted one by one (the pixel caches change no byte).
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/cms/StandIn.h"
#include "platform/cms/TInk.h"
#include "tests/platform/cms/CmsTestSupport.h"
#include "tests/platform/cms/LinkTestSupport.h"

using namespace cmstest;

namespace {

/// `count` rows of `width` pixels of `channels` bytes: flat runs, gradients
/// and noise, each row different.
std::vector<std::vector<unsigned char>> Rows(int count, int width, int channels) {
    std::vector<std::vector<unsigned char>> rows;
    std::uint32_t state = 99;
    for (int r = 0; r < count; ++r) {
        std::vector<unsigned char> row;
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                int v = 0;
                if (x < width / 3) {
                    v = ((x / 16 + r + c) % 5) * 60;  // runs of 16 equal pixels
                } else if (x < 2 * width / 3) {
                    v = (x * 3 + r * 7 + c * 50) % 256;
                } else {
                    state = state * 1664525u + 1013904223u;
                    v = static_cast<int>(state >> 24);
                }
                row.push_back(static_cast<unsigned char>(v));
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

/// Every pixel in a call of its own: no pixel can reuse another's result.
std::vector<unsigned char> PixelByPixel(const std::shared_ptr<TColTransf>& strategy,
                                        const std::vector<unsigned char>& in, int nrInputs,
                                        int nrOutputs) {
    const std::size_t pixels = in.size() / static_cast<std::size_t>(nrInputs);
    std::vector<unsigned char> out(pixels * static_cast<std::size_t>(nrOutputs));
    for (std::size_t p = 0; p < pixels; ++p) {
        EXPECT_EQ(
            0, TCMS_ColTransfConvertAligned(strategy, &in[p * nrInputs], &out[p * nrOutputs], 1));
    }
    return out;
}

/// Converts every row on four threads at once, each thread taking the rows
/// in another order, and expects each thread's bytes to be `expected`.
void ExpectSameOnFourThreads(const std::shared_ptr<TColTransf>& strategy,
                             const std::vector<std::vector<unsigned char>>& rows,
                             const std::vector<std::vector<unsigned char>>& expected,
                             int nrInputs) {
    constexpr int kThreads = 4;
    std::atomic<int> ready{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready.load() < kThreads) {
                std::this_thread::yield();
            }
            for (int round = 0; round < 3; ++round) {
                for (std::size_t i = 0; i < rows.size(); ++i) {
                    const std::size_t r = (i * (t + 1) + static_cast<std::size_t>(t)) % rows.size();
                    std::vector<unsigned char> out(expected[r].size());
                    const int n = static_cast<int>(rows[r].size()) / nrInputs;
                    if (TCMS_ColTransfConvertAligned(strategy, rows[r].data(), out.data(), n) !=
                            0 ||
                        out != expected[r]) {
                        ++wrong;
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, wrong.load());
}

void CheckStrategy(const std::shared_ptr<TColTransf>& strategy, int nrInputs) {
    const int nrOutputs =
        static_cast<int>(TCMS_ColTransfGetNamesOfOutputInks(strategy, false).size());
    const auto rows = Rows(24, 300, nrInputs);
    std::vector<std::vector<unsigned char>> expected;
    for (const auto& row : rows) {
        expected.push_back(ConvertRow(strategy, row, nrInputs));
        EXPECT_EQ(expected.back(), PixelByPixel(strategy, row, nrInputs, nrOutputs));
    }
    ExpectSameOnFourThreads(strategy, rows, expected, nrInputs);
}

}  // namespace

TEST(CmsConcurrency, ProfileTransformOnSeveralThreads) {
    OpenDatabase db(ExampleDatabase());
    const auto strategy = TCMS_ColTransfNew(
        TCMS_GetLib(), TCMS::ColTransfTypeProfile, "test", "default_cmyk.icc", "ps_cmyk.icc",
        TCMS::ResolutionLow, TCMS::BlackGenerationNone, TCMS::Perceptual, 0, nullptr, nullptr);
    ASSERT_EQ(0, Prepare(strategy, ProcessInks()));
    CheckStrategy(strategy, 4);
}

TEST(CmsConcurrency, StrategyMixingSpotInksOnSeveralThreads) {
    // Spot inks go through the overprint model with per-call buffers, an
    // explicit-value item through the output sums.
    OpenDatabase db(ExampleDatabase());
    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "Coated to Uncoated");
    ASSERT_TRUE(strategy != nullptr);
    TInkVector inks = ProcessInks();
    inks.push_back(TIDB_GetInk(TCMS_GetLib(), "SPECTRA Solid Coated", "SPECTRA Warm Red C"));
    inks.push_back(TIDB_GetInk(TCMS_GetLib(), "SPECTRA Solid Coated", "SPECTRA Violet C"));
    ASSERT_TRUE(inks[4] != nullptr && inks[5] != nullptr);
    ASSERT_EQ(0, Prepare(strategy, inks));
    CheckStrategy(strategy, 6);
}

TEST(CmsConcurrency, StoredLinkOnSeveralThreads) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    const auto link =
        TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, Process("default_cmyk.icc"),
                         Process("ps_cmyk.icc"), ColourSpacePar(TCMS::RelativeColorimetric, false));
    ASSERT_TRUE(link != nullptr);
    Store(link, "space");
    const auto transform = LinkTransform("space");
    ASSERT_TRUE(transform != nullptr);
    CheckStrategy(transform, 4);

    // One buffer in and out: runs still reuse the right result.
    const auto rows = Rows(3, 200, 4);
    for (const auto& row : rows) {
        std::vector<unsigned char> inPlace = row;
        ASSERT_EQ(0, TCMS_ColTransfConvertAligned(transform, inPlace.data(), inPlace.data(), 200));
        EXPECT_EQ(ConvertRow(transform, row, 4), inPlace);
    }
}
