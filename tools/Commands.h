// The commands of the rodadazerivo program. Each takes the arguments after
// its name, returns the exit status on success and throws UsageError,
// InputError or WorkError otherwise (main turns them into messages and exit
// statuses).
#pragma once

#include <string>
#include <vector>

namespace rdz::tools {

class Console;

int RunConvertCommand(const std::vector<std::string>& args, Console& console);
int RunPreviewCommand(const std::vector<std::string>& args, Console& console);
int RunIccInfoCommand(const std::vector<std::string>& args, Console& console);
int RunPostScriptCommand(const std::vector<std::string>& args, Console& console);

/// The --help text of a command ("" for the program's own help).
const char* HelpText(const std::string& command);

}  // namespace rdz::tools
