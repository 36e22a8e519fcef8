// The threads of the image pass: the thread that runs the conversion plus a
// few helpers, kept for the whole pass and handed one batch of tasks (the
// rows of a band) at a time.
//
// std::thread rather than OpenMP: the pass needs a pool that lives across
// image definitions, a worker index that the converters' Convert can read to
// pick their own scratch buffers, exceptions carried back to the caller, and
// no runtime that the host process might also load in another version.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool {
  public:
    /// Runs task `task` of a batch on worker `worker`; false stops the batch
    /// (tasks not yet started are skipped).
    using Task = std::function<bool(int worker, int task)>;

    /// At most this many workers, whatever is asked for.
    static constexpr int kMaxWorkers = 256;

    /// A pool of `workers` workers (clamped to 1 .. kMaxWorkers): the calling
    /// thread is worker 0 and `workers` - 1 helper threads are started, or as
    /// many as the system lets start (Size() says how many work).
    explicit WorkerPool(int workers);
    /// Stops and joins the helpers.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    /// Number of workers, the calling thread included.
    int Size() const { return static_cast<int>(helpers.size()) + 1; }
    /// The number of workers asked for at construction (clamped).
    int Requested() const { return requested; }

    /// Runs `task(worker, i)` for every i in 0 .. `tasks` - 1 on the calling
    /// thread and the helpers together, and returns when every started task
    /// has finished. Tasks start in ascending order of i. When a task returns
    /// false or throws, no further task starts; the exception of the
    /// lowest-numbered task that threw is rethrown here, as a loop over the
    /// tasks in order would have thrown it. Call from one thread at a time.
    void Run(int tasks, const Task& task);

    /// Run in two halves, so that the calling thread can do work of its own
    /// (reading and writing the host's image) while the helpers start on the
    /// batch: Start hands the batch to the helpers and returns at once;
    /// Finish takes the calling thread into the batch as worker 0 and then
    /// behaves as the end of Run. `task` must live until Finish returns, and
    /// every Start must be followed by a Finish before the next Start. With
    /// no helpers, the whole batch runs in Finish.
    void Start(int tasks, const Task& task);
    void Finish();

    /// The worker index of the calling thread: 1 .. Size() - 1 on a helper of
    /// a pool, 0 on every other thread.
    static int CurrentWorker();

  private:
    void HelperLoop(int worker);
    void Work(int worker);

    int requested = 1;
    std::vector<std::thread> helpers;
    std::mutex mutex;
    std::condition_variable start;
    std::condition_variable finished;
    std::uint64_t generation = 0;  // batches handed out so far
    int running = 0;               // helpers still working on the batch
    bool quit = false;

    // The current batch; written under `mutex` before helpers are woken.
    const Task* task = nullptr;
    int taskCount = 0;
    bool started = false;  // by Start, for Finish
    std::atomic<int> next{0};
    std::atomic<bool> stop{false};
    std::mutex errorMutex;
    int failedTask = 0;
    std::exception_ptr error;
};
