#pragma once

#include "demopass.h"
#include "image.h"

namespace OrvDemo {

// Ray traces the animated scene (a mirror ball, coloured balls bouncing round it, a glowing
// lamp above a checkered floor under an evening sky) at `time` seconds into an image of
// linear radiance.
FloatImage renderScene(int width, int height, double time);

// Inputs: time, width, height, frame, failAt. Output: color.
// On the frame named by failAt it reports error 1 instead of rendering, so that a host can
// watch a frame fail.
class ScenePass : public DemoPass {
public:
    ScenePass();
    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;
};

}  // namespace OrvDemo
