#pragma once

#include "demopass.h"
#include "image.h"
#include "workerpool.h"

#include <memory>

namespace OrvDemo {

// Where the camera looks from, and where in its pixels a frame samples the scene.
struct SceneView {
    double camera = 0.6;   // the camera's angle round the scene, in radians
    float jitterX = 0.0f;  // offsets from the pixel centres, in [-0.5, 0.5)
    float jitterY = 0.0f;
};

// The view of frame `frame`: a different sub-pixel offset each frame, repeating after 16, so
// that frames averaged over time sample each pixel at many places.
SceneView jitteredView(double camera, int frame);

// Ray traces the animated scene (a mirror ball, coloured balls bouncing round it, a glowing
// lamp above a checkered floor under an evening sky) at `time` seconds into an image of
// linear radiance, in row stripes on `workers` when given.
FloatImage renderScene(int width, int height, double time, const SceneView& view = SceneView(),
                       WorkerPool* workers = nullptr);

// Inputs: time, width, height, frame, failAt, camera. Output: color, the view of
// jitteredView(camera, frame).
// On the frame named by failAt it reports error 1 instead of rendering, so that a host can
// watch a frame fail. start() hands the stripes of the frame to worker threads and returns at
// once; isFinished() turns true when the last stripe is done, and endFrame() publishes it.
class ScenePass : public DemoPass {
public:
    ScenePass();

    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;
    bool isFinished() const override;
    void endFrame(Vantrel::Orv::RenderCallbacks* callbacks) override;

private:
    struct Job;
    WorkerPool _workers;
    std::shared_ptr<Job> _job;  // the frame in flight, or null
};

}  // namespace OrvDemo
