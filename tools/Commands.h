// The commands of the rodadazerivo program. Each takes the command line as
// read, returns the exit status on success and throws UsageError, InputError
// or WorkError otherwise (main turns them into messages and exit statuses).
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "formats/InkBooks.h"
#include "tools/CommandLine.h"

namespace rdz::tools {

class Console;
class DatabaseSession;
struct ConversionReport;

int RunConvertCommand(CommandLine& line, Console& console);
int RunPreviewCommand(CommandLine& line, Console& console);
int RunIccInfoCommand(const CommandLine& line, Console& console);
int RunPostScriptCommand(const CommandLine& line, Console& console);
int RunListCommand(const CommandLine& line, Console& console);

/// Converts `input` into `output` with the request's method (opening the
/// session's database once the input is read); fills `report`. Throws as the
/// commands do.
void ConvertOne(ConversionRequest& request, const std::string& input, const std::string& output,
                DatabaseSession& session, const rdz::formats::InkBooks& books, Console& console,
                ConversionReport& report);

/// Converts every input of the request into its output folder, in
/// parallel processes that share the link store, and says in one line how
/// it went. Returns the worst exit status of the inputs.
int RunBatch(ConversionRequest& request, DatabaseSession& session,
             const rdz::formats::InkBooks& books, Console& console);

/// Sets the memory budget of image data (--max-memory, else half of the
/// physical memory).
void ApplyMemoryBudget(const ConversionRequest& request, Console& console);

/// The exit status a failure gives (2 for bad usage or input, 1 otherwise),
/// with its text in `*text`.
int ExitStatusOf(std::exception_ptr failure, std::string* text);

/// Says why a command failed (the ERROR lines) and returns its exit status:
/// 2 for bad usage (with a hint at `command`'s --help) or an unreadable
/// input, 1 for failed work.
int SayFailure(Console& console, std::exception_ptr failure, const std::string& command);

/// The --help text of a command ("" for the program's own help).
const char* HelpText(const std::string& command);

}  // namespace rdz::tools
