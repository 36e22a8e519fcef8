#include "formats/OutputFiles.h"

#include <filesystem>

#include "formats/Errors.h"

namespace rdz::formats {

std::string OutputFiles::Add(const std::string& finalPath, const std::string& permissionsLike) {
    const std::string name = std::filesystem::path(finalPath).filename().string();
    if (name.size() > rdz::files::kMaxFileNameBytes) {
        throw WorkError("cannot write '" + finalPath + "': its file name has " +
                        std::to_string(name.size()) + " bytes; a file name holds at most " +
                        std::to_string(rdz::files::kMaxFileNameBytes));
    }
    std::string temporary;
    rdz::files::FileError error;
    if (!files_.Add(finalPath, &temporary, &error, permissionsLike)) {
        throw WorkError("cannot write to the folder of '" + finalPath + "': " + error.reason);
    }
    return temporary;
}

void OutputFiles::RemoveAfterCommit(const std::string& path) {
    files_.RemoveAfterCommit(path);
}

void OutputFiles::Commit() {
    rdz::files::FileError error;
    if (!files_.Commit(&error)) {
        throw WorkError("cannot create '" + error.path + "': " + error.reason);
    }
}

}  // namespace rdz::formats
