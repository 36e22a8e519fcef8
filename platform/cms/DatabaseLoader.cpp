#include "platform/cms/DatabaseLoader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unordered_set>

#include "platform/cms/JsonReader.h"
#include "platform/cms/Names.h"
#include "platform/cms/StrategyJson.h"
#include "platform/cms/TCMSLibrary.h"
#include "platform/cms/TInk.h"
#include "platform/cms/TProc.h"
#include "platform/common/ControlCharacters.h"

namespace fs = std::filesystem;

namespace rdz::cms {

using json::Json;

namespace {

// Larger files are certainly not ours; reading them whole would only cost memory.
constexpr std::uintmax_t kMaxFileSize = 64u * 1024u * 1024u;

struct Loader {
    fs::path root;
    std::vector<std::string>* errors;
    TCMSLibrary& lib;

    void Report(const std::string& file, const std::string& fault) {
        errors->push_back(file + ": " + fault);
    }

    /// Regular, visible files of a subfolder, sorted by name.
    std::vector<fs::path> FilesOf(const char* subfolder) {
        std::vector<fs::path> files;
        std::error_code ec;
        const fs::path dir = root / subfolder;
        if (!fs::is_directory(dir, ec))
            return files;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.empty() || name[0] == '.')
                continue;
            std::error_code typeError;
            if (!it->is_regular_file(typeError))
                continue;
            // The file name becomes a name the operator sees (a strategy or a
            // process is called after its file): one with a newline or a
            // terminal command in it is nobody's honest choice.
            if (rdz::platform::HasControlCharacter(name)) {
                Report(std::string(subfolder) + "/" + name,
                       "the file name holds control characters; the file is not read");
                continue;
            }
            files.push_back(it->path());
        }
        if (ec)
            Report(subfolder, "cannot list the folder: " + ec.message());
        std::sort(files.begin(), files.end());
        return files;
    }

    std::string Relative(const fs::path& file) {
        return file.parent_path().filename().string() + "/" + file.filename().string();
    }

    bool ReadBytes(const fs::path& file, std::vector<unsigned char>* bytes) {
        std::error_code ec;
        const auto size = fs::file_size(file, ec);
        if (ec) {
            Report(Relative(file), "cannot read the file: " + ec.message());
            return false;
        }
        if (size > kMaxFileSize) {
            Report(Relative(file), "the file is larger than 64 MB");
            return false;
        }
        std::ifstream in(file, std::ios::binary);
        bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            Report(Relative(file), "cannot read the file");
            return false;
        }
        return true;
    }

    /// Reads and parses a JSON file; false (reported) on any fault.
    bool ReadJson(const fs::path& file, Json* value) {
        std::vector<unsigned char> bytes;
        if (!ReadBytes(file, &bytes))
            return false;
        try {
            *value = json::Parse(std::string(bytes.begin(), bytes.end()));
            return true;
        } catch (const json::JsonFault& fault) {
            Report(Relative(file), fault.what());
            return false;
        }
    }

    static bool IsJson(const fs::path& file) { return file.extension() == ".json"; }

    void LoadInkBooks() {
        for (const fs::path& file : FilesOf("inkbooks")) {
            if (!IsJson(file))
                continue;
            Json value;
            if (!ReadJson(file, &value))
                continue;
            try {
                TCMSLibrary::InkBook book = ReadInkBook(value, file.stem().string());
                std::string error;
                if (!lib.AddBook(std::move(book), &error))
                    Report(Relative(file), error);
            } catch (const json::JsonFault& fault) {
                Report(Relative(file), fault.what());
            }
        }
    }

    static TCMSLibrary::InkBook ReadInkBook(const Json& value, const std::string& stem) {
        json::CheckObject(value, "", {"book", "displayName", "inks"});
        TCMSLibrary::InkBook book;
        book.name = json::Name(value, "book", "", false, stem);
        book.displayName = json::Name(value, "displayName", "", false, book.name);
        const Json* inks = json::FindArray(value, "inks", "");
        if (inks == nullptr)
            json::Fail("inks", "missing");
        book.inks.reserve(inks->size());
        std::unordered_set<std::string> names;  // folded: names ignore case
        names.reserve(inks->size());
        for (std::size_t i = 0; i < inks->size(); ++i) {
            const std::string where = json::Element("inks", i);
            const Json& entry = (*inks)[i];
            json::CheckObject(entry, where, {"name", "displayName", "lab", "opacity", "process"});
            TInk::Properties ink;
            ink.origin = TInk::Origin::InkBook;
            ink.book = book.name;
            ink.bookDisplayName = book.displayName;
            ink.name = json::Name(entry, "name", where, true);
            ink.displayName = json::Name(entry, "displayName", where, false, ink.name);
            ink.lab = json::Lab(entry, "lab", where);
            ink.opacity = json::Number(entry, "opacity", where, 0.0, 0.0, 1.0);
            ink.process = json::Boolean(entry, "process", where, false);
            if (!names.insert(FoldCase(ink.name)).second) {
                json::Fail(where, "a second ink named '" + ink.name + "'");
            }
            book.inks.push_back(std::make_shared<TInk>(std::move(ink)));
        }
        return book;
    }

    void LoadProcesses() {
        const std::vector<fs::path> files = FilesOf("processes");
        for (const fs::path& file : files) {
            if (IsJson(file)) {
                fs::path profile = file;
                profile.replace_extension();
                if (!std::binary_search(files.begin(), files.end(), profile)) {
                    Report(Relative(file), "there is no process file '" +
                                               profile.filename().string() + "' beside it");
                }
                continue;
            }
            LoadProcess(file, std::binary_search(files.begin(), files.end(),
                                                 fs::path(file.string() + ".json")));
        }
    }

    void LoadProcess(const fs::path& file, bool ownKind) {
        TProc::Properties process;
        process.name = file.filename().string();
        if (!ReadBytes(file, &process.profile))
            return;
        ProfileFacts facts;
        std::string error;
        if (!InspectProfile(process.profile, &facts, &error)) {
            Report(Relative(file), error);
            return;
        }
        process.icc = !ownKind;
        process.colorSpace = facts.colorSpace;
        process.nrChannels = facts.nrChannels;
        process.usableAsDestination = facts.usableAsDestination;

        Json marker = Json::object();
        const fs::path markerFile(file.string() + ".json");
        if (ownKind && !ReadJson(markerFile, &marker))
            return;
        try {
            process.inks = ReadProcessInks(marker, process.name, facts);
        } catch (const json::JsonFault& fault) {
            Report(Relative(markerFile), fault.what());
            return;
        }
        if (!lib.AddProcess(std::make_shared<TProc>(std::move(process)), &error)) {
            Report(Relative(file), error);
        }
    }

    /// The process's inks: the profile's channels, renamed by the marker file
    /// when it lists them, then the spot inks the marker adds.
    std::vector<std::shared_ptr<TInk>> ReadProcessInks(const Json& marker, const std::string& name,
                                                       const ProfileFacts& facts) {
        json::CheckObject(marker, "", {"inks"});
        const Json* listed = json::FindArray(marker, "inks", "");
        if (listed != nullptr && listed->size() < static_cast<std::size_t>(facts.nrChannels)) {
            json::Fail("inks", "lists " + std::to_string(listed->size()) +
                                   " inks but the profile has " + std::to_string(facts.nrChannels) +
                                   " channels");
        }
        std::vector<std::shared_ptr<TInk>> inks;
        for (int c = 0; c < facts.nrChannels; ++c) {
            TInk::Properties ink;
            ink.origin = TInk::Origin::Process;
            ink.name = facts.channelNames[c];
            ink.process = true;
            ink.lab = facts.channelLab[c];
            std::string book;
            if (listed != nullptr) {
                const std::string where = json::Element("inks", c);
                json::CheckObject((*listed)[c], where, {"name", "book"});
                ink.name = json::Name((*listed)[c], "name", where, true);
                book = json::Name((*listed)[c], "book", where, false);
            }
            // Documents know the channel as the process ink of an ink book.
            const std::shared_ptr<TInk> known =
                book.empty() ? lib.FindProcessInk(ink.name) : lib.FindInk(book, ink.name);
            ink.book = known ? known->Book() : book;
            ink.bookDisplayName = known ? known->BookDisplayName() : book;
            ink.displayName = known ? known->DisplayName() : ink.name;
            inks.push_back(std::make_shared<TInk>(std::move(ink)));
        }
        const std::size_t count = listed == nullptr ? 0 : listed->size();
        for (std::size_t i = static_cast<std::size_t>(facts.nrChannels); i < count; ++i) {
            inks.push_back(ReadSpotInk((*listed)[i], json::Element("inks", i), name));
        }
        std::unordered_set<std::string> names;  // folded: names ignore case
        for (std::size_t i = 0; i < inks.size(); ++i) {
            if (!names.insert(FoldCase(inks[i]->Name())).second) {
                json::Fail(json::Element("inks", i),
                           "a second ink named '" + inks[i]->Name() + "'");
            }
        }
        return inks;
    }

    std::shared_ptr<TInk> ReadSpotInk(const Json& entry, const std::string& where,
                                      const std::string& processName) {
        json::CheckObject(entry, where, {"name", "book", "lab", "opacity"});
        TInk::Properties ink;
        ink.origin = TInk::Origin::Process;
        ink.name = json::Name(entry, "name", where, true);
        ink.book = json::Name(entry, "book", where, false, processName);
        const std::shared_ptr<TInk> known = lib.FindInk(ink.book, ink.name);
        if (known) {
            ink.name = known->Name();
            ink.book = known->Book();
            ink.bookDisplayName = known->BookDisplayName();
            ink.displayName = known->DisplayName();
            ink.lab = known->Lab();
            ink.opacity = known->Opacity();
        }
        if (json::Find(entry, "lab") != nullptr) {
            ink.lab = json::Lab(entry, "lab", where);
        } else if (!known) {
            json::Fail(where, "spot ink '" + ink.name + "' is in no ink book and gives no lab");
        }
        ink.opacity = json::Number(entry, "opacity", where, ink.opacity, 0.0, 1.0);
        return std::make_shared<TInk>(std::move(ink));
    }

    void LoadStrategies() {
        for (const fs::path& file : FilesOf("strategies")) {
            if (!IsJson(file))
                continue;
            Json value;
            if (!ReadJson(file, &value))
                continue;
            try {
                StrategyDef def = ReadStrategy(value, lib, file.stem().string(), true, 0);
                def.name = file.stem().string();  // the file name is the strategy's name
                std::string error;
                if (!lib.AddStrategy(std::move(def), &error))
                    Report(Relative(file), error);
            } catch (const json::JsonFault& fault) {
                Report(Relative(file), fault.what());
            }
        }
    }
};

}  // namespace

std::shared_ptr<TCMSLibrary> LoadDatabase(const std::string& folder,
                                          std::vector<std::string>* errors) {
    auto lib = std::make_shared<TCMSLibrary>(folder);
    if (folder.empty())
        return lib;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        errors->push_back(folder + ": the database folder does not exist");
        return lib;
    }
    Loader loader{fs::path(folder), errors, *lib};
    loader.LoadInkBooks();
    loader.LoadProcesses();
    loader.LoadStrategies();
    return lib;
}

}  // namespace rdz::cms
