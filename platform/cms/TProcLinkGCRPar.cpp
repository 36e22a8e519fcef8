#include "platform/cms/TProcLinkGCRPar.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace rdz::cms {

bool GcrSettings::Neutral() const {
    bool limited = totalInk < 4.0;
    for (double limit : channelLimit)
        limited = limited || limit < 1.0;
    const bool generatesBlack =
        purpose != TCMS::BlackGenModeNone && maximumK > 0.0 && startK < 1.0 && range > 0.0;
    return !limited && !generatesBlack;
}

json::Json GcrSettings::ToJson() const {
    return json::Json{{"purpose", purpose},
                      {"totalInk", totalInk},
                      {"startK", startK},
                      {"maximumK", maximumK},
                      {"range", range},
                      {"channelLimit", channelLimit},
                      {"keepBlackOnly", keepBlackOnly}};
}

bool ReadFourNumbers(double a, double b, double c, double d, GcrSettings* settings) {
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c) || !std::isfinite(d))
        return false;
    settings->totalInk = std::clamp(4.0 * (1.0 - a), 1.0, 4.0);
    settings->startK = std::clamp(1.0 - b, 0.0, 1.0);
    settings->maximumK = std::clamp(1.0 - c, 0.0, 1.0);
    settings->range = std::clamp(d, 0.0, 1.0);
    return true;
}

}  // namespace rdz::cms

TProcLinkGCRPar::TProcLinkGCRPar(std::string name, rdz::cms::GcrSettings settings,
                                 rdz::cms::json::Json given)
    : name_(std::move(name)), settings_(settings), given_(std::move(given)) {}
