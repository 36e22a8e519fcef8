#include "formats/json/PreviousOutput.h"

#include <sys/stat.h>

#include <fstream>

namespace rdz::formats::json {

void PreviousOutput::Read(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    std::ifstream in(path, std::ios::binary);
    Reader reader(*this);
    // A damaged or foreign file gives the names read up to the fault; the
    // reader stops at the end of "images".
    nlohmann::json::sax_parse(in, &reader, nlohmann::json::input_format_t::json, false);
}

}  // namespace rdz::formats::json
