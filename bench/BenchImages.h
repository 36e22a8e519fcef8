// Benchmark images: reproducible content like that of real prepress images
// (BenchNoise.h has the other extreme, pure noise, where no pixel repeats).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchNoise.h"

/// What a benchmark image holds.
enum class BenchContent {
    Noise,      // every byte random: a cache never hits
    Realistic,  // gradients, flat blocks, a photograph with grain
};

inline const char* ContentName(BenchContent content) {
    return content == BenchContent::Noise ? "noise" : "realistic";
}

/// A `width` x `height` image of `channels` 8-bit channels, pixel-interleaved.
/// Realistic: the top quarter is smooth gradients over every channel (runs of
/// equal pixels as wide as one step of the ramp), the next quarter flat
/// blocks of solid colours (a layout with tints and text areas), the lower
/// half a "photograph": smooth shapes with grain of about +-6 on every
/// channel, so that neighbours rarely repeat.
inline std::vector<std::uint8_t> RealisticImage(int width, int height, int channels,
                                                std::uint32_t seed = 1) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) *
                                     static_cast<std::size_t>(height) *
                                     static_cast<std::size_t>(channels));
    std::uint32_t state = seed;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 24;
    };
    std::size_t i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                int v = 0;
                if (y < height / 4) {
                    const int along = c % 2 == 0 ? x : y * 4;
                    const int span = c % 2 == 0 ? width : height;
                    v = (along * 255 / std::max(1, span) + c * 30) % 256;
                } else if (y < height / 2) {
                    const int block = (x / 250) * 7 + (y / 180) * 3 + c * 5;
                    v = (block % 6) * 51;
                } else {
                    const int shape =
                        ((x / 3) ^ (y / 5)) % 97 + (x + 2 * y) * 160 / (width + height);
                    const int grain = static_cast<int>(next() % 13) - 6;
                    v = std::clamp(shape + c * 20 + grain, 0, 255);
                }
                pixels[i++] = static_cast<std::uint8_t>(v);
            }
        }
    }
    return pixels;
}

/// The same samples plane after plane in each row (the document's layout).
inline std::vector<std::uint8_t> Planar(const std::vector<std::uint8_t>& interleaved, int width,
                                        int height, int channels) {
    std::vector<std::uint8_t> planar(interleaved.size());
    std::size_t out = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = interleaved.data() + static_cast<std::size_t>(y) *
                                                           static_cast<std::size_t>(width) *
                                                           static_cast<std::size_t>(channels);
        for (int c = 0; c < channels; ++c) {
            for (int x = 0; x < width; ++x) {
                planar[out++] = row[static_cast<std::size_t>(x) * channels + c];
            }
        }
    }
    return planar;
}

/// An image of one content at a time, made once for every round that asks
/// for it (making a 6000 x 6000 image takes longer than converting it).
struct BenchImage {
    BenchContent content = BenchContent::Noise;
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<std::uint8_t> interleaved;
    std::vector<std::uint8_t> planar;
};

inline const BenchImage& CachedImage(BenchContent content, int width, int height, int channels) {
    static BenchImage image;
    if (image.interleaved.empty() || image.content != content || image.width != width ||
        image.height != height || image.channels != channels) {
        image = BenchImage{};
        image.content = content;
        image.width = width;
        image.height = height;
        image.channels = channels;
        const std::size_t size = static_cast<std::size_t>(width) *
                                 static_cast<std::size_t>(height) *
                                 static_cast<std::size_t>(channels);
        image.interleaved =
            content == BenchContent::Noise ? Noise(size) : RealisticImage(width, height, channels);
        image.planar = Planar(image.interleaved, width, height, channels);
    }
    return image;
}
