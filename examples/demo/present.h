#pragma once

#include "demopass.h"
#include "workerpool.h"

#include <atomic>
#include <memory>

namespace OrvDemo {

// Inputs: previous (the last frame's picture, a QImage), presentMs. Output: presented (how
// many frames it has shown). Stands for a display: start() hands the previous frame to the
// display's own thread, which takes presentMs to scan it out, and isFinished() turns true when
// it has. It reads nothing the frame renders, so with more than one pass in flight its wait
// overlaps the rendering of the new frame, as a real present queue does.
class PresentPass : public DemoPass {
public:
    PresentPass();

    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;
    bool isFinished() const override;
    void endFrame(Vantrel::Orv::RenderCallbacks* callbacks) override;

private:
    WorkerPool _display{1};
    std::shared_ptr<std::atomic<bool>> _shown;  // the frame being scanned out, or null
    int _presented = 0;
};

}  // namespace OrvDemo
