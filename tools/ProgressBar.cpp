#include "tools/ProgressBar.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/common/ControlCharacters.h"

namespace rdz::tools {
namespace {

constexpr int kBarWidth = 30;
constexpr std::size_t kLabelWidth = 44;

}  // namespace

bool ProgressBar::TerminalWantsProgress() {
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) != 0 && std::getenv("RDZ_NO_PROGRESS") == nullptr &&
           (term == nullptr || std::strcmp(term, "dumb") != 0);
}

void ProgressBar::Show(const std::string& label, std::uint64_t done, std::uint64_t total) {
    if (!enabled_ || total == 0) {
        return;
    }
    const int percent = static_cast<int>(done >= total ? 100 : done * 100 / total);
    if (shown_ && percent == percent_ && label == label_) {
        return;
    }
    percent_ = percent;
    label_ = label;
    const std::string printable = rdz::platform::EscapeControlCharacters(label);
    std::string text =
        printable.size() > kLabelWidth ? printable.substr(0, kLabelWidth - 3) + "..." : printable;
    text.resize(kLabelWidth, ' ');
    const int filled = percent * kBarWidth / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", text.c_str(), std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, '.').c_str(), percent);
    std::fflush(stderr);
    shown_ = true;
}

void ProgressBar::Clear() {
    if (shown_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        shown_ = false;
        percent_ = -1;
    }
}

Console::Console(bool showProgress) : progress_(showProgress) {
    previous_ = rdz::kelt::SetMessageSink(
        [this](rdz::kelt::MessageLevel level, const std::string& text) { Say(level, text); });
}

Console::~Console() {
    progress_.Clear();
    rdz::kelt::SetMessageSink(previous_);
}

std::string Console::Worded(const std::string& text) const {
    // The host's wording for a profile the CMS database lacks, and a
    // database without its folder, in the terms of this program.
    static const std::string kTicket = "' from ticket not found?";
    if (text.compare(0, 9, "Profile '") == 0 && text.size() > kTicket.size() &&
        text.compare(text.size() - kTicket.size(), kTicket.size(), kTicket) == 0) {
        return text.substr(0, text.size() - kTicket.size()) + "' is not a process of " + database_ +
               ".";
    }
    static const std::string kDatabase = " was not found in the CMS database.";
    if (text.size() > kDatabase.size() &&
        text.compare(text.size() - kDatabase.size(), kDatabase.size(), kDatabase) == 0) {
        return text.substr(0, text.size() - kDatabase.size()) + " was not found in " + database_ +
               ".";
    }
    return text;
}

void Console::Say(rdz::kelt::MessageLevel level, const std::string& text) {
    const std::string worded = Worded(text);
    said_.push_back({level, worded});
    const bool error =
        level == rdz::kelt::MessageLevel::Error || level == rdz::kelt::MessageLevel::Assert;
    errors_ += error ? 1 : 0;
    if (verbosity_ == Verbosity::Quiet && !error) {
        return;
    }
    // One line per message: the program's own messages name files too, and a
    // newline in a name must not start a line of its own.
    const std::string line = std::string(rdz::kelt::MessageLevelWord(level)) + ": " +
                             rdz::platform::EscapeLine(worded) + "\n";
    if (block_ != nullptr) {
        *block_ += line;
        return;
    }
    progress_.Clear();
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void Console::Detail(const std::string& text) {
    if (verbosity_ == Verbosity::Verbose) {
        Say(rdz::kelt::MessageLevel::Info, text);
    }
}

}  // namespace rdz::tools
