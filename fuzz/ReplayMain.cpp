// Runs a fuzz target over files, without libFuzzer: every file named on the
// command line and every file of every folder named (not recursively, in
// name order). Files whose names start with a dot, end in ".why" or ".md",
// or are called README are notes, not inputs. Fails when no input was found,
// so that a misplaced corpus does not pass unnoticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

bool IsNote(const fs::path& path) {
    const std::string name = path.filename().string();
    const std::string ext = path.extension().string();
    return name.empty() || name[0] == '.' || name == "README" || ext == ".why" || ext == ".md";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        if (fs::is_directory(arg)) {
            std::vector<fs::path> files;
            for (const fs::directory_entry& entry : fs::directory_iterator(arg)) {
                if (entry.is_regular_file() && !IsNote(entry.path()))
                    files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else if (fs::is_regular_file(arg)) {
            inputs.push_back(arg);
        } else {
            std::fprintf(stderr, "replay: %s: no such file or folder\n", argv[i]);
            return 1;
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 1;
    }
    for (const fs::path& input : inputs) {
        std::fprintf(stderr, "replay: %s\n", input.string().c_str());
        const std::vector<std::uint8_t> bytes = rdzfuzz::ReadBytes(input.string());
        // A copy of exactly the file's size, so that reading past the end is
        // seen by the address sanitizer as it is under libFuzzer.
        std::vector<std::uint8_t> exact(bytes);
        exact.shrink_to_fit();
        static const std::uint8_t kNothing = 0;  // libFuzzer never passes null
        LLVMFuzzerTestOneInput(exact.empty() ? &kNothing : exact.data(), exact.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
