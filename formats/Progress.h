// How a format reports the progress of long work (reading or writing the
// pixels of large images). The program shows it as a progress bar.
#pragma once

#include <cstdint>
#include <string>

namespace rdz::formats {

class Progress {
  public:
    virtual ~Progress() = default;
    /// `done` of `total` units of the task `label` are finished.
    virtual void Show(const std::string& label, std::uint64_t done, std::uint64_t total) = 0;
    /// The task is over: whatever shows it goes away.
    virtual void Clear() = 0;
};

}  // namespace rdz::formats
