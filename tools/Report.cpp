#include "tools/Report.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "formats/Errors.h"
#include "formats/OutputFiles.h"

namespace rdz::tools {
namespace {

/// Percentages with two decimals: the report is read by people first.
double Rounded(double percent) {
    return std::round(percent * 100.0) / 100.0;
}

nlohmann::json Stats(const CoverageStats& stats) {
    return {{"mean", Rounded(stats.Mean())}, {"max", Rounded(stats.max)}};
}

nlohmann::json CoverageJson(const CoverageStats& before, const CoverageStats& after,
                            const char* unit) {
    return {{unit, before.count},
            {"before", Stats(before)},
            {"after", Stats(after)},
            {"saved", Rounded(before.Mean() - after.Mean())}};
}

nlohmann::json Counts(const CountRecord& counts) {
    return {{"converted", counts.converted}, {"kept", counts.kept}, {"failed", counts.failed}};
}

nlohmann::json Links(const std::vector<LinkRecord>& links) {
    nlohmann::json list = nlohmann::json::array();
    for (const LinkRecord& link : links) {
        list.push_back({{"file", link.file},
                        {"kind", link.kind},
                        {"source", link.source},
                        {"destination", link.destination}});
    }
    return list;
}

std::string Percent(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", value);
    return text;
}

std::string CoverageText(const char* what, const CoverageStats& before,
                         const CoverageStats& after) {
    return std::string(what) + " " + Percent(before.Mean()) + " -> " + Percent(after.Mean()) +
           " mean, " + Percent(before.max) + " -> " + Percent(after.max) + " max";
}

}  // namespace

nlohmann::json ConversionReport::ToJson() const {
    nlohmann::json report = {{"input", input},       {"output", output},
                             {"method", method},     {"settings", details},
                             {"database", database}, {"linkStore", linkStore},
                             {"status", status},     {"exitStatus", exitStatus}};
    if (!error.empty()) {
        report["error"] = error;
    }
    nlohmann::json inkList = nlohmann::json::array();
    for (const InkRecord& ink : inks) {
        inkList.push_back({{"book", ink.book},
                           {"name", ink.name},
                           {"kinds", ink.kinds},
                           {"decision", ink.decision},
                           {"reason", ink.reason}});
    }
    report["inks"] = inkList;
    if (ran) {
        report["paints"] = Counts(paints);
        report["images"] = Counts(images);
        report["processCoverage"] = {
            {"unit", "percent of one ink at full strength, summed over the process inks"},
            {"paints", CoverageJson(paintsBefore, paintsAfter, "paints")},
            {"images", CoverageJson(imagesBefore, imagesAfter, "pixels")}};
    }
    report["deviceLinks"] = {{"computed", Links(linksComputed)}, {"reused", Links(linksReused)}};
    nlohmann::json messageList = nlohmann::json::array();
    for (const rdz::kelt::Message& message : messages) {
        messageList.push_back(
            {{"level", rdz::kelt::MessageLevelWord(message.level)}, {"text", message.text}});
    }
    report["messages"] = messageList;
    return report;
}

std::string ConversionReport::SummaryLine() const {
    std::string line = "Summary: paints " + std::to_string(paints.converted) + " converted, " +
                       std::to_string(paints.kept) + " kept, " + std::to_string(paints.failed) +
                       " failed; images " + std::to_string(images.converted) + " converted, " +
                       std::to_string(images.kept) + " kept, " + std::to_string(images.failed) +
                       " failed";
    std::string coverage;
    if (paintsBefore.count > 0) {
        coverage = CoverageText("paints", paintsBefore, paintsAfter);
    }
    if (imagesBefore.count > 0) {
        coverage += (coverage.empty() ? "" : ", ") +
                    CoverageText("image pixels", imagesBefore, imagesAfter);
    }
    if (!coverage.empty()) {
        line += "; process-ink coverage of " + coverage;
    }
    return line + "; device links " + std::to_string(linksComputed.size()) + " computed, " +
           std::to_string(linksReused.size()) + " reused.";
}

void WriteReport(const std::string& path, const nlohmann::json& report) {
    rdz::formats::OutputFiles outputs;
    const std::string temporary = outputs.Add(path);
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    out.close();
    if (!out) {
        throw rdz::formats::WorkError("cannot write the report '" + path +
                                      "': " + std::strerror(errno));
    }
    outputs.Commit();
}

}  // namespace rdz::tools
