#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace OrvDemo {

// A fixed set of worker threads taking tasks from one queue. Tasks may post further tasks.
// Built on standard mutexes rather than QThreadPool, whose Qt 5 locks thread checkers cannot
// see, so that every hand-over between threads is visible to them.
class WorkerPool {
public:
    explicit WorkerPool(int threads);  // at least one thread
    ~WorkerPool();                     // runs what is queued, then joins the threads

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int size() const { return int(_threads.size()); }
    void post(std::function<void()> task);
    // Runs task(0) .. task(count - 1) on the workers and returns when all are done. Not for
    // use from a worker thread, which would wait on itself.
    void runAndWait(int count, const std::function<void(int)>& task);

private:
    void work();

    std::mutex _mutex;
    std::condition_variable _wake;
    std::deque<std::function<void()>> _queue;
    bool _stopping = false;
    std::vector<std::thread> _threads;
};

// Lets the rendering thread sleep until some pass's work is done instead of polling: a task
// that finishes a pass's work calls notify() once the result is published, and the renderer's
// wait function calls wait(). A notify that nobody waits for is kept, so none is lost; at worst
// a wait returns for work the renderer has already ended, and it polls once more.
class WorkDone {
public:
    static WorkDone& shared();  // the one the demo's passes notify

    void notify();
    void wait();

private:
    std::mutex _mutex;
    std::condition_variable _wake;
    bool _notified = false;
};

}  // namespace OrvDemo
