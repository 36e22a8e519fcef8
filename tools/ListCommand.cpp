// rodadazerivo list strategies|processes|inkbooks|links
//
// One line per entry: the name, a tab, and what the database says about it;
// with --json an array of objects for machines.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "platform/cms/StrategyDef.h"
#include "platform/cms/TCMSLibrary.h"
#include "platform/cms/TInk.h"
#include "platform/cms/TProc.h"
#include "tools/Commands.h"
#include "tools/Database.h"
#include "tools/OptionValues.h"
#include "tools/ProgressBar.h"

namespace rdz::tools {
namespace {

namespace fs = std::filesystem;

const char* TypeName(int type) {
    switch (type) {
        case TCMS::ColTransfTypeProfile:
            return "profile transform";
        case TCMS::ColTransfTypeOrvex:
            return "Orvex";
        case TCMS::ColTransfTypeDigitalPrinting:
            return "Digital Printing";
        default:
            return "any";
    }
}

/// "CMYK" from a colour-space signature.
std::string SpaceName(std::uint32_t signature) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((signature >> shift) & 0xFF);
        if (c != ' ' && c != '\0') {
            text += c;
        }
    }
    return text;
}

std::string IntentOf(int cmsIntent) {
    return IccIntentName(cmsIntent - TCMS::Perceptual);
}

nlohmann::json Strategies(const Database& database) {
    nlohmann::json list = nlohmann::json::array();
    for (const std::string& name : database.StrategyNames()) {
        const rdz::cms::StrategyDef* strategy = database.FindStrategy(name);
        if (strategy == nullptr) {
            continue;
        }
        list.push_back({{"name", strategy->name},
                        {"type", strategy->type},
                        {"typeName", TypeName(strategy->type)},
                        {"source", strategy->source ? strategy->source->Name() : ""},
                        {"destination", strategy->destination ? strategy->destination->Name() : ""},
                        {"renderingIntent", IntentOf(strategy->renderingIntent)},
                        {"blackPointCompensation", strategy->blackPointCompensation}});
    }
    return list;
}

nlohmann::json Processes(const Database& database) {
    nlohmann::json list = nlohmann::json::array();
    const std::shared_ptr<TCMSLibrary> lib = database.Library();
    for (const std::string& name : database.ProcessNames()) {
        const std::shared_ptr<const TProc> process = lib->FindProcess(name);
        if (!process) {
            continue;
        }
        nlohmann::json channels = nlohmann::json::array();
        nlohmann::json spots = nlohmann::json::array();
        for (int i = 0; i < process->NrInks(); ++i) {
            const std::shared_ptr<TInk>& ink = process->Inks()[static_cast<std::size_t>(i)];
            (i < process->NrChannels() ? channels : spots).push_back(ink->Name());
        }
        list.push_back({{"name", process->Name()},
                        {"colorSpace", SpaceName(process->ColorSpace())},
                        {"kind", process->IsICC() ? "ICC profile" : "process of the CMS library"},
                        {"channels", channels},
                        {"spotInks", spots},
                        {"usableAsDestination", process->UsableAsDestination()}});
    }
    return list;
}

nlohmann::json InkBooks(const Database& database) {
    nlohmann::json list = nlohmann::json::array();
    for (const TCMSLibrary::InkBook& book : database.Library()->Books()) {
        nlohmann::json inks = nlohmann::json::array();
        for (const std::shared_ptr<TInk>& ink : book.inks) {
            inks.push_back(ink->Name());
        }
        list.push_back({{"name", book.name},
                        {"displayName", book.displayName.empty() ? book.name : book.displayName},
                        {"inks", inks}});
    }
    return list;
}

nlohmann::json Links(const Database& database) {
    nlohmann::json list = nlohmann::json::array();
    const DatabaseChoice& choice = database.Choice();
    for (const std::string& folder : {choice.linkStore, choice.folder}) {
        std::error_code ec;
        if (folder.empty()) {
            continue;
        }
        std::vector<fs::path> files;
        for (fs::recursive_directory_iterator it(fs::path(folder) / "links", ec), end;
             !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (it->path().extension() == ".json" && name[0] != '.') {
                files.push_back(it->path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file);
            const nlohmann::json data = nlohmann::json::parse(in, nullptr, false);
            if (!data.is_object()) {
                continue;
            }
            const auto process = [&](const char* side) {
                return data.contains(side) && data[side].is_object()
                           ? data[side].value("process", std::string())
                           : std::string();
            };
            const int intent = data.value("renderingIntent", 0);
            nlohmann::json entry = {{"name", data.value("product", std::string()) + "/" +
                                                 data.value("name", file.stem().string())},
                                    {"kind", data.value("kind", std::string())},
                                    {"source", process("source")},
                                    {"destination", process("destination")},
                                    {"renderingIntent", intent >= 2 ? IntentOf(intent) : ""},
                                    {"store", folder}};
            // An ink-saving link's purpose and limit, in the program's units.
            const nlohmann::json gcr = data.contains("key") && data["key"].is_object()
                                           ? data["key"].value("gcr", nlohmann::json())
                                           : nlohmann::json();
            if (gcr.is_object()) {
                static const char* const kPurposes[] = {"none", "light", "medium", "ink-saving",
                                                        "heavy"};
                const int purpose = gcr.value("purpose", -1);
                entry["purpose"] = purpose >= 0 && purpose <= 4 ? kPurposes[purpose] : "";
                entry["totalInk"] = gcr.value("totalInk", 4.0) * 100.0;
            }
            list.push_back(entry);
        }
    }
    return list;
}

std::string Joined(const nlohmann::json& names) {
    std::string text;
    for (const nlohmann::json& name : names) {
        text += (text.empty() ? "" : ", ") + name.get<std::string>();
    }
    return text;
}

/// The line of one entry: its name, a tab, what it is.
std::string Line(const std::string& what, const nlohmann::json& entry) {
    std::string text = entry.value("name", std::string()) + "\t";
    if (what == "strategies") {
        text +=
            "type " + std::to_string(entry.value("type", 0)) + " (" +
            entry.value("typeName", std::string()) + "): " + entry.value("source", std::string()) +
            " -> " + entry.value("destination", std::string()) + ", " +
            entry.value("renderingIntent", std::string()) +
            (entry.value("blackPointCompensation", false) ? " with black point compensation" : "");
    } else if (what == "processes") {
        text += entry.value("colorSpace", std::string()) + ", " +
                entry.value("kind", std::string()) + ": " + Joined(entry["channels"]);
        if (!entry["spotInks"].empty()) {
            text += "; spot inks: " + Joined(entry["spotInks"]);
        }
    } else if (what == "inkbooks") {
        text += entry.value("displayName", std::string()) + ", " +
                std::to_string(entry["inks"].size()) + " inks";
    } else {
        text += entry.value("kind", std::string()) + ": " + entry.value("source", std::string()) +
                " -> " + entry.value("destination", std::string()) +
                (entry.value("renderingIntent", std::string()).empty()
                     ? ""
                     : ", " + entry.value("renderingIntent", std::string()));
        if (entry.contains("purpose")) {
            char limit[32];
            std::snprintf(limit, sizeof limit, "%g%%", entry.value("totalInk", 400.0));
            text += ", purpose " + entry.value("purpose", std::string()) + ", total ink " + limit;
        }
        text += " (in " + entry.value("store", std::string()) + ")";
    }
    return text;
}

}  // namespace

int RunListCommand(const CommandLine& line, Console& console) {
    const ListRequest& request = line.list;
    Database database(ChooseDatabase(request.cmsOption));
    console.Detail("Listing " + database.Describe());
    const nlohmann::json list = request.what == "strategies"  ? Strategies(database)
                                : request.what == "processes" ? Processes(database)
                                : request.what == "inkbooks"  ? InkBooks(database)
                                                              : Links(database);
    std::string text;
    if (request.json) {
        text = list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    } else {
        for (const nlohmann::json& entry : list) {
            text += Line(request.what, entry) + "\n";
        }
    }
    std::fputs(text.c_str(), stdout);
    return 0;
}

}  // namespace rdz::tools
