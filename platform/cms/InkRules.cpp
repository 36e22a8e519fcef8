#include "platform/cms/InkRules.h"

#include <algorithm>
#include <cmath>

#include "platform/cms/StandIn.h"
#include "platform/cms/TInk.h"

namespace rdz::cms {

bool IsRegistrationInk(const TInk& ink) {
    return ink.GetOrigin() == TInk::Origin::Color && ink.Name() == kRegistrationInkName;
}

std::vector<double> RegistrationValues(const std::vector<TCMS::InkInfo>& outputs) {
    std::vector<double> percent;
    for (const TCMS::InkInfo& output : outputs)
        percent.push_back(output.GetKind() == kProcessChannel ? 100.0 : 0.0);
    return percent;
}

double MixingOpacity(const TInk& ink, const double* given) {
    if (ink.GetOrigin() == TInk::Origin::Color && given != nullptr && std::isfinite(*given))
        return std::clamp(*given, 0.0, 1.0);
    return std::clamp(ink.Opacity(), 0.0, 1.0);
}

}  // namespace rdz::cms
