// The colour spaces converted colours are written in.
//
// Process inks alone are DeviceCMYK. One spot ink alone is a Separation
// space: the file's own when the spot came from one, else a new one. Process
// and spot inks together are a DeviceN space of the process inks (in CMYK
// order) and then the spots. New spaces have a DeviceCMYK alternate whose tint
// transform lays the inks' CMYK equivalents one over the other: each CMYK
// channel is 1 - (1 - t1 e1)(1 - t2 e2)..., with t the tints and e the
// inks' equivalents in that channel (a process ink's own channel is 1).
#pragma once

#include <map>
#include <string>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

#include "formats/pdf/PdfCatalogue.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::formats::pdf {

struct TargetSpace {
    enum Kind { Cmyk, Separation, DeviceN };
    Kind kind = Cmyk;
    /// The ink of each component: Cmyk: the process inks (entries may be
    /// null); Separation and DeviceN: one per colorant.
    std::vector<inkt_t*> colorants;
    /// The colour space: /DeviceCMYK, or an indirect array.
    QPDFObjectHandle space;
    int Components() const { return static_cast<int>(colorants.size()); }
};

class OutputSpaces {
  public:
    explicit OutputSpaces(PdfCatalogue& catalogue) : c_(catalogue) {}

    /// The space for colours made of `inks` (any order; the registration
    /// ink counts as all other inks when it is not alone).
    const TargetSpace& For(const std::vector<inkt_t*>& inks);
    /// The space for a converted colour.
    const TargetSpace& For(const std::vector<rdz::kelt::Amount>& amounts);

    /// The components of `amounts` in `space` (inks it does not hold: 0).
    static std::vector<double> Values(const TargetSpace& space,
                                      const std::vector<rdz::kelt::Amount>& amounts);

    /// The text that sets a converted colour in content whose resources are
    /// `unit`'s: "c m y k k" or "/Name cs v.. scn" (stroke: K, CS, SCN);
    /// with `pattern`, the uncoloured pattern of that name in the colour.
    /// New colour spaces are added to the unit's resources.
    std::string Operator(ContentUnit& unit, const std::vector<rdz::kelt::Amount>& amounts,
                         bool stroke, const std::string& pattern);

    /// The name under which `space` is in the unit's ColorSpace resources
    /// (added when missing; the unit gets resources of its own first when
    /// it shares its caller's).
    std::string ResourceName(ContentUnit& unit, QPDFObjectHandle space);

  private:
    QPDFObjectHandle MakeSpace(const TargetSpace& target);
    QPDFObjectHandle TintTransform(const std::vector<inkt_t*>& colorants);

    PdfCatalogue& c_;
    std::map<std::vector<inkt_t*>, TargetSpace> spaces_;
    std::map<std::string, QPDFObjectHandle> patternSpaces_;  // base key -> [/Pattern base]
};

/// A number as content and dictionaries write it: at most four decimals,
/// without trailing zeros.
std::string PdfNumber(double value);

}  // namespace rdz::formats::pdf
