#pragma once

#include "demopass.h"
#include "image.h"

namespace Vantrel {
namespace Orv {
class Renderer;
}
}  // namespace Vantrel

namespace OrvDemo {

// Inputs: color, history, frames. Output: color.
// Averages the scene over the frames, so that their sub-pixel offsets smooth its edges: the
// history input reads this pass's own output of the frame before, and the frame's colour is
// blended in with weight 1/n, n counting the frames since the history started over, up to
// `frames` (from there on an exponential blend). Each pixel's history is first held within the
// range of the frame's colours around it, so that what moved leaves no trail. Where the history
// is not real (the first frame, a camera cut, a resize), the output is the frame's colour as it
// is.
class AccumulatePass : public DemoPass {
public:
    AccumulatePass();
    // The renderer that feeds the history input, asked whether its value is real; without one,
    // only a history of another size counts as not real.
    void setHistorySource(const Vantrel::Orv::Renderer* renderer, int node);
    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;

    int framesAveraged() const { return _frames; }  // in the latest output; 0 before the first

private:
    const Vantrel::Orv::Renderer* _renderer = nullptr;
    int _node = -1;
    int _frames = 0;
};

}  // namespace OrvDemo
