// A one-line progress bar on standard error, and the console that keeps it
// apart from the operator messages.
#pragma once

#include <cstdint>
#include <string>

#include "formats/Progress.h"
#include "platform/kelt/MessageSink.h"

namespace rdz::tools {

/// Draws "<label> [#####.....]  45%" on one line of standard error, redrawn
/// only when the percentage or the label changes. Does nothing when disabled.
class ProgressBar : public rdz::formats::Progress {
  public:
    explicit ProgressBar(bool enabled) : enabled_(enabled) {}
    ~ProgressBar() override { Clear(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool Enabled() const { return enabled_; }
    /// Shows `done` of `total` for the task `label`.
    void Show(const std::string& label, std::uint64_t done, std::uint64_t total) override;
    /// Erases the bar, if one is shown (before a message, and at the end).
    void Clear() override;

    /// True when standard error is a terminal that can show a bar (and
    /// RDZ_NO_PROGRESS is not set).
    static bool TerminalWantsProgress();

  private:
    bool enabled_;
    bool shown_ = false;
    std::string label_;
    int percent_ = -1;
};

/// Routes the operator messages of the library and of the program to
/// standard error, one line each with its level ("WARNING: ..."), clearing
/// the progress bar first. Installs itself as the host's message sink while
/// it lives.
class Console {
  public:
    explicit Console(bool showProgress);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    void Say(rdz::kelt::MessageLevel level, const std::string& text);
    void Info(const std::string& text) { Say(rdz::kelt::MessageLevel::Info, text); }
    void Error(const std::string& text) { Say(rdz::kelt::MessageLevel::Error, text); }
    ProgressBar& Progress() { return progress_; }

  private:
    ProgressBar progress_;
    rdz::kelt::MessageSinkFunction previous_;
};

}  // namespace rdz::tools
