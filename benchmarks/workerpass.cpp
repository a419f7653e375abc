#include "workerpass.h"

namespace OrvBench {

WorkerPass::WorkerPass(std::function<void(int frame)> job, std::function<void()> finished)
    : _job(std::move(job)), _finished(std::move(finished)), _worker([this] { work(); }) {
    addOutput(QStringLiteral("out"));
}

WorkerPass::~WorkerPass() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _quit = true;
    }
    _wake.notify_one();
    _worker.join();
}

void WorkerPass::start(Vantrel::Orv::RenderCallbacks*) {
    _done = false;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _pending = true;
    }
    _wake.notify_one();
}

void WorkerPass::work() {
    std::unique_lock<std::mutex> lock(_mutex);
    for (;;) {
        _wake.wait(lock, [this] { return _pending || _quit; });
        if (_quit) return;
        _pending = false;
        lock.unlock();
        _job(_frames++);
        _done = true;
        if (_finished) _finished();
        lock.lock();
    }
}

}  // namespace OrvBench
