#include "formats/pdf/Functions.h"

#include <algorithm>
#include <cmath>

#include <qpdf/QPDFExc.hh>

#include "formats/pdf/Calculator.h"
#include "formats/pdf/ContentTokens.h"
#include "formats/pdf/PdfObjects.h"
#include "formats/pdf/StreamData.h"

namespace rdz::formats::pdf {
namespace {

constexpr int kMaxNesting = 8;
constexpr int kMaxInputs = 16;
constexpr int kMaxOutputs = 32;
/// Sample tables larger than this are not read: no tint transform needs one.
constexpr double kMaxSamples = 16.0 * 1024 * 1024;

double Interpolate(double x, double xmin, double xmax, double ymin, double ymax) {
    if (xmax == xmin) {
        return ymin;
    }
    return ymin + (x - xmin) * (ymax - ymin) / (xmax - xmin);
}

/// Sampled (Type 0): multilinear interpolation between the samples.
class SampledFunction : public PdfFunction {
  public:
    std::vector<double> Evaluate(const std::vector<double>& in) const override {
        const std::vector<double> x = ClipInput(in);
        const std::size_t m = size_.size();
        const std::size_t n = static_cast<std::size_t>(outputs_);
        // Position of the input in the table, per dimension: the sample below
        // and the weight of the one above.
        std::vector<std::size_t> low(m);
        std::vector<double> weight(m);
        for (std::size_t i = 0; i < m; ++i) {
            double e = Interpolate(x[i], domain_[2 * i], domain_[2 * i + 1], encode_[2 * i],
                                   encode_[2 * i + 1]);
            e = std::clamp(e, 0.0, static_cast<double>(size_[i] - 1));
            low[i] = static_cast<std::size_t>(std::floor(e));
            if (low[i] >= size_[i] - 1) {
                low[i] = size_[i] > 1 ? size_[i] - 2 : 0;
            }
            weight[i] = size_[i] > 1 ? e - static_cast<double>(low[i]) : 0.0;
        }
        std::vector<double> out(n, 0.0);
        const std::size_t corners = std::size_t{1} << m;
        for (std::size_t corner = 0; corner < corners; ++corner) {
            double w = 1.0;
            std::size_t index = 0;
            std::size_t stride = 1;
            for (std::size_t i = 0; i < m; ++i) {
                const bool up = (corner >> i) & 1u;
                if (up && size_[i] == 1) {
                    w = 0.0;
                }
                w *= up ? weight[i] : 1.0 - weight[i];
                index += (low[i] + (up ? 1 : 0)) * stride;
                stride *= size_[i];
            }
            if (w == 0.0) {
                continue;
            }
            for (std::size_t j = 0; j < n; ++j) {
                out[j] += w * samples_[index * n + j];
            }
        }
        for (std::size_t j = 0; j < n; ++j) {
            out[j] = decode_[2 * j] + out[j] * (decode_[2 * j + 1] - decode_[2 * j]);
        }
        ClipOutput(out);
        return out;
    }
    int Type() const override { return 0; }

    std::vector<std::size_t> size_;
    std::vector<double> encode_;
    std::vector<double> decode_;
    std::vector<double> samples_;  // 0..1, sample after sample, outputs interleaved
};

class CalculatorFunction : public PdfFunction {
  public:
    explicit CalculatorFunction(CalculatorProgram program) : program_(std::move(program)) {}
    std::vector<double> Evaluate(const std::vector<double>& in) const override {
        std::vector<double> out = program_.Run(ClipInput(in));
        if (out.size() != static_cast<std::size_t>(outputs_)) {
            throw FunctionError("calculator function: leaves " + std::to_string(out.size()) +
                                " values instead of " + std::to_string(outputs_));
        }
        ClipOutput(out);
        return out;
    }
    int Type() const override { return 4; }

  private:
    CalculatorProgram program_;
};

/// One-input functions side by side, one per output.
class FunctionList : public PdfFunction {
  public:
    std::vector<double> Evaluate(const std::vector<double>& in) const override {
        std::vector<double> out;
        for (const auto& part : parts_) {
            const std::vector<double> value = part->Evaluate(in);
            out.insert(out.end(), value.begin(), value.end());
        }
        return out;
    }
    int Type() const override { return -1; }
    std::vector<std::unique_ptr<PdfFunction>> parts_;
};

}  // namespace

/// Reads function objects into the classes above.
class FunctionReader {
  public:
    static std::unique_ptr<PdfFunction> Read(QPDFObjectHandle object, int depth) {
        if (depth > kMaxNesting) {
            throw FunctionError("functions nested too deeply");
        }
        QPDFObjectHandle dict = object.isStream() ? object.getDict() : object;
        if (!dict.isDictionary()) {
            throw FunctionError("a function is not a dictionary or a stream");
        }
        const int type = IntegerOf(dict.getKey("/FunctionType"), -1);
        std::unique_ptr<PdfFunction> function;
        switch (type) {
            case 0:
                function = ReadSampled(object, dict);
                break;
            case 2:
                function = ReadExponential(dict);
                break;
            case 3:
                function = ReadStitching(dict, depth);
                break;
            case 4:
                function = ReadCalculator(object, dict);
                break;
            default:
                throw FunctionError("function type " + std::to_string(type) +
                                    " is not one of 0, 2, 3, 4");
        }
        return function;
    }

  private:
    static void ReadDomainRange(QPDFObjectHandle dict, PdfFunction& f, bool rangeRequired) {
        f.domain_ = NumbersOf(dict.getKey("/Domain"));
        if (f.domain_.empty() || f.domain_.size() % 2 != 0 ||
            f.domain_.size() / 2 > static_cast<std::size_t>(kMaxInputs)) {
            throw FunctionError("a function without a usable Domain");
        }
        f.range_ = NumbersOf(dict.getKey("/Range"));
        if (f.range_.size() % 2 != 0 ||
            f.range_.size() / 2 > static_cast<std::size_t>(kMaxOutputs) ||
            (rangeRequired && f.range_.empty())) {
            throw FunctionError("a function without a usable Range");
        }
        f.outputs_ = static_cast<int>(f.range_.size() / 2);
    }

    static std::unique_ptr<PdfFunction> ReadSampled(QPDFObjectHandle object,
                                                    QPDFObjectHandle dict) {
        if (!object.isStream()) {
            throw FunctionError("a sampled function that is not a stream");
        }
        auto f = std::make_unique<SampledFunction>();
        ReadDomainRange(dict, *f, true);
        const std::vector<double> size = NumbersOf(dict.getKey("/Size"));
        const std::size_t m = f->domain_.size() / 2;
        if (size.size() != m) {
            throw FunctionError("a sampled function whose Size does not match its Domain");
        }
        double count = static_cast<double>(f->outputs_);
        for (double s : size) {
            if (!(s >= 1.0) || s != std::floor(s)) {
                throw FunctionError("a sampled function with a bad Size");
            }
            count *= s;
            f->size_.push_back(static_cast<std::size_t>(s));
        }
        if (count > kMaxSamples) {
            throw FunctionError("a sampled function with too many samples");
        }
        const int bits = IntegerOf(dict.getKey("/BitsPerSample"), 0);
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 12 && bits != 16 &&
            bits != 24 && bits != 32) {
            throw FunctionError("a sampled function with " + std::to_string(bits) +
                                " bits per sample");
        }
        f->encode_ = NumbersOf(dict.getKey("/Encode"));
        if (f->encode_.empty()) {
            for (std::size_t s : f->size_) {
                f->encode_.push_back(0.0);
                f->encode_.push_back(static_cast<double>(s - 1));
            }
        }
        f->decode_ = NumbersOf(dict.getKey("/Decode"));
        if (f->decode_.empty()) {
            f->decode_ = f->range_;
        }
        if (f->encode_.size() != 2 * m || f->decode_.size() != f->range_.size()) {
            throw FunctionError("a sampled function whose Encode or Decode does not fit");
        }
        const std::size_t total = static_cast<std::size_t>(count);
        const std::size_t needed = (total * static_cast<std::size_t>(bits) + 7) / 8;
        std::string data;
        try {
            data = DecodeStream(object, needed + 4096);
        } catch (const ContentError& e) {
            throw FunctionError(std::string("the samples cannot be decoded: ") + e.what());
        }
        if (data.size() < needed) {
            throw FunctionError("a sampled function with fewer samples than its Size says");
        }
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data.data());
        const double max = std::ldexp(1.0, bits) - 1.0;
        f->samples_.resize(total);
        std::size_t bit = 0;
        for (std::size_t i = 0; i < total; ++i) {
            std::uint64_t value = 0;
            for (int b = 0; b < bits; ++b, ++bit) {
                value = (value << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1u);
            }
            f->samples_[i] = static_cast<double>(value) / max;
        }
        return f;
    }

    static std::unique_ptr<PdfFunction> ReadExponential(QPDFObjectHandle dict) {
        auto f = std::make_unique<ExponentialFunction>();
        ReadDomainRange(dict, *f, false);
        if (f->domain_.size() != 2) {
            throw FunctionError("an exponential function takes one input");
        }
        f->c0_ = NumbersOf(dict.getKey("/C0"));
        f->c1_ = NumbersOf(dict.getKey("/C1"));
        if (!dict.hasKey("/C0")) {
            f->c0_ = {0.0};
        }
        if (!dict.hasKey("/C1")) {
            f->c1_ = {1.0};
        }
        if (f->c0_.size() != f->c1_.size() || f->c0_.empty() ||
            f->c0_.size() > static_cast<std::size_t>(kMaxOutputs) ||
            (f->outputs_ != 0 && static_cast<std::size_t>(f->outputs_) != f->c0_.size())) {
            throw FunctionError("an exponential function whose C0 and C1 do not fit");
        }
        f->outputs_ = static_cast<int>(f->c0_.size());
        QPDFObjectHandle n = dict.getKey("/N");
        if (!n.isNumber()) {
            throw FunctionError("an exponential function without N");
        }
        f->n_ = n.getNumericValue();
        return f;
    }

    static std::unique_ptr<PdfFunction> ReadStitching(QPDFObjectHandle dict, int depth) {
        auto f = std::make_unique<StitchingFunction>();
        ReadDomainRange(dict, *f, false);
        if (f->domain_.size() != 2) {
            throw FunctionError("a stitching function takes one input");
        }
        QPDFObjectHandle parts = dict.getKey("/Functions");
        if (!parts.isArray() || parts.getArrayNItems() < 1 || parts.getArrayNItems() > 4096) {
            throw FunctionError("a stitching function without Functions");
        }
        for (int i = 0; i < parts.getArrayNItems(); ++i) {
            f->parts_.push_back(Read(parts.getArrayItem(i), depth + 1));
            const PdfFunction& part = *f->parts_.back();
            if (part.Inputs() != 1 || (i > 0 && part.Outputs() != f->parts_[0]->Outputs())) {
                throw FunctionError("the parts of a stitching function do not fit together");
            }
        }
        const std::size_t k = f->parts_.size();
        f->bounds_ = NumbersOf(dict.getKey("/Bounds"));
        f->encode_ = NumbersOf(dict.getKey("/Encode"));
        if (f->bounds_.size() != k - 1 || f->encode_.size() != 2 * k ||
            !std::is_sorted(f->bounds_.begin(), f->bounds_.end())) {
            throw FunctionError("a stitching function whose Bounds or Encode do not fit");
        }
        if (f->outputs_ == 0) {
            f->outputs_ = f->parts_[0]->Outputs();
        }
        return f;
    }

    static std::unique_ptr<PdfFunction> ReadCalculator(QPDFObjectHandle object,
                                                       QPDFObjectHandle dict) {
        if (!object.isStream()) {
            throw FunctionError("a calculator function that is not a stream");
        }
        std::string text;
        try {
            text = DecodeStream(object, std::size_t{1} << 20);
        } catch (const ContentError& e) {
            throw FunctionError(std::string("the program cannot be decoded: ") + e.what());
        }
        auto f = std::make_unique<CalculatorFunction>(CalculatorProgram::Parse(text));
        ReadDomainRange(dict, *f, true);
        return f;
    }
};

std::unique_ptr<PdfFunction> PdfFunction::Parse(QPDFObjectHandle function) {
    try {
        return FunctionReader::Read(function, 0);
    } catch (const QPDFExc& e) {
        throw FunctionError(e.what());
    }
}

std::unique_ptr<PdfFunction> PdfFunction::ParseList(QPDFObjectHandle functions) {
    if (!functions.isArray()) {
        return Parse(functions);
    }
    const int count = functions.getArrayNItems();
    if (count < 1 || count > kMaxOutputs) {
        throw FunctionError("an empty or too long array of functions");
    }
    auto list = std::make_unique<FunctionList>();
    for (int i = 0; i < count; ++i) {
        list->parts_.push_back(Parse(functions.getArrayItem(i)));
        if (list->parts_.back()->Inputs() != 1 || list->parts_.back()->Outputs() != 1) {
            throw FunctionError("an array of functions whose parts are not one-in, one-out");
        }
    }
    list->domain_ = list->parts_[0]->Domain();
    list->outputs_ = count;
    return list;
}

std::vector<double> PdfFunction::ClipInput(const std::vector<double>& in) const {
    const std::size_t m = domain_.size() / 2;
    if (in.size() != m) {
        throw FunctionError("a function was given " + std::to_string(in.size()) +
                            " inputs instead of " + std::to_string(m));
    }
    std::vector<double> x(in);
    for (std::size_t i = 0; i < m; ++i) {
        const double lo = std::min(domain_[2 * i], domain_[2 * i + 1]);
        const double hi = std::max(domain_[2 * i], domain_[2 * i + 1]);
        x[i] = std::isfinite(x[i]) ? std::clamp(x[i], lo, hi) : lo;
    }
    return x;
}

void PdfFunction::ClipOutput(std::vector<double>& out) const {
    for (std::size_t j = 0; j < out.size(); ++j) {
        if (!std::isfinite(out[j])) {
            out[j] = 0.0;
        }
        if (2 * j + 1 < range_.size()) {
            const double lo = std::min(range_[2 * j], range_[2 * j + 1]);
            const double hi = std::max(range_[2 * j], range_[2 * j + 1]);
            out[j] = std::clamp(out[j], lo, hi);
        }
    }
}

std::vector<double> ExponentialFunction::Evaluate(const std::vector<double>& in) const {
    const double x = ClipInput(in)[0];
    const double xn = std::pow(x, n_);
    std::vector<double> out(c0_.size());
    for (std::size_t j = 0; j < out.size(); ++j) {
        out[j] = c0_[j] + xn * (c1_[j] - c0_[j]);
    }
    ClipOutput(out);
    return out;
}

double StitchingFunction::PartInput(std::size_t i, double x) const {
    const double low = i == 0 ? domain_[0] : bounds_[i - 1];
    const double high = i == bounds_.size() ? domain_[1] : bounds_[i];
    return Interpolate(x, low, high, encode_[2 * i], encode_[2 * i + 1]);
}

std::vector<double> StitchingFunction::Evaluate(const std::vector<double>& in) const {
    const double x = ClipInput(in)[0];
    std::size_t i = 0;
    while (i < bounds_.size() && x >= bounds_[i]) {
        ++i;
    }
    std::vector<double> out = parts_[i]->Evaluate({PartInput(i, x)});
    ClipOutput(out);
    return out;
}

}  // namespace rdz::formats::pdf
