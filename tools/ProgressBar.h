// A one-line progress bar on standard error, and the console that keeps it
// apart from the operator messages.
#pragma once

#include <cstdint>
#include <string>

#include <vector>

#include "formats/Progress.h"
#include "platform/kelt/MessageSink.h"
#include "tools/CommandLine.h"

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
    void SetEnabled(bool enabled) {
        Clear();
        enabled_ = enabled;
    }
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
/// it lives. Quiet shows errors only; details show only when verbose. The
/// host's own wording is put in the user's terms on the way ("from ticket").
class Console {
  public:
    explicit Console(bool showProgress);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    void SetVerbosity(Verbosity verbosity) { verbosity_ = verbosity; }
    Verbosity GetVerbosity() const { return verbosity_; }
    /// How messages name the CMS database ("the CMS database /srv/cms").
    void SetDatabase(const std::string& description) { database_ = description; }
    /// Collects the lines in `*block` instead of writing them (null: write).
    void CollectInto(std::string* block) { block_ = block; }

    void Say(rdz::kelt::MessageLevel level, const std::string& text);
    void Info(const std::string& text) { Say(rdz::kelt::MessageLevel::Info, text); }
    void Warning(const std::string& text) { Say(rdz::kelt::MessageLevel::Warning, text); }
    void Error(const std::string& text) { Say(rdz::kelt::MessageLevel::Error, text); }
    /// An INFO line shown only when verbose.
    void Detail(const std::string& text);
    ProgressBar& Progress() { return progress_; }

    /// Every message said (shown or not), in order, as it was worded.
    const std::vector<rdz::kelt::Message>& Said() const { return said_; }
    /// How many ERROR messages were said.
    int Errors() const { return errors_; }
    /// Forgets what was said (between the inputs of a batch).
    void Forget() {
        said_.clear();
        errors_ = 0;
    }

  private:
    std::string Worded(const std::string& text) const;

    ProgressBar progress_;
    rdz::kelt::MessageSinkFunction previous_;
    Verbosity verbosity_ = Verbosity::Normal;
    std::string database_ = "the CMS database";
    std::string* block_ = nullptr;
    std::vector<rdz::kelt::Message> said_;
    int errors_ = 0;
};

}  // namespace rdz::tools
