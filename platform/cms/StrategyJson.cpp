#include "platform/cms/StrategyJson.h"

#include <cmath>

#include "platform/cms/Names.h"
#include "platform/cms/TCMSLibrary.h"
#include "platform/cms/TProc.h"

namespace rdz::cms {

using json::Json;

namespace {

std::shared_ptr<const TProc> ReadProcess(const Json& value, const char* key, const TCMSLibrary& lib,
                                         bool required, const std::string& fallback) {
    const std::string name = json::String(value, key, "", required, fallback);
    const std::shared_ptr<const TProc> process = lib.FindProcess(name);
    if (!process)
        json::Fail(key, "process '" + name + "' is not in the database");
    return process;
}

InkName ReadInkName(const Json& value, const std::string& where) {
    json::CheckObject(value, where, {"book", "ink"});
    return InkName{json::Name(value, "book", where, true), json::Name(value, "ink", where, true)};
}

bool SameInk(const std::string& book1, const std::string& ink1, const std::string& book2,
             const std::string& ink2) {
    return EqualsIgnoringCase(book1, book2) && EqualsIgnoringCase(ink1, ink2);
}

std::vector<double> ReadValues(const Json& item, const std::string& where, std::size_t count) {
    std::vector<double> values(count, 0.0);
    const Json* list = json::FindArray(item, "values", where);
    if (list == nullptr)
        return values;
    const std::string field = json::Field(where, "values");
    if (list->size() > count) {
        json::Fail(field, std::to_string(list->size()) + " values for " + std::to_string(count) +
                              " output channels");
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
        const Json& value = (*list)[i];
        const double number = value.is_number() ? value.get<double>() : -1.0;
        if (!std::isfinite(number) || number < 0.0 || number > 1000.0) {
            json::Fail(json::Element(field, i), "expected a percentage from 0 to 1000");
        }
        values[i] = number;
    }
    return values;
}

}  // namespace

StrategyDef ReadStrategy(const Json& value, const TCMSLibrary& lib, const std::string& name,
                         bool typeRequired, int fallbackType) {
    json::CheckObject(
        value, "",
        {"name", "type", "source", "destination", "renderingIntent", "blackPointCompensation",
         "resolution", "blackGeneration", "convertOpaqueInks", "convertUnregisteredInks",
         "extraOutputInks", "unprintedInks", "advancedItems", "deviceLinkPolicy", "deviceLink"});
    StrategyDef def;
    def.name = json::String(value, "name", "", false, name);
    if (typeRequired && json::Find(value, "type") == nullptr)
        json::Fail("type", "missing");
    def.type = json::Choice(value, "type", "", fallbackType, {1, 2, 3});
    def.source = ReadProcess(value, "source", lib, true, "");
    def.destination = ReadProcess(value, "destination", lib, false, def.source->Name());
    if (!def.destination->UsableAsDestination()) {
        json::Fail("destination", "the profile of process '" + def.destination->Name() +
                                      "' cannot convert colours into its channels");
    }
    def.renderingIntent =
        json::Choice(value, "renderingIntent", "", TCMS::RelativeColorimetric, {2, 3, 4, 5});
    def.blackPointCompensation = json::Boolean(value, "blackPointCompensation", "", false);
    def.resolution = json::Choice(value, "resolution", "", TCMS::ResolutionLow, {0, 2});
    def.blackGeneration = json::Choice(value, "blackGeneration", "", 0, {0, 2});
    def.convertOpaqueInks = json::Boolean(value, "convertOpaqueInks", "", true);
    def.convertUnregisteredInks = json::Boolean(value, "convertUnregisteredInks", "", true);
    def.deviceLinkPolicy = json::Choice(value, "deviceLinkPolicy", "", 0, {0, 1});
    def.deviceLinkName = json::String(value, "deviceLink", "", false);

    if (const Json* extras = json::FindArray(value, "extraOutputInks", "")) {
        for (std::size_t i = 0; i < extras->size(); ++i) {
            const std::string where = json::Element("extraOutputInks", i);
            InkName extra = ReadInkName((*extras)[i], where);
            for (const TCMS::InkInfo& channel : ValueChannels(def)) {
                if (EqualsIgnoringCase(channel.GetInkNamePtr(), extra.ink) &&
                    (channel.GetKind() != 2 ||
                     EqualsIgnoringCase(channel.GetBookNamePtr(), extra.book))) {
                    json::Fail(where, "'" + extra.ink + "' is already an output ink");
                }
            }
            def.extraOutputInks.push_back(std::move(extra));
        }
    }
    const std::vector<TCMS::InkInfo> channels = ValueChannels(def);

    if (const Json* unprinted = json::FindArray(value, "unprintedInks", "")) {
        for (std::size_t i = 0; i < unprinted->size(); ++i) {
            const std::string where = json::Element("unprintedInks", i);
            const Json& entry = (*unprinted)[i];
            if (!entry.is_string())
                json::Fail(where, "expected an output ink name");
            const std::string ink = entry.get<std::string>();
            bool known = false;
            for (const TCMS::InkInfo& channel : channels) {
                known = known || EqualsIgnoringCase(channel.GetInkNamePtr(), ink);
            }
            if (!known)
                json::Fail(where, "'" + ink + "' is not an output ink of the strategy");
            def.unprintedInks.push_back(ink);
        }
    }

    if (const Json* items = json::FindArray(value, "advancedItems", "")) {
        for (std::size_t i = 0; i < items->size(); ++i) {
            const std::string where = json::Element("advancedItems", i);
            const Json& entry = (*items)[i];
            json::CheckObject(entry, where, {"book", "ink", "option", "values"});
            AdvancedItem item;
            item.book = json::Name(entry, "book", where, true);
            item.ink = json::Name(entry, "ink", where, true);
            if (json::Find(entry, "option") == nullptr)
                json::Fail(json::Field(where, "option"), "missing");
            item.option = static_cast<TCMS::ColTransfInkOption>(
                json::Choice(entry, "option", where, 0, {0, 1, 4}));
            item.values = ReadValues(entry, where, channels.size());
            for (const AdvancedItem& earlier : def.advancedItems) {
                if (SameInk(earlier.book, earlier.ink, item.book, item.ink)) {
                    json::Fail(where, "a second item for ink '" + item.ink + "' of book '" +
                                          item.book + "'");
                }
            }
            def.advancedItems.push_back(std::move(item));
        }
    }
    return def;
}

Json WriteStrategy(const StrategyDef& def) {
    Json out = Json::object();
    if (!def.name.empty())
        out["name"] = def.name;
    if (def.type >= 1 && def.type <= 3)
        out["type"] = def.type;
    if (def.source)
        out["source"] = def.source->Name();
    if (def.destination)
        out["destination"] = def.destination->Name();
    out["renderingIntent"] = def.renderingIntent;
    out["blackPointCompensation"] = def.blackPointCompensation;
    out["resolution"] = def.resolution;
    out["blackGeneration"] = def.blackGeneration;
    out["convertOpaqueInks"] = def.convertOpaqueInks;
    out["convertUnregisteredInks"] = def.convertUnregisteredInks;
    out["deviceLinkPolicy"] = def.deviceLinkPolicy;
    if (!def.deviceLinkName.empty())
        out["deviceLink"] = def.deviceLinkName;
    Json extras = Json::array();
    for (const InkName& extra : def.extraOutputInks) {
        extras.push_back({{"book", extra.book}, {"ink", extra.ink}});
    }
    out["extraOutputInks"] = extras;
    out["unprintedInks"] = def.unprintedInks;
    Json items = Json::array();
    for (const AdvancedItem& item : def.advancedItems) {
        items.push_back({{"book", item.book},
                         {"ink", item.ink},
                         {"option", static_cast<int>(item.option)},
                         {"values", item.values}});
    }
    out["advancedItems"] = items;
    return out;
}

}  // namespace rdz::cms
