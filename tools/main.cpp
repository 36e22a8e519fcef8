// The rodadazerivo program: converts the colours of documents and TIFF images
// from the command line.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "tools/Commands.h"
#include "formats/Errors.h"
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
    using namespace rdz::formats;
    const std::vector<std::string> all(argv + 1, argv + argc);
    Console console(ProgressBar::TerminalWantsProgress());
    std::string command;
    try {
        if (all.empty()) {
            std::fputs(HelpText(""), stderr);
            return 2;
        }
        command = all.front();
        const std::vector<std::string> args(all.begin() + 1, all.end());
        if (command == "--help" || command == "-h" || command == "help") {
            std::fputs(HelpText(""), stdout);
            return 0;
        }
        if (command == "--version") {
            PrintVersion();
            return 0;
        }
        if (command == "convert") {
            return RunConvertCommand(args, console);
        }
        if (command == "preview") {
            return RunPreviewCommand(args, console);
        }
        if (command == "icc-info") {
            return RunIccInfoCommand(args, console);
        }
        if (command == "postscript") {
            return RunPostScriptCommand(args, console);
        }
        command.clear();
        throw UsageError("unknown command '" + all.front() + "'");
    } catch (const UsageError& error) {
        console.Error(std::string(error.what()) + ". Run 'rodadazerivo" +
                      (command.empty() ? "" : " " + command) + " --help' for usage.");
        return 2;
    } catch (const InputError& error) {
        console.Error(error.what());
        return 2;
    } catch (const WorkError& error) {
        console.Error(error.what());
        return 1;
    } catch (const std::bad_alloc&) {
        console.Error("Not enough memory.");
        return 1;
    } catch (const std::exception& error) {
        console.Error(error.what());
        return 1;
    } catch (...) {
        console.Error("Unknown error.");
        return 1;
    }
}
