#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace OrvVulkan {

// A few threads that run jobs in the order given: the passes in flight record on them.
class Workers {
public:
    explicit Workers(int threads) {
        for (int t = 0; t < threads; ++t) _threads.emplace_back([this] { loop(); });
    }
    ~Workers() {
        {
            std::lock_guard<std::mutex> lock(_lock);
            _stopping = true;
        }
        _wake.notify_all();
        for (std::thread& thread : _threads) thread.join();
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    template <typename Result>
    std::future<Result> run(std::function<Result()> job) {
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(job));
        std::future<Result> result = task->get_future();
        {
            std::lock_guard<std::mutex> lock(_lock);
            _jobs.emplace_back([task] { (*task)(); });
        }
        _wake.notify_one();
        return result;
    }

private:
    void loop() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(_lock);
                _wake.wait(lock, [this] { return _stopping || !_jobs.empty(); });
                if (_jobs.empty()) return;
                job = std::move(_jobs.front());
                _jobs.pop_front();
            }
            job();
        }
    }

    std::mutex _lock;
    std::condition_variable _wake;
    std::deque<std::function<void()>> _jobs;
    bool _stopping = false;
    std::vector<std::thread> _threads;
};

}  // namespace OrvVulkan
