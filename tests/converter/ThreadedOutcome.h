// What a conversion leaves behind, captured so that runs with different thread
// counts can be compared, and test images with the content of real ones.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::test {

/// Thread counts compared with the one-thread run.
inline const std::vector<int>& ThreadCounts() {
    static const std::vector<int> counts{2, 3, 7};
    return counts;
}

/// Samples of a `width` x `height` image of `planes` planes laid out as
/// ImageSetup::pixels: a band of gradients, a band of flat blocks and a band
/// of noise, so that runs of equal pixels and pixels that never repeat both
/// occur in every plane.
inline std::vector<std::uint8_t> MixedPixels(int width, int height, int planes,
                                             std::uint32_t seed = 7) {
    std::vector<std::uint8_t> pixels;
    pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) *
                   static_cast<size_t>(planes));
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int p = 0; p < planes; ++p) {
            for (int x = 0; x < width; ++x) {
                int v = 0;
                if (y % 3 == 0) {
                    v = (x * 255 / (width > 1 ? width - 1 : 1) + p * 40 + y) % 256;
                } else if (y % 3 == 1) {
                    v = ((x / 8 + y / 8 + p) % 4) * 85;
                } else {
                    state = state * 1664525u + 1013904223u;
                    v = static_cast<int>(state >> 24);
                }
                pixels.push_back(static_cast<std::uint8_t>(v));
            }
        }
    }
    return pixels;
}

struct Outcome {
    std::vector<std::string> inks;                  // the document's inks, "book/name", in order
    std::vector<std::string> paints;                // per paint (vignette steps too): its amounts
    std::vector<std::string> imageLayouts;          // per definition: size, kind and inks
    std::vector<std::vector<std::uint8_t>> images;  // per definition: its samples
    std::vector<rdz::kelt::Message> messages;
};

inline std::string InkName(const inkt_t* ink) {
    if (ink == nullptr) {
        return "(none)";
    }
    const char* book = ink->book != nullptr ? IDB_get_inkbook_name(ink->book) : nullptr;
    return std::string(book != nullptr ? book : "") + "/" + (ink->name != nullptr ? ink->name : "");
}

inline std::string Amounts(const paint_t* paint) {
    std::string text;
    for (const rdz::kelt::Amount& amount : rdz::kelt::SolidAmounts(paint)) {
        text += InkName(amount.ink) + "=" + std::to_string(amount.fraction) + ";";
    }
    return text;
}

inline Outcome Capture(const document_object_t* document,
                       const rdz::kelt::RecordingMessageSink& sink) {
    Outcome outcome;
    for (const inkt_t* ink : rdz::kelt::Inks(document)) {
        outcome.inks.push_back(InkName(ink));
    }
    for (const paint_t* paint : rdz::kelt::Paints(document)) {
        std::string text = Amounts(paint);
        for (const paint_t* step : rdz::kelt::VignetteSteps(paint)) {
            text += " | " + Amounts(step);
        }
        outcome.paints.push_back(text);
    }
    for (const ct_def_t* definition : rdz::kelt::ImageDefinitions(document)) {
        const cti_image_t* image = definition->internal;
        std::string layout = "flags " + std::to_string(definition->flags);
        if (image != nullptr) {
            layout += " " + std::to_string(rdz::kelt::ImageWidth(image)) + "x" +
                      std::to_string(rdz::kelt::ImageHeight(image)) + " kind " +
                      std::to_string(rdz::kelt::ImageKind(image));
            for (const inkt_t* ink : rdz::kelt::ImageInks(image)) {
                layout += " " + InkName(ink);
            }
            outcome.images.push_back(rdz::kelt::ImagePixels(image));
        } else {
            outcome.images.emplace_back();
        }
        outcome.imageLayouts.push_back(layout);
    }
    outcome.messages = sink.messages();
    return outcome;
}

/// Expects `actual` (a run with `threads` threads) to equal `expected` (the
/// one-thread run); names the first differing sample of an image.
inline void ExpectSameOutcome(const Outcome& expected, const Outcome& actual, int threads) {
    SCOPED_TRACE("threads: " + std::to_string(threads));
    EXPECT_EQ(expected.inks, actual.inks);
    EXPECT_EQ(expected.paints, actual.paints);
    EXPECT_EQ(expected.imageLayouts, actual.imageLayouts);
    EXPECT_EQ(expected.messages, actual.messages);
    ASSERT_EQ(expected.images.size(), actual.images.size());
    for (size_t i = 0; i < expected.images.size(); ++i) {
        const std::vector<std::uint8_t>& a = expected.images[i];
        const std::vector<std::uint8_t>& b = actual.images[i];
        ASSERT_EQ(a.size(), b.size()) << "image " << i;
        for (size_t k = 0; k < a.size(); ++k) {
            if (a[k] != b[k]) {
                ADD_FAILURE() << "image " << i << " differs first at sample " << k << ": "
                              << int(a[k]) << " with one thread, " << int(b[k]);
                break;
            }
        }
    }
}

}  // namespace rdz::test
