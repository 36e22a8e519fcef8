#include "platform/cms/TCleanColorsSettings.h"

#include <algorithm>

namespace {
bool IsChromaticChannel(int channel) {
    return channel >= 0 && channel <= 2;
}
}  // namespace

bool TCleanColorsSettings::AddPrimary(int channel) {
    if (!IsChromaticChannel(channel))
        return false;
    if (std::find(primaries_.begin(), primaries_.end(), channel) == primaries_.end()) {
        primaries_.push_back(channel);
        std::sort(primaries_.begin(), primaries_.end());
    }
    return true;
}

bool TCleanColorsSettings::AddSecondary(int channel1, int channel2) {
    if (!IsChromaticChannel(channel1) || !IsChromaticChannel(channel2) || channel1 == channel2)
        return false;
    const std::array<int, 2> pair{{std::min(channel1, channel2), std::max(channel1, channel2)}};
    if (std::find(secondaries_.begin(), secondaries_.end(), pair) == secondaries_.end()) {
        secondaries_.push_back(pair);
        std::sort(secondaries_.begin(), secondaries_.end());
    }
    return true;
}

rdz::cms::json::Json TCleanColorsSettings::ToJson() const {
    return rdz::cms::json::Json{{"primaries", primaries_}, {"secondaries", secondaries_}};
}
