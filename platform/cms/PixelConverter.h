// The pixel conversion of a prepared Color Strategy: everything computed once
// by TCMS_ColTransfInitConvert (LittleCMS transforms, per-ink tables, scratch
// buffers), so that converting a row allocates nothing.
//
// Threads: PixelConverter::Convert and LinkAcceleration::Convert may run on
// several threads at once on one object. LittleCMS's transforms are (their
// pixel cache is copied for each call); the scratch buffers of a conversion
// are taken from a small pool for the call, so a second thread gets buffers
// of its own (made on first need and kept), and a single thread always reuses
// the one set made with the converter. TransformSet is built and read by one
// thread at a time (TCMS_ColTransfInitConvert).
//
// Output channels are, in order: the destination's channels (what the ICC
// transform computes), then every other output channel (spot inks of the
// destination process, extra output inks, kept inks), which only advanced
// items with explicit values and kept inks write to. Contributions to one
// channel add up and are clamped to 100%.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/cms/LcmsHandles.h"
#include "platform/cms/OverprintModel.h"

class TProc;

namespace rdz::cms {

class LinkAcceleration;
class LinkData;

/// The LittleCMS transforms between a strategy's two processes, with the
/// settings they were built for. Kept by a strategy across conversions when
/// TCMS_ColTransfEndConvert is asked to keep its cache.
class TransformSet {
  public:
    struct Settings {
        std::shared_ptr<const TProc> source;
        std::shared_ptr<const TProc> destination;
        int renderingIntent = 3;  // as the CMS library numbers intents
        bool blackPointCompensation = false;
        int resolution = 0;
        int blackGeneration = 0;
        /// A stored device link that takes the place of the two profiles.
        std::shared_ptr<LinkData> link;
        bool operator==(const Settings& other) const;
    };

    explicit TransformSet(Settings settings);

    const Settings& GetSettings() const { return settings_; }
    /// Same profile on both sides: process channels are copied unchanged.
    bool Identity() const { return identity_; }
    /// Source to destination, 8 bits per channel; null for an identity and
    /// for a device link.
    void* Direct(std::string* error);
    /// The device link, prepared; null without one (or on failure, with the
    /// reason in `*error`).
    const LinkAcceleration* Link(std::string* error);
    /// Source to XYZ (16 bits) and L*a*b* (16 bits) to destination, for
    /// mixing; with a device link, L*a*b* goes to the source's channels and
    /// through the link.
    void* ToXYZ(std::string* error);
    void* FromLab(std::string* error);

  private:
    std::uint32_t Flags() const;
    int BaseIntent() const;

    Settings settings_;
    bool identity_;
    TransformHandle direct_;
    std::shared_ptr<const LinkAcceleration> link_;
    TransformHandle toXYZ_;
    TransformHandle fromLab_;
};

/// What each input channel does, decided by the strategy.
struct ConvertPlan {
    int nrInputs = 0;
    int nrOutputs = 0;
    /// Per source channel: the input channel that carries it, -1 for none.
    std::vector<int> processInput;
    struct Spot {
        int input;
        std::array<double, 3> lab;
        double opacity;
    };
    std::vector<Spot> spots;  // in input order
    struct Explicit {
        int input;
        std::vector<double> percent;  // per output channel
    };
    std::vector<Explicit> explicits;
    struct Pass {
        int input;
        int output;
    };
    std::vector<Pass> passes;
    int inMin = 0, inMax = 255, outMin = 0, outMax = 255;
};

class PixelConverter {
  public:
    /// Null with the reason in `*error` when a transform cannot be built.
    static std::unique_ptr<PixelConverter> Create(ConvertPlan plan,
                                                  std::shared_ptr<TransformSet> transforms,
                                                  std::string* error);

    /// Converts `n` pixels of plan.nrInputs bytes into `n` pixels of
    /// plan.nrOutputs bytes. Safe to call from several threads at once.
    void Convert(const unsigned char* in, unsigned char* out, int n) const;

    const std::shared_ptr<TransformSet>& Transforms() const { return transforms_; }

  private:
    static constexpr int kChunk = 256;

    /// Buffers of one conversion call, sized for kChunk pixels.
    struct Scratch {
        std::vector<unsigned char> inBuf, procBuf, iccBuf, packIn, packOut;
        std::vector<int> mixed, plain;
        std::vector<std::uint16_t> xyz, lab;
        std::vector<float> colour;
        std::vector<double> acc;
    };

    PixelConverter(ConvertPlan plan, std::shared_ptr<TransformSet> transforms);
    std::unique_ptr<Scratch> NewScratch() const;
    /// A set of buffers for one call: a spare one, or a new one.
    std::unique_ptr<Scratch> TakeScratch() const;
    void ReturnScratch(std::unique_ptr<Scratch> scratch) const;
    void ConvertChunk(const unsigned char* in, unsigned char* out, int n, Scratch& s) const;
    void Direct(const unsigned char* in, unsigned char* out, int n) const;
    void Mix(const unsigned char* pixels, const unsigned char* process, unsigned char* out, int n,
             Scratch& s) const;

    ConvertPlan plan_;
    std::shared_ptr<TransformSet> transforms_;
    int nrSrc_ = 0;
    int nrDst_ = 0;
    void* direct_ = nullptr;                  // owned by transforms_
    const LinkAcceleration* link_ = nullptr;  // owned by transforms_
    void* toXYZ_ = nullptr;                   // owned by transforms_
    void* fromLab_ = nullptr;                 // owned by transforms_
    bool whole_ = false;                      // the row goes through `direct_` as it is
    bool complete_ = false;                   // every source channel has an input
    bool post_ = false;  // explicit values, kept inks, other channels or ranges
    bool remapIn_ = false;
    std::array<unsigned char, 256> inMap_{};
    std::array<unsigned char, 256> outMap_{};
    std::vector<SpotInkTable> spotTables_;
    std::array<float, 3> paper_{{1.0f, 1.0f, 1.0f}};
    LabEncoder labEncoder_;

    // Buffers not in use by a call; one set is made with the converter.
    mutable std::mutex scratchMutex_;
    mutable std::vector<std::unique_ptr<Scratch>> spareScratch_;
};

}  // namespace rdz::cms
