// rodadazerivo convert ... -O FOLDER INPUT...: many inputs with one setting.
//
// The first input is converted in this process, so that the device links the
// setting needs are computed once and stored before anything else starts.
// Then worker processes, forked from this one (they inherit the open CMS
// database with those links), take the other inputs one after the other
// from a shared counter. A worker collects the messages of one input and
// hands them to this process through a pipe, which prints them whole, so
// that the lines of two inputs never mix. Each output is written whole or
// not at all, as a single conversion writes it. A device-link file is read
// for every input, but the transform built from it is built once, in the
// first input, and reused as long as the file's bytes stay the same.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "devicelink/TColorConverter_IccDeviceLink.h"
#include "formats/Errors.h"
#include "tools/Commands.h"
#include "tools/Conversion.h"
#include "tools/Database.h"
#include "tools/ProgressBar.h"
#include "tools/Report.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books
namespace {

namespace fs = std::filesystem;

static_assert(std::atomic<int>::is_always_lock_free, "counters are shared between processes");

/// What the processes of a batch share: the next input to take, how many
/// are done, and the exit status of each (-1 while not done).
struct Shared {
    std::atomic<int> next;
    std::atomic<int> done;
    std::atomic<int> status[1];  // one per input (the mapping is larger)
};

class SharedMemory {
  public:
    explicit SharedMemory(int inputs) {
        size_ = sizeof(Shared) + sizeof(std::atomic<int>) * static_cast<std::size_t>(inputs);
        void* memory =
            ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            throw WorkError("cannot share memory between the processes of the batch");
        }
        shared_ = new (memory) Shared;
        shared_->next = 0;
        shared_->done = 0;
        for (int i = 0; i < inputs; ++i) {
            new (&shared_->status[i]) std::atomic<int>(-1);
        }
    }
    ~SharedMemory() { ::munmap(shared_, size_); }
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;
    Shared* operator->() const { return shared_; }

  private:
    Shared* shared_ = nullptr;
    std::size_t size_ = 0;
};

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        done += static_cast<std::size_t>(written);
    }
}

class Batch {
  public:
    Batch(ConversionRequest& request, DatabaseSession& session, const InkBooks& books,
          Console& console)
        : request_(request), session_(session), books_(books), console_(console) {}

    int Run() {
        Plan();
        TColorConverter_IccDeviceLink::SetLinkReuse(true);
        const int total = static_cast<int>(inputs_.size());
        SharedMemory shared(total);
        shared_ = &shared;
        if (!request_.report.empty()) {
            reports_.resize(inputs_.size());
        }
        // The first input alone, with every core: its links are then stored.
        jobs_ = request_.jobs > 0 ? request_.jobs : CoreCount();
        const int firstIndex = shared->next.fetch_add(1);
        shared->status[firstIndex] = Convert(firstIndex, ImageThreads(request_, 1), nullptr);
        shared->done.fetch_add(1);

        const int workers = std::min(jobs_, total - 1);
        if (workers <= 1) {
            for (int i = shared->next.fetch_add(1); i < total; i = shared->next.fetch_add(1)) {
                shared->status[i] = Convert(i, ImageThreads(request_, 1), nullptr);
                shared->done.fetch_add(1);
            }
        } else {
            RunWorkers(workers);
        }

        int worst = 0;
        int converted = 0;
        std::string failed;
        for (int i = 0; i < total; ++i) {
            int status = shared->status[i];
            if (status < 0) {
                console_.Error(inputs_[static_cast<std::size_t>(i)] +
                               ": not converted: the process converting it stopped.");
                status = 1;
            }
            worst = std::max(worst, status);
            converted += status == 0 ? 1 : 0;
            if (status != 0) {
                failed += (failed.empty() ? "" : ", ") + inputs_[static_cast<std::size_t>(i)];
            }
        }
        if (!request_.report.empty()) {
            WriteBatchReport(total, converted);
        }
        console_.Info("Batch: " + std::to_string(converted) + " of " + std::to_string(total) +
                      " inputs converted into " + request_.outputFolder +
                      (failed.empty() ? std::string(".") : "; failed: " + failed + "."));
        return worst;
    }

  private:
    /// The output of every input, checked before any work.
    void Plan() {
        std::map<std::string, std::string> taken;
        for (const std::string& input : request_.inputs) {
            const std::string name = fs::path(input).filename().string();
            if (name.empty() || name == "." || name == "..") {
                throw UsageError("'" + input + "' names no file to convert");
            }
            const std::string output = (fs::path(request_.outputFolder) / name).string();
            const std::string key = CanonicalPath(output);
            if (taken.count(key) != 0) {
                throw UsageError("'" + taken[key] + "' and '" + input +
                                 "' would both be written to '" + output + "'");
            }
            taken[key] = input;
            inputs_.push_back(input);
            outputs_.push_back(output);
        }
        std::error_code ec;
        fs::create_directories(request_.outputFolder, ec);
        if (!fs::is_directory(request_.outputFolder, ec)) {
            throw WorkError("cannot make the output folder '" + request_.outputFolder + "'");
        }
    }

    /// Converts input `i`; its messages go to `*block` (null: as they come).
    int Convert(int i, int threads, std::string* block) {
        const std::size_t index = static_cast<std::size_t>(i);
        ConversionRequest request = request_;
        request.threads = threads;
        console_.Forget();
        console_.CollectInto(block);
        ConversionReport report;
        int status = 0;
        try {
            ConvertOne(request, inputs_[index], outputs_[index], session_, books_, console_,
                       report);
        } catch (...) {
            status = SayFailure(console_, std::current_exception(), "convert");
            ExitStatusOf(std::current_exception(), &report.error);
        }
        report.exitStatus = status;
        report.messages = console_.Said();
        console_.CollectInto(nullptr);
        if (!reports_.empty()) {
            reports_[index] = report.ToJson().dump();
        }
        return status;
    }

    void RunWorkers(int workers) {
        struct Worker {
            pid_t pid;
            int pipe;
            std::string pending;
        };
        std::vector<Worker> running;
        const int total = static_cast<int>(inputs_.size());
        const std::string reportFolder = reports_.empty() ? "" : MakeReportFolder();
        for (int w = 0; w < workers; ++w) {
            int fds[2];
            if (::pipe2(fds, O_CLOEXEC) != 0) {
                break;  // the workers started so far take every input
            }
            std::fflush(nullptr);
            const pid_t pid = ::fork();
            if (pid < 0) {
                ::close(fds[0]);
                ::close(fds[1]);
                break;
            }
            if (pid == 0) {
                ::close(fds[0]);
                for (const Worker& other : running) {
                    ::close(other.pipe);
                }
#if defined(__linux__)
                ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
                console_.Progress().SetEnabled(false);
                for (int i = (*shared_)->next.fetch_add(1); i < total;
                     i = (*shared_)->next.fetch_add(1)) {
                    std::string block;
                    const int status = Convert(i, ImageThreads(request_, workers), &block);
                    if (!reportFolder.empty()) {
                        std::ofstream(reportFolder + "/" + std::to_string(i) + ".json")
                            << reports_[static_cast<std::size_t>(i)];
                    }
                    WriteAll(fds[1], block);
                    (*shared_)->status[i] = status;
                    (*shared_)->done.fetch_add(1);
                }
                ::close(fds[1]);
                std::fflush(nullptr);
                ::_exit(0);
            }
            ::close(fds[1]);
            running.push_back({pid, fds[0], std::string()});
        }
        if (running.empty()) {
            // No worker could start: this process does the rest alone.
            for (int i = (*shared_)->next.fetch_add(1); i < total;
                 i = (*shared_)->next.fetch_add(1)) {
                (*shared_)->status[i] = Convert(i, ImageThreads(request_, 1), nullptr);
                (*shared_)->done.fetch_add(1);
            }
        }

        // Print the workers' messages whole lines at a time, with the
        // progress of the batch between them.
        ProgressBar& bar = console_.Progress();
        std::size_t open = running.size();
        while (open > 0) {
            std::vector<pollfd> fds;
            for (const Worker& worker : running) {
                fds.push_back({worker.pipe, POLLIN, 0});
            }
            ::poll(fds.data(), fds.size(), 200);
            for (std::size_t w = 0; w < running.size(); ++w) {
                if (running[w].pipe < 0 || (fds[w].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                    continue;
                }
                char buffer[8192];
                const ssize_t got = ::read(running[w].pipe, buffer, sizeof buffer);
                if (got > 0) {
                    running[w].pending.append(buffer, static_cast<std::size_t>(got));
                    const std::size_t end = running[w].pending.rfind('\n');
                    if (end != std::string::npos) {
                        bar.Clear();
                        std::fputs(running[w].pending.substr(0, end + 1).c_str(), stderr);
                        std::fflush(stderr);
                        running[w].pending.erase(0, end + 1);
                    }
                } else if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
                    ::close(running[w].pipe);
                    running[w].pipe = -1;
                    --open;
                }
            }
            bar.Show("Converting " + std::to_string(total) + " inputs",
                     static_cast<std::uint64_t>((*shared_)->done.load()),
                     static_cast<std::uint64_t>(total));
        }
        bar.Clear();
        for (const Worker& worker : running) {
            int status = 0;
            while (::waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        if (!reportFolder.empty()) {
            for (int i = 0; i < total; ++i) {
                const std::string file = reportFolder + "/" + std::to_string(i) + ".json";
                std::ifstream in(file);
                std::string text((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
                if (!text.empty()) {
                    reports_[static_cast<std::size_t>(i)] = text;
                }
            }
            std::error_code ec;
            fs::remove_all(reportFolder, ec);
        }
    }

    std::string MakeReportFolder() const {
        std::string pattern = (fs::temp_directory_path() / "rodadazerivo-batch-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw WorkError("cannot make a folder for the reports of the batch");
        }
        return pattern;
    }

    void WriteBatchReport(int total, int converted) {
        nlohmann::json inputs = nlohmann::json::array();
        for (std::size_t i = 0; i < reports_.size(); ++i) {
            nlohmann::json one = nlohmann::json::parse(reports_[i], nullptr, false);
            if (one.is_discarded()) {
                one = {{"input", inputs_[i]}, {"status", "failed"}, {"exitStatus", 1}};
            }
            inputs.push_back(one);
        }
        WriteReport(request_.report, {{"outputFolder", request_.outputFolder},
                                      {"inputs", total},
                                      {"converted", converted},
                                      {"failed", total - converted},
                                      {"reports", inputs}});
    }

    ConversionRequest& request_;
    DatabaseSession& session_;
    const InkBooks& books_;
    Console& console_;
    std::vector<std::string> inputs_;
    std::vector<std::string> outputs_;
    std::vector<std::string> reports_;  // JSON text per input, with --report
    SharedMemory* shared_ = nullptr;
    int jobs_ = 1;
};

}  // namespace

int RunBatch(ConversionRequest& request, DatabaseSession& session, const InkBooks& books,
             Console& console) {
    return Batch(request, session, books, console).Run();
}

}  // namespace rdz::tools
