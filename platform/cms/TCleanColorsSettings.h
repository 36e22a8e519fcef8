// Clean colours of a device link: the primaries (one of cyan, magenta and
// yellow alone) and secondaries (two of them) that must stay pure, that is
// be printed with the same inks only. Channels: 0 cyan, 1 magenta, 2 yellow.
// How a link keeps them pure: CleanColors.h.
#pragma once

#include <array>
#include <vector>

#include "platform/cms/JsonReader.h"

class TCleanColorsSettings {
  public:
    /// False (nothing changes) for a channel outside 0..2.
    bool AddPrimary(int channel);
    /// False for a channel outside 0..2 or twice the same channel.
    bool AddSecondary(int channel1, int channel2);

    bool Empty() const { return primaries_.empty() && secondaries_.empty(); }
    /// Sorted, each once.
    const std::vector<int>& Primaries() const { return primaries_; }
    /// Sorted pairs (lower channel first), each once.
    const std::vector<std::array<int, 2>>& Secondaries() const { return secondaries_; }

    /// {"primaries": [...], "secondaries": [[a, b], ...]}
    rdz::cms::json::Json ToJson() const;

  private:
    std::vector<int> primaries_;
    std::vector<std::array<int, 2>> secondaries_;
};
