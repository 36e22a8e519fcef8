// Where the host services send their text.
//
// MSG_Info, MSG_Error and KELTIO_Warning format their text with printf rules
// and hand (level, text) to the message sink; ZQ_AssertForExport(false) hands
// (Assert, "assertion failed") to the same sink. Every text reaches the sink
// as one line: a newline at its end is dropped and every other control
// character is escaped ("\n", "\r", "\t", else "\xNN"; see
// platform/common/ControlCharacters.h), so that a name holding a newline
// cannot make a line that looks like a message of its own. The default sink
// writes one line per message to standard error: the level word, a colon, a
// space and the text ("WARNING: Ink ... will not be converted.").
//
// Tprintf formats its text and hands it to the print sink; the default print
// sink writes it to standard output unchanged.
//
// Both sinks are process-wide and not synchronised (the host is single-threaded).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace rdz::kelt {

enum class MessageLevel { Info, Warning, Error, Assert };

/// "INFO", "WARNING", "ERROR" or "ASSERT".
const char* MessageLevelWord(MessageLevel level);

using MessageSinkFunction = std::function<void(MessageLevel, const std::string&)>;
using PrintSinkFunction = std::function<void(const std::string&)>;

/// Installs `sink` and returns the sink it replaces. An empty function
/// installs the default (standard error) sink.
MessageSinkFunction SetMessageSink(MessageSinkFunction sink);
/// Installs `sink` for Tprintf and returns the one it replaces. An empty
/// function installs the default (standard output) sink.
PrintSinkFunction SetPrintSink(PrintSinkFunction sink);

/// One message as a sink received it.
struct Message {
    MessageLevel level;
    std::string text;

    bool operator==(const Message& other) const {
        return level == other.level && text == other.text;
    }
    bool operator!=(const Message& other) const { return !(*this == other); }
};

/// Records every message while it lives: installs itself on construction and
/// puts the previous sink back on destruction. Nothing reaches standard error
/// meanwhile. Not copyable; nest them freely (the innermost records).
class RecordingMessageSink {
  public:
    RecordingMessageSink();
    ~RecordingMessageSink();
    RecordingMessageSink(const RecordingMessageSink&) = delete;
    RecordingMessageSink& operator=(const RecordingMessageSink&) = delete;

    /// Every message received, in order.
    const std::vector<Message>& messages() const { return messages_; }
    /// The texts of the messages of one level, in order.
    std::vector<std::string> texts(MessageLevel level) const;
    /// How many messages of `level` were received.
    std::size_t count(MessageLevel level) const;
    /// How many failed assertions were reported.
    std::size_t assertions() const { return count(MessageLevel::Assert); }
    void clear() { messages_.clear(); }

  private:
    std::vector<Message> messages_;
    MessageSinkFunction previous_;
};

/// Collects everything Tprintf prints while it lives (installs itself, puts
/// the previous print sink back on destruction).
class RecordingPrintSink {
  public:
    RecordingPrintSink();
    ~RecordingPrintSink();
    RecordingPrintSink(const RecordingPrintSink&) = delete;
    RecordingPrintSink& operator=(const RecordingPrintSink&) = delete;

    /// All printed text, concatenated in order.
    const std::string& text() const { return text_; }
    void clear() { text_.clear(); }

  private:
    std::string text_;
    PrintSinkFunction previous_;
};

}  // namespace rdz::kelt
