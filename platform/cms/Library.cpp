// TCMS_Init, TCMS_End, TCMS_GetLib and the stand-in's controls of them.
#include <mutex>

#include "host/CMS.h"
#include "platform/cms/DatabaseLoader.h"
#include "platform/cms/Messages.h"
#include "platform/cms/StandIn.h"
#include "platform/cms/TCMSLibrary.h"

namespace {

struct LibraryState {
    std::mutex mutex;
    std::string folder;            // chosen folder; empty: the empty in-memory database
    std::string linkFolder;        // chosen link store; empty: the database folder
    std::string openedLinkFolder;  // the link store of `lib`
    int inits = 0;
    int ends = 0;
    int open = 0;
    std::shared_ptr<TCMSLibrary> lib;  // the open database, null while closed
    std::vector<std::string> loadErrors;
};

LibraryState& State() {
    static LibraryState state;
    return state;
}

}  // namespace

int TCMS_Init() {
    LibraryState& state = State();
    std::vector<std::string> errors;
    std::string folder;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        ++state.inits;
        ++state.open;
        if (state.lib && state.lib->Folder() == state.folder &&
            state.openedLinkFolder == state.linkFolder)
            return 0;
        state.lib = rdz::cms::LoadDatabase(state.folder, &errors);
        if (!state.linkFolder.empty())
            state.lib->UseLinkStore(state.linkFolder);
        state.openedLinkFolder = state.linkFolder;
        state.loadErrors = errors;
        folder = state.folder;
    }
    // Told outside the lock: a sink may well ask the library something.
    for (const std::string& error : errors) {
        rdz::cms::Say(rdz::cms::MessageLevel::Warning, "CMS database " + folder + ": " + error);
    }
    return 0;
}

int TCMS_End() {
    LibraryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.open == 0)
        return -1;
    ++state.ends;
    if (--state.open == 0)
        state.lib.reset();
    return 0;
}

std::shared_ptr<TCMSLibrary> TCMS_GetLib() {
    LibraryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.lib;
}

namespace rdz::cms {

void SetDatabaseFolder(const std::string& folder) {
    LibraryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.folder = folder;
}

std::string DatabaseFolder() {
    LibraryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.folder;
}

void SetLinkStoreFolder(const std::string& folder) {
    LibraryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.linkFolder = folder;
}

std::string LinkStoreFolder() {
    LibraryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.linkFolder;
}

int InitCount() {
    LibraryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.inits;
}

int EndCount() {
    LibraryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.ends;
}

int OpenCount() {
    LibraryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.open;
}

void ResetCounts() {
    LibraryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.inits = 0;
    state.ends = 0;
}

std::vector<std::string> LoadErrors() {
    LibraryState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.loadErrors;
}

}  // namespace rdz::cms
