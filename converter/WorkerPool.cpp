#include "converter/WorkerPool.h"

#include <algorithm>
#include <system_error>

namespace {

thread_local int t_worker = 0;

}  // namespace

WorkerPool::WorkerPool(int workers) : requested(std::clamp(workers, 1, kMaxWorkers)) {
    helpers.reserve(static_cast<size_t>(requested - 1));
    for (int w = 1; w < requested; ++w) {
        try {
            helpers.emplace_back(&WorkerPool::HelperLoop, this, w);
        } catch (const std::system_error&) {
            break;  // the threads started so far do the work
        }
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        quit = true;
    }
    start.notify_all();
    for (std::thread& helper : helpers) {
        helper.join();
    }
}

int WorkerPool::CurrentWorker() {
    return t_worker;
}

void WorkerPool::Run(int tasks, const Task& batch) {
    Start(tasks, batch);
    Finish();
}

void WorkerPool::Start(int tasks, const Task& batch) {
    if (tasks <= 0) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        task = &batch;
        taskCount = tasks;
        next.store(0);
        stop.store(false);
        failedTask = tasks;
        error = nullptr;
        running = static_cast<int>(helpers.size());
        started = true;
        if (!helpers.empty()) {
            ++generation;
        }
    }
    start.notify_all();
}

void WorkerPool::Finish() {
    if (!started) {
        return;
    }
    started = false;
    if (helpers.empty()) {
        const Task& batch = *task;
        const int tasks = taskCount;
        task = nullptr;
        for (int i = 0; i < tasks; ++i) {
            if (!batch(0, i)) {
                return;
            }
        }
        return;
    }
    Work(0);
    std::exception_ptr thrown;
    {
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [this] { return running == 0; });
        task = nullptr;
        thrown = error;
        error = nullptr;
    }
    if (thrown) {
        std::rethrow_exception(thrown);
    }
}

void WorkerPool::Work(int worker) {
    while (!stop.load(std::memory_order_relaxed)) {
        const int i = next.fetch_add(1);
        if (i >= taskCount) {
            return;
        }
        try {
            if (!(*task)(worker, i)) {
                stop.store(true);
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(errorMutex);
            if (i < failedTask) {
                failedTask = i;
                error = std::current_exception();
            }
            stop.store(true);
        }
    }
}

void WorkerPool::HelperLoop(int worker) {
    t_worker = worker;
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            start.wait(lock, [&] { return quit || generation != seen; });
            if (quit) {
                return;
            }
            seen = generation;
        }
        Work(worker);
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (--running == 0) {
                finished.notify_one();
            }
        }
    }
}
