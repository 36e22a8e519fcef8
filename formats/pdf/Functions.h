// PDF functions (sampled, exponential, stitching and PostScript calculator),
// evaluated where the colours of a file need them: tint transforms of
// Separation and DeviceN spaces, and the colour functions of shadings.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

namespace rdz::formats::pdf {

/// A function the reader cannot use (wrong type, missing or inconsistent
/// entries, a calculator program it cannot run).
class FunctionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class PdfFunction {
  public:
    virtual ~PdfFunction() = default;

    /// Reads a function dictionary or stream. Throws FunctionError.
    static std::unique_ptr<PdfFunction> Parse(QPDFObjectHandle function);
    /// Reads what a shading or a tint transform names as its function: one
    /// function, or an array of one-input, one-output functions (one per
    /// output). Throws FunctionError.
    static std::unique_ptr<PdfFunction> ParseList(QPDFObjectHandle functions);

    /// The outputs for `in` (clipped to the domain); outputs clipped to the
    /// range when there is one. `in` must hold Inputs() values.
    virtual std::vector<double> Evaluate(const std::vector<double>& in) const = 0;

    /// 0, 2, 3 or 4; -1 for a list of functions.
    virtual int Type() const = 0;
    int Inputs() const { return static_cast<int>(domain_.size() / 2); }
    /// Number of outputs; 0 when the function does not say (a Type 2 or 3
    /// without Range still says, through C0 and its parts).
    int Outputs() const { return outputs_; }
    const std::vector<double>& Domain() const { return domain_; }

  protected:
    std::vector<double> ClipInput(const std::vector<double>& in) const;
    void ClipOutput(std::vector<double>& out) const;

    std::vector<double> domain_;
    std::vector<double> range_;
    int outputs_ = 0;

    friend class FunctionReader;
};

/// Exponential interpolation (Type 2): C0 + x^N (C1 - C0).
class ExponentialFunction : public PdfFunction {
  public:
    std::vector<double> Evaluate(const std::vector<double>& in) const override;
    int Type() const override { return 2; }
    const std::vector<double>& C0() const { return c0_; }
    const std::vector<double>& C1() const { return c1_; }
    double Exponent() const { return n_; }

  private:
    std::vector<double> c0_, c1_;
    double n_ = 1.0;
    friend class FunctionReader;
};

/// Stitching (Type 3): one-input functions over the parts of the domain.
class StitchingFunction : public PdfFunction {
  public:
    std::vector<double> Evaluate(const std::vector<double>& in) const override;
    int Type() const override { return 3; }
    const std::vector<std::unique_ptr<PdfFunction>>& Parts() const { return parts_; }
    /// The domain's bounds between the parts (Parts().size() - 1 values).
    const std::vector<double>& Bounds() const { return bounds_; }
    /// The input of part `i` for `x` in its part of the domain.
    double PartInput(std::size_t i, double x) const;

  private:
    std::vector<std::unique_ptr<PdfFunction>> parts_;
    std::vector<double> bounds_;
    std::vector<double> encode_;
    friend class FunctionReader;
};

}  // namespace rdz::formats::pdf
