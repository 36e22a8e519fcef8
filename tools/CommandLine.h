// The command line of the rodadazerivo program, read with CLI11: the
// commands, their options, and the values in the units users know (percent,
// ICC intent numbers or names), turned into the option records' units.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options/TGeneralColorConverterOptions.h"
#include "options/TReseparateOptions.h"
#include "options/TRodadazErivoOptions.h"

namespace rdz::tools {

enum class Method { None, Strategy, Profile, DeviceLink };

/// The method as messages name it: "Color Strategy", "profile", "device-link".
const char* MethodName(Method method);

/// How much the program says: errors only, the operator messages, or more.
enum class Verbosity { Quiet, Normal, Verbose };

/// Everything a conversion (or a preview) needs, as the command line gave it,
/// with the values already in the option records' units.
struct ConversionRequest {
    Method method = Method::None;
    /// --cms as given; empty when not given (the environment or the default
    /// database decides, see Database.h).
    std::string cmsOption;
    TGeneralColorConverterOptions general;
    TRodadazErivoOptions strategy;
    TReseparateOptions reseparate;
    /// --exception names, as given (they are in `strategy` too).
    std::vector<std::string> exceptions;
    bool resolve = false;
    /// The rendering intent as an ICC number (0..3; 1 unless given).
    int iccIntent = 1;
    /// One input, or several with an output folder.
    std::vector<std::string> inputs;
    std::string output;        // -o
    std::string outputFolder;  // -O
    std::string report;        // --report
    /// Image threads per conversion and parallel conversions of a batch; 0:
    /// decided from the number of cores.
    int threads = 0;
    int jobs = 0;
    /// "" (as the input), "none", "lzw", "deflate" or "zstd".
    std::string compression;
    /// 1..9, or 0: the writer's default (--compression-level).
    int compressionLevel = 0;
    /// Memory budget in bytes; `maxMemoryGiven` false: half the physical memory.
    std::uint64_t maxMemory = 0;
    bool maxMemoryGiven = false;
    bool allowOutsidePaths = false;

    const std::string& Input() const { return inputs.front(); }
};

/// rodadazerivo postscript
struct PostScriptRequest {
    bool csa = false;
    bool bpc = false;
    /// ICC intent 0..3, or -1 for the intent in the profile's header.
    int iccIntent = -1;
    std::string input;
    std::string output;
};

/// rodadazerivo icc-info
struct IccInfoRequest {
    std::string file;
    /// The intent a link or transform is tried with (ICC number); -1: the
    /// profile's own.
    int iccIntent = -1;
};

/// rodadazerivo list
struct ListRequest {
    std::string what;  // "strategies", "processes", "inkbooks" or "links"
    std::string cmsOption;
    bool json = false;
};

/// The whole command line, read.
struct CommandLine {
    /// "convert", "preview", "icc-info", "postscript", "list"; empty for the
    /// program's own options.
    std::string command;
    bool help = false;
    bool version = false;
    /// Print the bash completion script (used when the program is built).
    bool bashCompletion = false;
    Verbosity verbosity = Verbosity::Normal;
    ConversionRequest conversion;
    PostScriptRequest postscript;
    IccInfoRequest iccInfo;
    ListRequest list;
};

/// Reads `args` (without the program's name). Throws UsageError for anything
/// it cannot accept; `*command` names the command it was reading by then
/// (empty before the command word), for the hint at its --help.
CommandLine ParseCommandLine(const std::vector<std::string>& args, std::string* command);

/// A bash completion script for the program, made from the options the
/// parser knows (commands, options, and the values of options that take one
/// of a few words).
std::string BashCompletionScript();

}  // namespace rdz::tools
