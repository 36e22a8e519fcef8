// Rewriting the ink make-up of one paint through the pixel transform.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "converter/TColorConverter.h"
#include "host/ZQAssert.h"

namespace {

/// Exception inks below this fraction are dropped from a converted paint.
constexpr double kMinimumExceptionFraction = 0.0005;

/// Working storage of one paint conversion. Small tables live on the stack;
/// larger ones fall back to the heap.
template <typename T, size_t N>
class ScratchArray {
public:
    explicit ScratchArray(size_t size) : size_(size) {
        if (size > N) {
            heap_.assign(size, T());
        } else {
            std::fill(stack_.begin(), stack_.begin() + static_cast<std::ptrdiff_t>(size), T());
        }
    }
    T* data() { return size_ > N ? heap_.data() : stack_.data(); }
    T& operator[](size_t i) { return data()[i]; }
    size_t size() const { return size_; }

private:
    size_t size_;
    std::array<T, N> stack_;
    std::vector<T> heap_;
};

/// A fraction as a pixel byte: clamped to 0..1, times 255, rounded half away
/// from zero. (Out-of-range fractions must not wrap round.)
unsigned char FractionToByte(double fraction) {
    if (!(fraction > 0.0)) {
        return 0;
    }
    if (fraction >= 1.0) {
        return 255;
    }
    return static_cast<unsigned char>(fraction * 255.0 + 0.5);
}

/// A sorted set of ink handles (ordered by handle), small and allocation-light.
class InkSet {
public:
    void insert(inkt_t* ink) {
        auto it = std::lower_bound(inks_.begin(), inks_.end(), ink);
        if (it == inks_.end() || *it != ink) {
            inks_.insert(it, ink);
        }
    }
    bool contains(inkt_t* ink) const { return std::binary_search(inks_.begin(), inks_.end(), ink); }
    const std::vector<inkt_t*>& sorted() const { return inks_; }

private:
    std::vector<inkt_t*> inks_;
};

struct StrayAmount {
    inkt_t* ink;
    double fraction;
};

}  // namespace

void TColorConverter::ConvertPaint(paint_t* paint) {
    solid_t* solid = PAI_get_solid(paint);
    if (solid == nullptr) {
        if (vignet_t* vignet = PAI_get_vignet(paint)) {
            std::vector<paint_t*> steps;
            list_iterator_t it;
            SL_all_items(vignet->steps, &it);
            void* step = nullptr;
            while (SL_next_item(&it, &step)) {
                steps.push_back(static_cast<paint_t*>(step));
            }
            for (paint_t* stepPaint : steps) {
                ConvertPaint(stepPaint);
            }
        }
        return;
    }
    const bool keepRegistration = generalOptions.GetKeepRegistrationColor();
    if (keepRegistration && PAI_is_registration(paint) != 0) {
        return;
    }

    ScratchArray<unsigned char, 32> in(static_cast<size_t>(nrInputInks));
    ScratchArray<unsigned char, 32> out(static_cast<size_t>(nrOutputChannels));
    ScratchArray<double, 32> exceptionFractions(static_cast<size_t>(nrExceptionInks));
    InkSet inksBefore;
    std::vector<StrayAmount> strays;

    list_iterator_t it;
    SL_all_items(solid->inkAmounts, &it);
    void* item = nullptr;
    while (SL_next_item(&it, &item)) {
        const auto* amount = static_cast<const ink_amount_t*>(item);
        const int exception = getExceptionIndex(amount->ink);
        if (exception >= 0) {
            exceptionFractions[static_cast<size_t>(exception)] = amount->fraction;
        } else {
            const int input = getSrcIndex(amount->ink);
            if (input >= 0) {
                in[static_cast<size_t>(input)] = FractionToByte(amount->fraction);
            } else {
                // Init missed an ink of the document. Keep it out of the
                // pixel but carry it over, so that no ink amount is lost.
                ZQ_AssertForExport(false);
                strays.push_back({amount->ink, amount->fraction});
            }
        }
        inksBefore.insert(amount->ink);
    }

    bool allFull = keepRegistration && HasAllCMYK();
    for (size_t i = 0; allFull && i < in.size(); ++i) {
        allFull = in[i] == 255;
    }
    for (size_t i = 0; allFull && i < exceptionFractions.size(); ++i) {
        allFull = exceptionFractions[i] >= 1.0;
    }
    if (allFull) {
        std::fill(out.data(), out.data() + out.size(), static_cast<unsigned char>(255));
    } else if (Convert(in.data(), out.data(), 1, true) != 0) {
        // A failed transform leaves the paint as it was.
        return;
    }

    PAI_log_solids(paint);
    PAI_set_registration(paint, 0);
    SL_make_empty(solid->inkAmounts, IA_release);

    InkSet inksAfter;
    auto append = [&](inkt_t* ink, double fraction) {
        SL_append_after_last(solid->inkAmounts, IA_create(ink, fraction, 1));
        inksAfter.insert(ink);
    };
    for (int c = 0, k = 0; c < nrOutputChannels; ++c) {
        if (skippedOutputChannels.count(c) != 0) {
            continue;
        }
        const unsigned char value = out[static_cast<size_t>(c)];
        if (value != 0) {
            append(outputInks[static_cast<size_t>(k)], value / 255.0);
        }
        ++k;
    }
    for (int e = 0; e < nrExceptionInks; ++e) {
        inkt_t* ink = exceptionInks[static_cast<size_t>(e)];
        const double fraction = exceptionFractions[static_cast<size_t>(e)];
        if (!inksAfter.contains(ink) && fraction >= kMinimumExceptionFraction) {
            append(ink, fraction);
        }
    }
    for (const StrayAmount& stray : strays) {
        if (!inksAfter.contains(stray.ink)) {
            append(stray.ink, stray.fraction);
        }
    }
    if (KeepZeroPercentInks()) {
        for (inkt_t* ink : inksBefore.sorted()) {
            if (!inksAfter.contains(ink)) {
                append(ink, 0.0);
            }
        }
    }
    PAO_set_changed(paint->paintObject);
}
