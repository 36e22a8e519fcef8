// How loading grows with the number of names: an ink book of n inks read by
// the CMS library (TCMS_Init of a database that holds it), and n inks added to
// a document of the document database, each against the least the same work
// can cost, measured in the same run:
//
//   ParseJson/n        nlohmann's parse of the same ink book file
//   HashNames/n        the n ink names, case-folded, into an unordered_set
//
//   bench_loading [--benchmark_min_time=1]
//
// At the end it prints each case's time as a multiple of its reference; the
// multiple stays flat as n grows when loading is linear (it grew with n while
// every name was compared with every earlier one: a book of 200,000 inks took
// minutes).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "host/CMS.h"
#include "host/kelt_db.h"
#include "platform/cms/StandIn.h"
#include "platform/kelt/kelt_builder.h"

namespace fs = std::filesystem;

namespace {

std::string InkName(std::int64_t i) {
    return "Ink " + std::to_string(i);
}

std::string InkBookText(std::int64_t n) {
    std::ostringstream text;
    text << R"({"book": "Big Book", "displayName": "Big", "inks": [)";
    for (std::int64_t i = 0; i < n; ++i) {
        text << (i == 0 ? "" : ",\n") << R"({"name": ")" << InkName(i) << R"(", "lab": [50.0, )"
             << (i % 200) - 100 << ", " << (i * 7 % 200) - 100 << "]}";
    }
    text << "]}";
    return text.str();
}

/// A database folder holding one ink book of `n` inks, removed on destruction.
class BookDatabase {
  public:
    explicit BookDatabase(std::int64_t n) {
        folder_ = (fs::temp_directory_path() / "rdz-bench-books-XXXXXX").string();
        if (mkdtemp(folder_.data()) == nullptr) {
            folder_.clear();
            return;
        }
        fs::create_directories(fs::path(folder_) / "inkbooks");
        text_ = InkBookText(n);
        std::ofstream(fs::path(folder_) / "inkbooks" / "big.json") << text_;
    }
    ~BookDatabase() {
        std::error_code ec;
        if (!folder_.empty())
            fs::remove_all(folder_, ec);
    }
    const std::string& Folder() const { return folder_; }
    const std::string& Text() const { return text_; }

  private:
    std::string folder_;
    std::string text_;
};

void LoadInkBook(benchmark::State& state) {
    const BookDatabase db(state.range(0));
    if (db.Folder().empty()) {
        state.SkipWithError("no scratch folder");
        return;
    }
    rdz::cms::SetDatabaseFolder(db.Folder());
    const std::string last = InkName(state.range(0) - 1);
    for (auto _ : state) {
        TCMS_Init();  // reads the folder: nothing else holds it open
        benchmark::DoNotOptimize(TIDB_GetInk(TCMS_GetLib(), "big book", last.c_str()));
        TCMS_End();
    }
    rdz::cms::SetDatabaseFolder("");
    if (!rdz::cms::LoadErrors().empty())
        state.SkipWithError(rdz::cms::LoadErrors().front().c_str());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void ParseJson(benchmark::State& state) {
    const std::string text = InkBookText(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(nlohmann::json::parse(text));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

/// n spot inks added to a new document, then each merged once more under
/// another letter case (found, not added).
void AddDocumentInks(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    std::vector<std::string> names;
    std::vector<std::string> shouted;
    for (std::int64_t i = 0; i < n; ++i) {
        names.push_back(InkName(i));
        shouted.push_back("INK " + std::to_string(i));
    }
    for (auto _ : state) {
        rdz::kelt::ScopedDocument document;
        rdz::kelt::InkSetup setup;
        setup.book = "Spots";
        for (const std::string& name : names) {
            setup.name = name;
            rdz::kelt::AddInk(document, setup);
        }
        inkbook_t* book = IDB_get_inkbook("spots");
        for (const std::string& name : shouted) {
            inkt_t* ink = INK_create(book, name.c_str());
            benchmark::DoNotOptimize(IDB_merge_ink(&ink));
        }
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void HashNames(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    std::vector<std::string> names;
    for (std::int64_t i = 0; i < n; ++i)
        names.push_back(InkName(i));
    for (auto _ : state) {
        std::unordered_set<std::string> set;
        for (const std::string& name : names) {
            std::string folded = name;
            for (char& c : folded)
                c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            set.insert(std::move(folded));
        }
        benchmark::DoNotOptimize(set.size());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

constexpr std::int64_t kSizes[] = {1000, 10000, 100000, 200000};

void Sizes(benchmark::internal::Benchmark* b) {
    for (const std::int64_t n : kSizes)
        b->Arg(n);
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(ParseJson)->Apply(Sizes);
BENCHMARK(LoadInkBook)->Apply(Sizes);
BENCHMARK(HashNames)->Apply(Sizes);
BENCHMARK(AddDocumentInks)->Apply(Sizes);

/// Keeps each case's time for the multiples printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.iterations > 0 && !run.error_occurred)
                seconds_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        const struct {
            const char* name;
            const char* reference;
        } pairs[] = {{"LoadInkBook", "ParseJson"}, {"AddDocumentInks", "HashNames"}};
        std::printf("\ncase / reference (flat as n grows: linear)\n");
        for (const auto& pair : pairs) {
            for (const std::int64_t n : kSizes) {
                const std::string suffix = "/" + std::to_string(n);
                const auto found = seconds_.find(pair.name + suffix);
                const auto reference = seconds_.find(pair.reference + suffix);
                if (found == seconds_.end() || reference == seconds_.end())
                    continue;
                std::printf("%-24s %6.2f x %s\n", (pair.name + suffix).c_str(),
                            found->second / reference->second, pair.reference);
            }
        }
    }

  private:
    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
    // The library reports what it reads; a benchmark wants its own lines only.
    rdz::cms::SetMessageSink([](rdz::cms::MessageLevel, const std::string&) {});
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    return 0;
}
