// A converter for tests: its Init registers whatever the test asks for, and its
// pixel transform is a function the test supplies.
#pragma once

#include <functional>
#include <set>
#include <vector>

#include "converter/TColorConverter.h"

class TestConverter : public TColorConverter {
public:
    using PixelFunction = std::function<int(const unsigned char*, unsigned char*, int, bool)>;

    TestConverter(document_object_t* document, TGeneralColorConverterOptions& options)
        : TColorConverter(document, options) {}
    TestConverter(const TestConverter&) = default;

    using TColorConverter::AddExceptionInk;
    using TColorConverter::AddImageExceptionInk;
    using TColorConverter::AddInputInk;
    using TColorConverter::AddOutputInks;
    using TColorConverter::Convert;
    using TColorConverter::getSrcIndex;
    using TColorConverter::GetInputInks;
    using TColorConverter::GetInputOpacity;
    using TColorConverter::GetNrInputInks;
    using TColorConverter::GetNrOutputInks;
    using TColorConverter::SetMakeAllImagesInternal;

    int RunInit() { return Init(); }
    void RunEnd() { End(); }

    /// Called by Init after the base Init.
    std::function<void(TestConverter&)> onInit;
    /// The pixel transform; by default every output byte is 0.
    PixelFunction pixel;
    bool keepZeroPercentInks = false;
    std::function<bool(int, inkt_t**)> requiresConversion;

    int initCalls = 0;
    int endCalls = 0;
    int pixelCalls = 0;
    int pixelsConverted = 0;

protected:
    int Convert(const unsigned char* in, unsigned char* out, int n, bool linework) override {
        ++pixelCalls;
        pixelsConverted += n;
        if (pixel) {
            return pixel(in, out, n, linework);
        }
        std::fill(out, out + static_cast<size_t>(n) * GetNrOutputInks(true), 0);
        return 0;
    }
    int Init() override {
        ++initCalls;
        const int result = TColorConverter::Init();
        if (onInit) {
            onInit(*this);
        }
        return result;
    }
    void End() override {
        ++endCalls;
        TColorConverter::End();
    }

private:
    bool DoImageRequiresConversion(int nrInks, inkt_t** inks) const override {
        return requiresConversion ? requiresConversion(nrInks, inks) : true;
    }
    bool KeepZeroPercentInks() const override { return keepZeroPercentInks; }
};

/// Reads the private tables and helpers of a converter.
class TColorConverterInspector {
public:
    static bool HasAllCMYK(TColorConverter& c) { return c.HasAllCMYK(); }
    static void Dump(TColorConverter& c) { c.Dump(); }
    static std::shared_ptr<TInk> MakeCMSInk(TColorConverter& c, inkt_t* ink, double* opacity) {
        return c.MakeCMSInk(ink, opacity);
    }
    static const std::vector<inkt_t*>& InputInks(const TColorConverter& c) { return c.inputInks; }
    static const std::vector<inkt_t*>& ExceptionInks(const TColorConverter& c) {
        return c.exceptionInks;
    }
    static const std::vector<inkt_t*>& ImageExceptionInks(const TColorConverter& c) {
        return c.imageExceptionInks;
    }
    static const std::vector<inkt_t*>& OutputInks(const TColorConverter& c) { return c.outputInks; }
    static const std::set<int>& Skipped(const TColorConverter& c) { return c.skippedOutputChannels; }
    /// Every count equals the length of its sequence.
    static bool CountsMatch(const TColorConverter& c) {
        return c.nrInputInks == static_cast<int>(c.inputInks.size()) &&
               c.inputInks.size() == c.inputCMSInks.size() &&
               c.inputInks.size() == c.inputOpacity.size() &&
               c.nrExceptionInks == static_cast<int>(c.exceptionInks.size()) &&
               c.nrImageExceptionInks == static_cast<int>(c.imageExceptionInks.size()) &&
               c.nrOutputInks == static_cast<int>(c.outputInks.size());
    }
};
