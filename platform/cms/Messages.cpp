#include "platform/cms/Messages.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/common/ControlCharacters.h"

namespace rdz::cms {
namespace {

void DefaultSink(MessageLevel level, const std::string& line) {
    // Whole lines in one write, so that lines of other threads never cut in.
    const std::string text = std::string(MessageLevelWord(level)) + ": " + line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

struct SinkState {
    std::mutex mutex;
    MessageSinkFunction sink = DefaultSink;
};

SinkState& State() {
    static SinkState state;
    return state;
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
    }
    return "MESSAGE";
}

MessageSinkFunction SetMessageSink(MessageSinkFunction sink) {
    SinkState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    MessageSinkFunction previous = std::move(state.sink);
    state.sink = sink ? std::move(sink) : MessageSinkFunction(DefaultSink);
    return previous;
}

void Say(MessageLevel level, const std::string& text) {
    MessageSinkFunction sink;
    {
        // Copied, so that the sink runs unlocked and may replace itself.
        SinkState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        sink = state.sink;
    }
    sink(level, rdz::platform::EscapeLine(text));
}

}  // namespace rdz::cms
