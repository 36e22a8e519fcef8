// Rounds for benchmarks that set the library beside a reference in the same
// run: each repetition is one round that runs both, in an order that
// alternates from round to round, so that a change in the machine's load
// weighs on both sides alike. Times are wall times (threads show in them).
//
// A round's own time (benchmark's "Time", real time) is the library's side;
// its counters are
//   ours_s      the library's side, seconds
//   ref_s       the reference, seconds
//   time_ratio  ours_s / ref_s (below 1: the library is faster)
//   ours_cpu_s, ref_cpu_s  CPU seconds of the process (every thread) for
//               each side, and cpu_ratio, their ratio: what each side costs
//               the machine, and a measure that a busy machine shifts less
// and every benchmark runs kRounds rounds, followed by their mean, median,
// stddev, cv, min and max (of the time and of each counter).
//
// Every program takes --threads N (or --threads=N): the image threads of the
// library's side for the benchmarks that run the image pass; they run once
// with 1 thread and once with N (default: every core of the machine).
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace rdz::bench {

constexpr int kRounds = 5;

/// Removes --threads N / --threads=N from the arguments; the count given, or
/// every core when there is none (at least 1).
inline int TakeThreadsOption(int* argc, char** argv) {
    int threads = static_cast<int>(std::thread::hardware_concurrency());
    int out = 1;
    for (int i = 1; i < *argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--threads") == 0 && i + 1 < *argc) {
            threads = std::atoi(argv[++i]);
        } else if (std::strncmp(arg, "--threads=", 10) == 0) {
            threads = std::atoi(arg + 10);
        } else {
            argv[out++] = argv[i];
        }
    }
    *argc = out;
    argv[out] = nullptr;
    return std::max(1, threads);
}

/// The thread counts a threaded benchmark runs with: 1, and `threads` when
/// it is more.
inline std::vector<int> ThreadRuns(int threads) {
    std::vector<int> runs{1};
    if (threads > 1) {
        runs.push_back(threads);
    }
    return runs;
}

/// The side of the benchmark images: `standard`, or RDZ_BENCH_SIDE from the
/// environment (for a quick trial of a benchmark, never for its figures).
inline int ImageSide(int standard) {
    const char* side = std::getenv("RDZ_BENCH_SIDE");
    return side != nullptr && std::atoi(side) > 0 ? std::atoi(side) : standard;
}

template <class Work>
double WallSeconds(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// CPU seconds the process (all its threads) has used so far.
inline double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

/// One side of a round: `prepare` (making a document, say) runs untimed
/// right before `run`, which is timed.
struct Side {
    std::function<void()> prepare;
    std::function<void()> run;
};

/// One round in `state` (a benchmark registered with Rounds): both sides run
/// once, the reference first in even rounds. `round` counts the rounds of
/// this benchmark.
inline void Round(benchmark::State& state, int& round, const Side& ours, const Side& reference) {
    double oursSeconds = 0;
    double refSeconds = 0;
    double oursCpu = 0;
    double refCpu = 0;
    const auto runReference = [&] {
        if (reference.prepare) {
            reference.prepare();
        }
        const double cpu = ProcessCpuSeconds();
        refSeconds = WallSeconds(reference.run);
        refCpu = ProcessCpuSeconds() - cpu;
    };
    for (auto _ : state) {
        state.PauseTiming();
        const bool referenceFirst = round++ % 2 == 0;
        if (referenceFirst) {
            runReference();
        }
        if (ours.prepare) {
            ours.prepare();
        }
        state.ResumeTiming();
        const double cpu = ProcessCpuSeconds();
        oursSeconds = WallSeconds(ours.run);
        oursCpu = ProcessCpuSeconds() - cpu;
        state.PauseTiming();
        if (!referenceFirst) {
            runReference();
        }
        state.ResumeTiming();
    }
    state.counters["ours_s"] = oursSeconds;
    state.counters["ref_s"] = refSeconds;
    state.counters["time_ratio"] = oursSeconds / refSeconds;
    state.counters["ours_cpu_s"] = oursCpu;
    state.counters["ref_cpu_s"] = refCpu;
    state.counters["cpu_ratio"] = oursCpu / refCpu;
}

/// Applies the round settings: kRounds repetitions of one iteration, wall
/// time, milliseconds, and the min and max statistics beside benchmark's own.
inline benchmark::internal::Benchmark* Rounds(benchmark::internal::Benchmark* b) {
    return b->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1)
        ->Repetitions(kRounds)
        ->ComputeStatistics(
            "min",
            [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
        ->ComputeStatistics("max", [](const std::vector<double>& v) {
            return *std::max_element(v.begin(), v.end());
        });
}

/// The machine's load averages (/proc/loadavg), for the record.
inline std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

/// main() of a benchmark program: takes --threads, lets `add` register the
/// benchmarks for that count, runs them and prints the load before and after.
inline int Main(int argc, char** argv, const std::function<void(int threads)>& add) {
    const int threads = TakeThreadsOption(&argc, argv);
    add(threads);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    std::printf("image threads: 1 and %d; load average before: %s\n", threads,
                LoadAverage().c_str());
    std::fflush(stdout);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("load average after: %s\n", LoadAverage().c_str());
    return 0;
}

}  // namespace rdz::bench
