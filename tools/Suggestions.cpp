#include "tools/Suggestions.h"

#include <algorithm>
#include <cctype>

namespace rdz::tools {
namespace {

std::string Folded(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return folded;
}

/// Levenshtein distance, one row at a time.
std::size_t Distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::vector<std::string> ClosestFirst(const std::string& wanted, std::vector<std::string> names) {
    const std::string key = Folded(wanted);
    std::vector<std::pair<std::size_t, std::string>> scored;
    for (std::string& name : names) {
        const std::string folded = Folded(name);
        // A name that holds what was typed (or is held by it) is closer than
        // its edit distance says: "coated" finds "Coated to Uncoated".
        std::size_t distance = Distance(key, folded);
        if (!key.empty() &&
            (folded.find(key) != std::string::npos || key.find(folded) != std::string::npos)) {
            distance = std::min(distance, std::max(folded.size(), key.size()) -
                                              std::min(folded.size(), key.size()));
            distance = distance / 4;
        }
        scored.emplace_back(distance, std::move(name));
    }
    std::stable_sort(scored.begin(), scored.end());
    std::vector<std::string> ordered;
    for (auto& entry : scored) {
        ordered.push_back(std::move(entry.second));
    }
    return ordered;
}

std::string WhatItHas(const std::string& wanted, const std::vector<std::string>& names,
                      std::size_t limit) {
    if (names.empty()) {
        return "it has none";
    }
    const std::vector<std::string> ordered = ClosestFirst(wanted, names);
    std::string text = "it has: ";
    for (std::size_t i = 0; i < ordered.size() && i < limit; ++i) {
        text += (i == 0 ? "" : ", ") + ordered[i];
    }
    if (ordered.size() > limit) {
        text += " and " + std::to_string(ordered.size() - limit) + " more";
    }
    return text;
}

}  // namespace rdz::tools
