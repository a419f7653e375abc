#pragma once

#include "demopass.h"
#include "image.h"
#include "workerpool.h"

namespace OrvDemo {

// Ray traces the animated scene (a mirror ball, coloured balls bouncing round it, a glowing
// lamp above a checkered floor under an evening sky) at `time` seconds into an image of
// linear radiance, in row stripes on `workers` when given.
FloatImage renderScene(int width, int height, double time, WorkerPool* workers = nullptr);

// Inputs: time, width, height, frame, failAt. Output: color.
// On the frame named by failAt it reports error 1 instead of rendering, so that a host can
// watch a frame fail. Its work is shared out over worker threads, and done when start returns.
class ScenePass : public DemoPass {
public:
    ScenePass();
    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;

private:
    WorkerPool _workers;
};

}  // namespace OrvDemo
