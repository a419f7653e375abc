#pragma once

#include <Orv/RenderPass.h>

#include "render/renderer_p.h"

#include <QVector>

namespace Vantrel {
namespace Orv {
namespace detail {

// The two places where a pass meets a frame; both loops (one at a time, and in flight) go
// through them, and they call the timing and latest-frame hooks, so the loops only schedule.
//
// Starts step `step`: its inputs (a producer's output while that pass is enabled), its user
// counts, its error code, beginFrame, start.
StartedPass startPass(RendererData& d, int step, RenderCallbacks* callbacks);
// Ends a pass that has finished: endFrame, then its error code. False when the code is not 0.
bool endPass(RendererData& d, StartedPass started, RenderCallbacks* callbacks);
// A step whose pass the frame found disabled: it will not run this frame.
void skipPass(RendererData& d, int step);

// Waits for `count` passes in flight of which none has finished: the host's wait function, or
// else the poll interval's sleep.
void waitForPasses(RendererData& d, const StartedPass* inFlight, int count);

// Runs the plan's schedule with up to maxPassesInFlight passes in flight; false when a pass
// failed.
bool runOverlapped(RendererData& d, RenderCallbacks* callbacks);

// Timing, when it is on: the frame's trace from the ring, and the spans of its passes.
void beginFrameTrace(RendererData& d);
void endFrameTrace(RendererData& d);
int beginPassSpan(RendererData& d, int node);  // the span's index in the frame's trace
void endPassSpan(RendererData& d, int span, unsigned int errorCode);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
