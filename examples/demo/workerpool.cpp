#include "workerpool.h"

#include <algorithm>

namespace OrvDemo {

WorkerPool::WorkerPool(int threads) {
    for (int i = 0; i < std::max(threads, 1); ++i) _threads.emplace_back([this] { work(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stopping = true;
    }
    _wake.notify_all();
    for (std::thread& thread : _threads) thread.join();
}

void WorkerPool::post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _queue.push_back(std::move(task));
    }
    _wake.notify_one();
}

void WorkerPool::runAndWait(int count, const std::function<void(int)>& task) {
    std::mutex mutex;
    std::condition_variable allDone;
    int remaining = count;
    for (int i = 0; i < count; ++i) {
        post([&, i] {
            task(i);
            std::lock_guard<std::mutex> lock(mutex);
            if (--remaining == 0) allDone.notify_one();
        });
    }
    std::unique_lock<std::mutex> lock(mutex);
    allDone.wait(lock, [&] { return remaining == 0; });
}

WorkDone& WorkDone::shared() {
    static WorkDone done;
    return done;
}

void WorkDone::notify() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _notified = true;
    }
    _wake.notify_all();
}

void WorkDone::wait() {
    std::unique_lock<std::mutex> lock(_mutex);
    _wake.wait(lock, [this] { return _notified; });
    _notified = false;
}

void WorkerPool::work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            _wake.wait(lock, [this] { return _stopping || !_queue.empty(); });
            // Drain before stopping: a task in the queue may still be posting the rest of
            // its job.
            if (_queue.empty()) return;
            task = std::move(_queue.front());
            _queue.pop_front();
        }
        task();
    }
}

}  // namespace OrvDemo
