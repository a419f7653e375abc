#pragma once

#include <Orv/RenderPassHelper.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace OrvBench {

// Hands each frame's work to a thread of its own, as a pass that drives other hardware would:
// `job` runs there with the count of frames the pass has worked on so far; then the pass has
// finished, and `finished` (when set) is called on that thread.
class WorkerPass : public Vantrel::Orv::RenderPassHelper {
public:
    explicit WorkerPass(std::function<void(int frame)> job, std::function<void()> finished = {});
    ~WorkerPass() override;
    void start(Vantrel::Orv::RenderCallbacks*) override;
    bool isFinished() const override { return _done; }

private:
    void work();

    const std::function<void(int)> _job;
    const std::function<void()> _finished;
    std::mutex _mutex;
    std::condition_variable _wake;
    bool _pending = false;
    bool _quit = false;
    std::atomic<bool> _done{false};
    int _frames = 0;  // the worker's own
    std::thread _worker;
};

}  // namespace OrvBench
