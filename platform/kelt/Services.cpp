// Host services: operator messages, debug print, assertion, text comparison.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>

#include "host/LWKeltBase.h"
#include "host/REUSE.h"
#include "host/ZQAssert.h"
#include "host/kelt_db.h"
#include "host/zqmsg.h"
#include "platform/common/ControlCharacters.h"
#include "platform/kelt/MessageSink.h"

int interactive = 0;

namespace rdz::kelt {
namespace {

void DefaultMessageSink(MessageLevel level, const std::string& text) {
    // Whole lines in one write, so that lines of other writers never cut in.
    const std::string line =
        std::string(MessageLevelWord(level)) + ": " + rdz::platform::EscapeLine(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void DefaultPrintSink(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

MessageSinkFunction& CurrentMessageSink() {
    static MessageSinkFunction sink = DefaultMessageSink;
    return sink;
}

PrintSinkFunction& CurrentPrintSink() {
    static PrintSinkFunction sink = DefaultPrintSink;
    return sink;
}

std::string FormatV(const char* format, va_list args) {
    if (format == nullptr) {
        return std::string();
    }
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) {
        return std::string();
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void Emit(MessageLevel level, const std::string& text) {
    // Names in messages come from documents and databases: a newline in one
    // must not start a line that looks like a message of its own.
    const std::string line = rdz::platform::EscapeLine(text);
    // Copied so that a sink may replace itself while it runs.
    MessageSinkFunction sink = CurrentMessageSink();
    sink(level, line);
}

}  // namespace

const char* MessageLevelWord(MessageLevel level) {
    switch (level) {
        case MessageLevel::Info:
            return "INFO";
        case MessageLevel::Warning:
            return "WARNING";
        case MessageLevel::Error:
            return "ERROR";
        case MessageLevel::Assert:
            return "ASSERT";
    }
    return "MESSAGE";
}

MessageSinkFunction SetMessageSink(MessageSinkFunction sink) {
    MessageSinkFunction previous = std::move(CurrentMessageSink());
    CurrentMessageSink() = sink ? std::move(sink) : MessageSinkFunction(DefaultMessageSink);
    return previous;
}

PrintSinkFunction SetPrintSink(PrintSinkFunction sink) {
    PrintSinkFunction previous = std::move(CurrentPrintSink());
    CurrentPrintSink() = sink ? std::move(sink) : PrintSinkFunction(DefaultPrintSink);
    return previous;
}

RecordingMessageSink::RecordingMessageSink() {
    previous_ = SetMessageSink([this](MessageLevel level, const std::string& text) {
        messages_.push_back({level, text});
    });
}

RecordingMessageSink::~RecordingMessageSink() {
    SetMessageSink(std::move(previous_));
}

std::vector<std::string> RecordingMessageSink::texts(MessageLevel level) const {
    std::vector<std::string> out;
    for (const Message& m : messages_) {
        if (m.level == level) {
            out.push_back(m.text);
        }
    }
    return out;
}

std::size_t RecordingMessageSink::count(MessageLevel level) const {
    std::size_t n = 0;
    for (const Message& m : messages_) {
        n += m.level == level ? 1 : 0;
    }
    return n;
}

RecordingPrintSink::RecordingPrintSink() {
    previous_ = SetPrintSink([this](const std::string& text) { text_ += text; });
}

RecordingPrintSink::~RecordingPrintSink() {
    SetPrintSink(std::move(previous_));
}

void ReportMisuse(const char* text) {
    Emit(MessageLevel::Error, text);
}

}  // namespace rdz::kelt

using rdz::kelt::MessageLevel;

void MSG_Info(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = rdz::kelt::FormatV(format, args);
    va_end(args);
    rdz::kelt::Emit(MessageLevel::Info, text);
}

void MSG_Error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = rdz::kelt::FormatV(format, args);
    va_end(args);
    rdz::kelt::Emit(MessageLevel::Error, text);
}

void KELTIO_Warning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = rdz::kelt::FormatV(format, args);
    va_end(args);
    rdz::kelt::Emit(MessageLevel::Warning, text);
}

int Tprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = rdz::kelt::FormatV(format, args);
    va_end(args);
    rdz::kelt::PrintSinkFunction sink = rdz::kelt::CurrentPrintSink();
    sink(text);
    return static_cast<int>(text.size());
}

void ZQ_AssertForExport(bool condition) {
    if (!condition) {
        rdz::kelt::Emit(MessageLevel::Assert, "assertion failed");
    }
}

namespace {
int AsciiLower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}
}  // namespace

int strcmp_ci(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        return (a == nullptr ? 0 : 1) - (b == nullptr ? 0 : 1);
    }
    for (;; ++a, ++b) {
        const int ca = AsciiLower(static_cast<unsigned char>(*a));
        const int cb = AsciiLower(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0) {
            return ca - cb;
        }
    }
}
