#include "tools/Database.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "formats/Errors.h"
#include "formats/InkBooks.h"
#include "host/CMS.h"
#include "platform/cms/StandIn.h"
#include "platform/cms/StrategyDef.h"
#include "platform/cms/TCMSLibrary.h"
#include "platform/cms/TInk.h"
#include "platform/cms/TProc.h"

namespace rdz::tools {
using rdz::formats::InputError;
namespace {

namespace fs = std::filesystem;

/// The folder of the running program.
fs::path ProgramFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self.parent_path();
}

bool LooksLikeDatabase(const fs::path& folder) {
    std::error_code ec;
    return fs::is_directory(folder / "processes", ec);
}

/// Whether the program may add links to the database in `folder`.
bool Writable(const std::string& folder) {
    if (::access(folder.c_str(), W_OK) != 0) {
        return false;
    }
    const std::string links = folder + "/links";
    std::error_code ec;
    return !fs::exists(links, ec) || ::access(links.c_str(), W_OK) == 0;
}

std::shared_ptr<TCMSLibrary> OpenLibrary() {
    std::shared_ptr<TCMSLibrary> lib = TCMS_GetLib();
    if (!lib) {
        // Never so while a Database lives; a programming error otherwise.
        throw std::logic_error("the CMS database is not open");
    }
    return lib;
}

}  // namespace

std::string DefaultDatabaseFolder() {
    const fs::path program = ProgramFolder();
    if (program.empty()) {
        return std::string();
    }
#ifndef RDZ_INSTALLED_CMSDB
#define RDZ_INSTALLED_CMSDB "../share/rodadazerivo/cmsdb"
#endif
    for (const fs::path& candidate :
         {program / RDZ_INSTALLED_CMSDB, program / ".." / "examples" / "cmsdb"}) {
        if (LooksLikeDatabase(candidate)) {
            return candidate.lexically_normal().string();
        }
    }
    return std::string();
}

std::string UserLinkStoreFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/') {
        return (fs::path(cache) / "rodadazerivo").string();
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return (fs::path(home) / ".cache" / "rodadazerivo").string();
    }
    return std::string();
}

DatabaseChoice ChooseDatabase(const std::string& cmsOption) {
    DatabaseChoice choice;
    const char* environment = std::getenv("RODADAZERIVO_CMS");
    if (!cmsOption.empty()) {
        choice.folder = cmsOption;
        choice.origin = "--cms";
    } else if (environment != nullptr && environment[0] != '\0') {
        choice.folder = environment;
        choice.origin = "$RODADAZERIVO_CMS";
    } else {
        choice.folder = DefaultDatabaseFolder();
        choice.origin = "default";
    }
    // The default database is shared by every user of the program: links
    // computed with it are the user's own, like those of a folder the
    // program cannot write.
    if (!choice.folder.empty() && (choice.origin == "default" || !Writable(choice.folder))) {
        choice.linkStore = UserLinkStoreFolder();
    }
    return choice;
}

std::string DescribeDatabase(const DatabaseChoice& choice) {
    if (choice.folder.empty()) {
        return "the empty CMS database (no --cms given, no $RODADAZERIVO_CMS, and no default "
               "database installed)";
    }
    return std::string(choice.origin == "default" ? "the default CMS database "
                                                  : "the CMS database ") +
           choice.folder;
}

namespace {

void CheckFolder(const std::string& folder) {
    std::error_code ec;
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        throw InputError(folder + ": the CMS database folder does not exist");
    }
}

}  // namespace

DatabaseSession::DatabaseSession(DatabaseChoice choice) : choice_(std::move(choice)) {
    CheckFolder(choice_.folder);
}

Database& DatabaseSession::Open() {
    if (!database_) {
        database_ = std::make_unique<Database>(choice_);
    }
    return *database_;
}

Database::Database(DatabaseChoice choice) : choice_(std::move(choice)) {
    CheckFolder(choice_.folder);
    rdz::cms::SetDatabaseFolder(choice_.folder);
    rdz::cms::SetLinkStoreFolder(choice_.linkStore);
    TCMS_Init();
}

Database::~Database() {
    TCMS_End();
}

std::shared_ptr<TCMSLibrary> Database::Library() const {
    return OpenLibrary();
}

std::vector<std::string> Database::ProcessNames() const {
    return OpenLibrary()->ProcessNames();
}

std::vector<std::string> Database::StrategyNames() const {
    return OpenLibrary()->StrategyNames();
}

const rdz::cms::StrategyDef* Database::FindStrategy(const std::string& name) const {
    return OpenLibrary()->FindStrategy(name);
}

std::string Database::ProcessName(const std::string& name) const {
    const std::shared_ptr<const TProc> process = OpenLibrary()->FindProcess(name);
    return process ? process->Name() : std::string();
}

std::vector<unsigned char> Database::ProcessProfile(const std::string& name) const {
    const std::shared_ptr<const TProc> process = OpenLibrary()->FindProcess(name);
    return process ? process->ProfileBytes() : std::vector<unsigned char>();
}

std::string Database::UseProcess(const std::string& nameOrPath) {
    const std::shared_ptr<TCMSLibrary> lib = OpenLibrary();
    if (!nameOrPath.empty() && lib->FindProcess(nameOrPath)) {
        return nameOrPath;
    }
    std::error_code ec;
    if (nameOrPath.empty() || !fs::is_regular_file(nameOrPath, ec)) {
        return std::string();
    }
    std::ifstream in(nameOrPath, std::ios::binary);
    TProc::Properties process;
    process.profile.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        throw InputError(nameOrPath + ": cannot read the ICC file: " + std::strerror(errno));
    }
    rdz::cms::ProfileFacts facts;
    std::string fault;
    if (!rdz::cms::InspectProfile(process.profile, &facts, &fault)) {
        throw InputError(nameOrPath + ": cannot serve as a process: " + fault);
    }
    // Named by its file name, unless the database has another process of
    // that name: then by the whole path, which no process file can have.
    process.name = fs::path(nameOrPath).filename().string();
    if (const std::shared_ptr<const TProc> same = lib->FindProcess(process.name)) {
        if (same->ProfileBytes() == process.profile) {
            return same->Name();
        }
        process.name = fs::absolute(nameOrPath, ec).lexically_normal().string();
    }
    process.icc = true;
    process.colorSpace = facts.colorSpace;
    process.nrChannels = facts.nrChannels;
    process.usableAsDestination = facts.usableAsDestination;
    for (int c = 0; c < facts.nrChannels; ++c) {
        TInk::Properties ink;
        ink.origin = TInk::Origin::Process;
        ink.name = facts.channelNames[static_cast<std::size_t>(c)];
        ink.process = true;
        ink.lab = facts.channelLab[static_cast<std::size_t>(c)];
        // Documents know a channel as the process ink of an ink book.
        if (const std::shared_ptr<TInk> known = lib->FindProcessInk(ink.name)) {
            ink.book = known->Book();
            ink.bookDisplayName = known->BookDisplayName();
            ink.displayName = known->DisplayName();
        }
        process.inks.push_back(std::make_shared<TInk>(std::move(ink)));
    }
    const std::string name = process.name;
    if (!lib->AddProcess(std::make_shared<TProc>(std::move(process)), &fault)) {
        throw InputError(nameOrPath + ": cannot serve as a process: " + fault);
    }
    return name;
}

}  // namespace rdz::tools
