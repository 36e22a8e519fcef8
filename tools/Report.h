// The conversion report: what became of every ink, paint and image, the
// process-ink coverage before and after, and the device links computed and
// reused. Written as JSON with --report; its summary is one INFO line.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/kelt/MessageSink.h"
#include "tools/Coverage.h"
#include "tools/LinkWatch.h"

namespace rdz::tools {

struct InkRecord {
    std::string book;
    std::string name;
    std::vector<std::string> kinds;  // "process", "opaque", "technical", ...
    /// "converted", "kept", or "added" (an output ink new to the document).
    std::string decision;
    std::string reason;
};

struct CountRecord {
    int converted = 0;
    int kept = 0;
    int failed = 0;
};

struct ConversionReport {
    std::string input;
    std::string output;
    std::string method;   // "Color Strategy", "profile", "device-link"
    std::string details;  // strategy name, profiles, or the device-link file
    std::string database;
    std::string linkStore;
    /// "converted" or "failed", and the program's exit status for this input.
    std::string status = "failed";
    int exitStatus = 1;
    std::string error;  // why it failed
    bool ran = false;   // the conversion ran (counts and coverage are known)
    std::vector<InkRecord> inks;
    CountRecord paints;
    CountRecord images;
    CoverageStats paintsBefore, paintsAfter, imagesBefore, imagesAfter;
    std::vector<LinkRecord> linksComputed, linksReused;
    std::vector<rdz::kelt::Message> messages;

    nlohmann::json ToJson() const;
    /// "Summary: 12 paints converted, 3 kept, 0 failed; ..." (one line).
    std::string SummaryLine() const;
};

/// Writes `report` as JSON to `path`, whole or not at all. Throws WorkError.
void WriteReport(const std::string& path, const nlohmann::json& report);

}  // namespace rdz::tools
