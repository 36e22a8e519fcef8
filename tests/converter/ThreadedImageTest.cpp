// The image pass on several threads: the same document as with one thread,
// failures and exceptions as with one thread, paints on the calling thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "converter/TColorConverter.h"
#include "converter/WorkerPool.h"
#include "tests/converter/ThreadedOutcome.h"

using namespace rdz::kelt;
using rdz::test::Capture;
using rdz::test::ExpectSameOutcome;
using rdz::test::MixedPixels;
using rdz::test::Outcome;
using rdz::test::ThreadCounts;

namespace {

/// Converts every process ink into three output channels (the middle one
/// dropped) with a transform that mixes the channels of a pixel, and keeps
/// every other ink. Its Convert is safe on several threads: it keeps only
/// atomic counters.
class MixingConverter : public TColorConverter {
  public:
    MixingConverter(document_object_t* document, TGeneralColorConverterOptions& options)
        : TColorConverter(document, options) {}
    MixingConverter(const MixingConverter& other) : TColorConverter(other) {}

    using TColorConverter::Convert;

    /// Called for every row before it is converted; its result replaces the
    /// transform's (non-zero: failure).
    std::function<int(const unsigned char* in, int n)> onRow;

    std::atomic<int> rowCalls{0};
    std::atomic<int> paintCalls{0};
    std::atomic<int> badWorkers{0};       // calls from a worker outside 0 .. threads - 1
    std::atomic<int> paintsElsewhere{0};  // paints not on the thread that called Convert()
    std::thread::id caller;

  protected:
    int Convert(const unsigned char* in, unsigned char* out, int n, bool linework) override {
        const int worker = GetImageWorker();
        if (worker < 0 || worker >= GetThreadCount()) {
            ++badWorkers;
        }
        if (linework) {
            ++paintCalls;
            if (worker != 0 || std::this_thread::get_id() != caller) {
                ++paintsElsewhere;
            }
        } else {
            ++rowCalls;
            if (onRow) {
                const int result = onRow(in, n);
                if (result != 0) {
                    return result;
                }
            }
        }
        const int nIn = GetNrInputInks();
        const int nOut = GetNrOutputInks(true);
        for (int p = 0; p < n; ++p) {
            const unsigned char* pixel = in + p * nIn;
            for (int c = 0; c < nOut; ++c) {
                out[p * nOut + c] =
                    static_cast<unsigned char>(pixel[0] * 3 + pixel[c % nIn] * 7 + c * 11);
            }
        }
        return 0;
    }
    int Init() override {
        TColorConverter::Init();
        caller = std::this_thread::get_id();
        for (inkt_t* ink : Inks(TheDoc)) {
            if (INK_is_process(ink, nullptr) != 0) {
                AddInputInk(ink);
            } else {
                AddExceptionInk(ink);
                AddImageExceptionInk(ink);
            }
        }
        AddOutputInks(3, {{"Out", "A"}, {"Out", "B"}, {"Out", "C"}}, {1});
        return 0;
    }
};

/// A document with paints and images of heights that are no multiple of a
/// band: CMYK + a spot plane + alpha, a single row, and one with a plane of
/// an ink that is neither converted nor kept.
void BuildDocument(document_object_t* doc) {
    std::vector<inkt_t*> cmyk = AddCmykInks(doc, "Process", "CMYK");
    InkSetup spot;
    spot.book = "Spots";
    spot.name = "Gold";
    inkt_t* gold = AddInk(doc, spot);
    AddSolid(doc, {{cmyk[0], 0.25}, {cmyk[3], 0.5}, {gold, 0.75}});
    AddVignette(doc, {{{cmyk[1], 0.1}}, {{cmyk[1], 0.9}}});

    ImageSetup image;
    image.inks = {cmyk[0], cmyk[1], cmyk[2], cmyk[3], gold};
    image.width = 61;
    image.height = 250;
    image.alpha = true;
    image.pixels = MixedPixels(61, 250, 6);
    AddImageDefinition(doc, image);

    image.inks = {cmyk[2], cmyk[0]};
    image.width = 5;
    image.height = 1;
    image.alpha = false;
    image.pixels = MixedPixels(5, 1, 2, 3);
    AddImageDefinition(doc, image);

    image.inks = {cmyk[3], nullptr, cmyk[1]};
    image.width = 300;
    image.height = 37;
    image.pixels = MixedPixels(300, 37, 3, 11);
    AddImageDefinition(doc, image);
}

/// The row number of a gradient row of the tall image (every third row:
/// plane p, sample x is (x * 255 / 60 + p * 40 + y) % 256), else -1.
int GradientRow(const unsigned char* in, int n) {
    if (n != 61) {
        return -1;
    }
    const int y = in[0];
    for (int x = 0; x < 5; ++x) {
        for (int p = 0; p < 4; ++p) {  // input channel p is plane p
            if (in[x * 4 + p] != (x * 255 / 60 + p * 40 + y) % 256) {
                return -1;
            }
        }
    }
    return y;
}

Outcome Convert(int threads, const std::function<int(const unsigned char*, int)>& onRow = {}) {
    RecordingMessageSink messages;
    ScopedDocument doc;
    BuildDocument(doc);
    TGeneralColorConverterOptions options;
    MixingConverter converter(doc, options);
    converter.SetThreadCount(threads);
    converter.onRow = onRow;
    converter.Convert();
    EXPECT_EQ(0, converter.badWorkers.load());
    EXPECT_EQ(0, converter.paintsElsewhere.load());
    EXPECT_GT(converter.paintCalls.load(), 0);
    return Capture(doc, messages);
}

}  // namespace

TEST(ThreadedImagePass, ThreadCountDefaultsToOneAndIsAtLeastOne) {
    ScopedDocument doc;
    TGeneralColorConverterOptions options;
    MixingConverter converter(doc, options);
    EXPECT_EQ(1, converter.GetThreadCount());
    converter.SetThreadCount(4);
    EXPECT_EQ(4, converter.GetThreadCount());
    MixingConverter copy(converter);
    EXPECT_EQ(4, copy.GetThreadCount());
    converter.SetThreadCount(0);
    EXPECT_EQ(1, converter.GetThreadCount());
    converter.SetThreadCount(-3);
    EXPECT_EQ(1, converter.GetThreadCount());
}

TEST(ThreadedImagePass, DocumentComesOutAsWithOneThread) {
    const Outcome one = Convert(1);
    ASSERT_EQ(3u, one.images.size());
    for (int threads : ThreadCounts()) {
        ExpectSameOutcome(one, Convert(threads), threads);
    }
}

TEST(ThreadedImagePass, AFailingRowLeavesItsDefinitionAsWithOneThread) {
    const auto failRow = [](const unsigned char* in, int n) {
        return GradientRow(in, n) == 201 ? -1 : 0;
    };
    const Outcome one = Convert(1, failRow);
    ASSERT_EQ(MixedPixels(61, 250, 6), one.images[0]) << "the failing image keeps its samples";
    for (int threads : ThreadCounts()) {
        ExpectSameOutcome(one, Convert(threads, failRow), threads);
    }
}

TEST(ThreadedImagePass, TheFirstRowThatThrowsReachesTheCaller) {
    for (int threads : {1, 2, 3, 7}) {
        SCOPED_TRACE(threads);
        RecordingMessageSink messages;
        ScopedDocument doc;
        BuildDocument(doc);
        TGeneralColorConverterOptions options;
        MixingConverter converter(doc, options);
        converter.SetThreadCount(threads);
        // Every gradient row from row 100 on throws; row 102 is the first.
        converter.onRow = [](const unsigned char* in, int n) -> int {
            const int y = GradientRow(in, n);
            if (y >= 100) {
                throw std::runtime_error(std::to_string(y));
            }
            return 0;
        };
        try {
            converter.Convert();
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ("102", e.what());
        }
        // The converter runs again once the pass has been left.
        converter.onRow = {};
        converter.Convert();
        EXPECT_TRUE(converter.ConversionRan());
    }
}

TEST(ThreadedImagePass, RowsOfABandRunConcurrently) {
    // The first two rows that start wait for each other (for at most a few
    // seconds): with two threads they meet, so two rows ran at once.
    std::mutex mutex;
    std::condition_variable cv;
    int arrived = 0;
    bool met = false;
    const auto meet = [&](const unsigned char*, int n) {
        if (n != 61) {
            return 0;
        }
        std::unique_lock<std::mutex> lock(mutex);
        if (arrived >= 2) {
            return 0;
        }
        if (++arrived == 2) {
            met = true;
            cv.notify_all();
        } else {
            cv.wait_for(lock, std::chrono::seconds(10), [&] { return met; });
        }
        return 0;
    };
    const Outcome two = Convert(2, meet);
    EXPECT_TRUE(met);
    ExpectSameOutcome(Convert(1), two, 2);
}

TEST(WorkerPool, RunsEveryTaskOnceAndRethrowsTheLowestFailure) {
    WorkerPool pool(3);
    ASSERT_EQ(3, pool.Size());
    EXPECT_EQ(0, WorkerPool::CurrentWorker());
    std::vector<std::atomic<int>> runs(500);
    std::atomic<int> badWorker{0};
    for (int batch = 0; batch < 20; ++batch) {
        pool.Run(25, [&](int worker, int task) {
            badWorker += (worker != WorkerPool::CurrentWorker() || worker < 0 || worker > 2);
            ++runs[static_cast<size_t>(batch * 25 + task)];
            return true;
        });
    }
    for (const std::atomic<int>& count : runs) {
        EXPECT_EQ(1, count.load());
    }
    EXPECT_EQ(0, badWorker.load());

    // False stops the batch: nothing after the tasks already started runs.
    std::atomic<int> started{0};
    pool.Run(1000, [&](int, int task) {
        ++started;
        return task < 10;
    });
    EXPECT_GE(started.load(), 11);
    EXPECT_LT(started.load(), 1000);

    for (int attempt = 0; attempt < 5; ++attempt) {
        try {
            pool.Run(200, [](int, int task) -> bool {
                if (task >= 50) {
                    throw std::runtime_error(std::to_string(task));
                }
                return true;
            });
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ("50", e.what());
        }
    }
    // Still usable after a failed batch.
    std::atomic<int> after{0};
    pool.Run(7, [&](int, int) {
        ++after;
        return true;
    });
    EXPECT_EQ(7, after.load());
}

TEST(WorkerPool, StartLetsTheHelpersWorkWhileTheCallerDoesItsOwn) {
    // The helpers take tasks between Start and Finish: the caller waits
    // there until one task has run on a helper, then joins in Finish.
    WorkerPool pool(2);
    ASSERT_EQ(2, pool.Size());
    std::vector<std::atomic<int>> runs(64);
    std::atomic<int> onHelper{0};
    const WorkerPool::Task task = [&](int worker, int i) {
        onHelper += worker == 1 ? 1 : 0;
        ++runs[static_cast<size_t>(i)];
        return true;
    };
    pool.Start(64, task);
    for (int wait = 0; wait < 5000 && onHelper.load() == 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GT(onHelper.load(), 0) << "no helper ran a task before Finish";
    pool.Finish();
    for (const std::atomic<int>& count : runs) {
        EXPECT_EQ(1, count.load());
    }
    pool.Finish();  // a Finish without a Start does nothing

    // With no helpers the whole batch runs in Finish, on the caller.
    WorkerPool alone(1);
    std::vector<int> order;
    const WorkerPool::Task record = [&](int worker, int i) {
        EXPECT_EQ(0, worker);
        order.push_back(i);
        return true;
    };
    alone.Start(5, record);
    EXPECT_TRUE(order.empty());
    alone.Finish();
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), order);
}
