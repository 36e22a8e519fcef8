// One link of either engine transforms pixels and values on several threads at
// once with the bytes it gives on one thread.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "ICMFixtures.h"
#include "TestFolders.h"
#include "engine/icm/TintICM.h"
#include "engine/littlecms/TintLittleCMS.h"

namespace {

constexpr int kThreads = 4;
constexpr int kPixels = 2000;

/// Runs `work` on kThreads threads started together; the number of threads
/// whose work returned false.
int OnThreads(const std::function<bool()>& work) {
    std::atomic<int> ready{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            ++ready;
            while (ready.load() < kThreads) {
                std::this_thread::yield();
            }
            for (int round = 0; round < 5; ++round) {
                if (!work()) {
                    ++failed;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return failed.load();
}

void ExpectConcurrentPixels(const TintLink& link, int inChannels, int outChannels) {
    const Bytes input = Noise(static_cast<std::size_t>(kPixels * inChannels), 5);
    Bytes expected(static_cast<std::size_t>(kPixels * outChannels));
    ASSERT_TRUE(link.Transform(kPixels, input.data(), expected.data()));
    EXPECT_EQ(0, OnThreads([&] {
                  Bytes out(expected.size(), 0xEE);
                  return link.Transform(kPixels, input.data(), out.data()) && out == expected;
              }));
}

void ExpectConcurrentValues(const TintLink& link, int inChannels, int outChannels) {
    std::vector<double> input;
    for (int i = 0; i < 200 * inChannels; ++i) {
        input.push_back((i * 37 % 101) / 100.0);
    }
    std::vector<double> expected(static_cast<std::size_t>(200 * outChannels));
    ASSERT_TRUE(link.TransformValues(200, input.data(), expected.data()));
    EXPECT_EQ(0, OnThreads([&] {
                  std::vector<double> out(expected.size(), -1.0);
                  return link.TransformValues(200, input.data(), out.data()) && out == expected;
              }));
}

}  // namespace

TEST(ConcurrentTransform, LittleCMSLinks) {
    const Bytes cmyk = GhostscriptProfile("default_cmyk.icc");
    const Bytes psCmyk = GhostscriptProfile("ps_cmyk.icc");
    if (cmyk.empty() || psCmyk.empty()) {
        GTEST_SKIP() << "Debian's ghostscript profiles are not installed";
    }
    TintLittleCMS& engine = *TintLittleCMS::GetInstance();
    const TintLink pixels = engine.CreateProfileLink(OpenProfile(cmyk), OpenProfile(psCmyk),
                                                     TintRI_Perceptual, 8, false);
    ExpectConcurrentPixels(pixels, 4, 4);
    const TintLink values = engine.CreateProfileLink(OpenProfile(cmyk), OpenProfile(psCmyk),
                                                     TintRI_Perceptual, 16, false);
    ExpectConcurrentValues(values, 4, 4);
}

TEST(ConcurrentTransform, ColourSystemLinks) {
    const Bytes srgb = GhostscriptProfile("srgb.icc");
    const Bytes cmyk = GhostscriptProfile("default_cmyk.icc");
    if (srgb.empty() || cmyk.empty()) {
        GTEST_SKIP() << "Debian's ghostscript profiles are not installed";
    }
    AppDataFolders folders;  // the Adobe CMM's preferences stay in a temporary folder
    TintICM& icm = *TintICM::GetInstance();
    // The colour system builds its transform for a pair of pixel formats on
    // first use: the first calls of the threads race for it.
    const TintLink pixels =
        icm.CreateProfileLink(OpenICM(srgb), OpenICM(cmyk), TintRI_Perceptual, 8, false);
    const Bytes input = Noise(3 * kPixels, 8);
    Bytes expected(4 * kPixels);
    {
        const TintLink reference =
            icm.CreateProfileLink(OpenICM(srgb), OpenICM(cmyk), TintRI_Perceptual, 8, false);
        ASSERT_TRUE(reference.Transform(kPixels, input.data(), expected.data()));
    }
    EXPECT_EQ(0, OnThreads([&] {
                  Bytes out(expected.size(), 0xEE);
                  return pixels.Transform(kPixels, input.data(), out.data()) && out == expected;
              }));
    const TintLink values =
        icm.CreateProfileLink(OpenICM(srgb), OpenICM(cmyk), TintRI_Perceptual, 16, false);
    ExpectConcurrentValues(values, 3, 4);
}
