#pragma once

#include <Orv/RenderPass.h>

#include "render/renderer_p.h"

#include <QVector>

namespace Vantrel {
namespace Orv {
namespace detail {

int beginPassSpan(RendererData& d, int node);  // the span's index in the frame's trace
void endPassSpan(RendererData& d, int span, unsigned int errorCode);

// The two places where a pass meets a frame; both loops (one at a time, and in flight) go
// through them, and they call the timing, latest-frame and release hooks, so the loops only
// schedule. Inline, so that neither loop pays a call per pass for them.

// The value an input takes: a parameter, a producer's output while that pass is enabled (read
// now, so that a switch made earlier in the frame counts), or its default.
// A history input reads what the frame before kept, when that is real.
QVariant historyValue(RendererData& d, const FramePlan::Step& step, int input,
                      const FramePlan::Feed& feed);

inline QVariant inputValue(RendererData& d, const FramePlan::Step& step, RenderPass* pass,
                           int input, const FramePlan::Feed& feed) {
    if (feed.pass == FramePlan::Feed::kParameter) return d.parameters.at(feed.port);
    if (feed.history) return historyValue(d, step, input, feed);
    if (feed.pass >= 0 && d.enabled.at(feed.pass)) return feed.producer->output(feed.port);
    return pass->defaultValue(input);
}

// Starts step `s`: its inputs, its user counts, its error code, beginFrame, start.
inline StartedPass startPass(RendererData& d, int s, RenderCallbacks* callbacks) {
    // The plan does not change while a frame runs.
    const FramePlan::Step& step = d.plan.schedule()[size_t(s)];
    RenderPass* const pass = step.pass;
    const int numFed = step.numInputs;
    const FramePlan::Feed* const feeds = d.plan.feeds().data() + step.firstFeed;
    const int numInputs = pass->numInputs();
    for (int i = 0; i < numInputs; ++i) {
        // Only a pass that grew inputs after it was added has inputs beyond its node's; nothing
        // feeds them.
        pass->setInput(i,
                       i < numFed ? inputValue(d, step, pass, i, feeds[i]) : pass->defaultValue(i));
    }

    pass->resetNumOutputUsers();
    const FramePlan::OutputUsers* const users = d.plan.users().data() + step.firstUsers;
    for (int u = 0, n = step.numUsers; u < n; ++u)
        pass->setNumOutputUsers(users[u].output, users[u].users);

    pass->setErrorCode(0);
    d.currentStep = s;
    d.latest.passStarted(s);
    const int span = d.currentTrace ? beginPassSpan(d, step.node) : -1;
    pass->beginFrame(callbacks);
    pass->start(callbacks);
    ++d.passesRun;
    return StartedPass{pass, s, span};
}

// Ends a pass that has finished: endFrame, then its error code. False when the code is not 0.
inline bool endPass(RendererData& d, StartedPass started, RenderCallbacks* callbacks) {
    started.pass->endFrame(callbacks);
    const unsigned int code = started.pass->errorCode();
    if (started.span >= 0) endPassSpan(d, started.span, code);
    d.latest.passEnded(started.step, code);
    if (d.memory.releasing) releaseAfter(d, started.step, true);
    return code == 0;
}

// A step whose pass the frame found disabled: it will not run this frame.
inline void skipPass(RendererData& d, int step) {
    d.latest.passSkipped(step);
    if (d.memory.releasing) releaseAfter(d, step, false);
}

// Waits for `count` passes in flight of which none has finished: the host's wait function, or
// else the poll interval's sleep.
void waitForPasses(RendererData& d, const StartedPass* inFlight, int count);

// After the passes: what the history inputs will read in the next frame.
void keepHistory(RendererData& d);

// Runs the plan's schedule with up to maxPassesInFlight passes in flight; false when a pass
// failed.
bool runOverlapped(RendererData& d, RenderCallbacks* callbacks);

// Timing, when it is on: the frame's trace from the ring.
void beginFrameTrace(RendererData& d);
void endFrameTrace(RendererData& d);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
