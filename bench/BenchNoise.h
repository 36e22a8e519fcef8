// Pixel data for the benchmarks: reproducible noise, every byte value alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<std::uint8_t> Noise(std::size_t size, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> pixels(size);
    std::uint32_t state = seed;
    for (auto& v : pixels) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<std::uint8_t>(state >> 24);
    }
    return pixels;
}
