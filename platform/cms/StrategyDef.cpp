#include "platform/cms/StrategyDef.h"

#include "platform/cms/StandIn.h"
#include "platform/cms/TInk.h"
#include "platform/cms/TProc.h"

namespace rdz::cms {

std::vector<TCMS::InkInfo> ValueChannels(const StrategyDef& def) {
    std::vector<TCMS::InkInfo> channels;
    if (def.destination) {
        const auto& inks = def.destination->Inks();
        const int nrChannels = def.destination->NrChannels();
        for (int i = 0; i < static_cast<int>(inks.size()); ++i) {
            const bool isChannel = i < nrChannels;
            const bool renamed =
                isChannel && def.destinationChannelNames.size() == static_cast<size_t>(nrChannels);
            channels.emplace_back(inks[i]->Book(),
                                  renamed ? def.destinationChannelNames[i] : inks[i]->Name(),
                                  isChannel ? kProcessChannel : kProcessSpotInk);
        }
    }
    for (const InkName& extra : def.extraOutputInks) {
        channels.emplace_back(extra.book, extra.ink, kExtraOutputInk);
    }
    return channels;
}

std::vector<std::string> SourceChannelNames(const StrategyDef& def) {
    if (!def.source)
        return {};
    const int nrChannels = def.source->NrChannels();
    if (def.sourceChannelNames.size() == static_cast<size_t>(nrChannels)) {
        return def.sourceChannelNames;
    }
    std::vector<std::string> names;
    for (int i = 0; i < nrChannels; ++i)
        names.push_back(def.source->Inks()[i]->Name());
    return names;
}

}  // namespace rdz::cms
