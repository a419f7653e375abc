#pragma once

#include "demopass.h"
#include "workerpool.h"

#include <QImage>

#include <atomic>
#include <memory>

namespace OrvDemo {

// Input: presentMs. Output: presented (how many frames it has shown). Stands for a display:
// the host gives it the previous frame's picture between frames, start() hands that to the
// display's own thread, which takes presentMs to scan it out, and isFinished() turns true when
// it has. It reads nothing the frame renders, so with more than one pass in flight its wait
// overlaps the rendering of the new frame, as a real present queue does.
class PresentPass : public DemoPass {
public:
    PresentPass();
    void setPicture(const QImage& picture) { _picture = picture; }  // between frames

    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;
    bool isFinished() const override;
    void endFrame(Vantrel::Orv::RenderCallbacks* callbacks) override;

private:
    QImage _picture;
    WorkerPool _display{1};
    std::shared_ptr<std::atomic<bool>> _shown;  // the frame being scanned out, or null
    int _presented = 0;
};

}  // namespace OrvDemo
