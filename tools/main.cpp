// The rodadazerivo program: converts the colours of documents and TIFF images
// from the command line.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "tools/Commands.h"
#include "tools/Methods.h"
#include "tools/ProgressBar.h"

#ifndef RDZ_VERSION
#define RDZ_VERSION "unknown"
#endif

namespace {

using rdz::tools::Method;

void PrintVersion() {
    std::printf("rodadazerivo %s\nmethods:", RDZ_VERSION);
    const std::pair<Method, const char*> methods[] = {{Method::Strategy, "strategy"},
                                                      {Method::Profile, "profile"},
                                                      {Method::DeviceLink, "device-link"}};
    for (const auto& method : methods) {
        if (rdz::tools::MethodAvailable(method.first)) {
            std::printf(" %s", method.second);
        }
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    using namespace rdz::tools;
    const std::vector<std::string> args(argv + 1, argv + argc);
    Console console(ProgressBar::TerminalWantsProgress());
    std::string command;
    try {
        if (args.empty()) {
            std::fputs(HelpText(""), stderr);
            return 2;
        }
        if (args.front() == "help") {
            std::fputs(HelpText(args.size() > 1 ? args[1] : ""), stdout);
            return 0;
        }
        CommandLine line = ParseCommandLine(args, &command);
        console.SetVerbosity(line.verbosity);
        if (line.bashCompletion) {
            std::fputs(BashCompletionScript().c_str(), stdout);
            return 0;
        }
        if (line.version) {
            PrintVersion();
            return 0;
        }
        if (line.help || command.empty()) {
            std::fputs(HelpText(command), line.help ? stdout : stderr);
            return line.help ? 0 : 2;
        }
        if (command == "convert") {
            return RunConvertCommand(line, console);
        }
        if (command == "preview") {
            return RunPreviewCommand(line, console);
        }
        if (command == "icc-info") {
            return RunIccInfoCommand(line, console);
        }
        if (command == "postscript") {
            return RunPostScriptCommand(line, console);
        }
        return RunListCommand(line, console);
    } catch (...) {
        return SayFailure(console, std::current_exception(), command);
    }
}
