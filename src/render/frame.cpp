// A frame: the plan, then its passes one at a time (or in flight, see overlappedframe.cpp),
// then the renderer outputs collected from the passes that feed them.
#include <Orv/Renderer.h>

#include "render/frame_p.h"

#include <vector>

namespace Vantrel {
namespace Orv {

namespace {

// Clears the renderer's busy flag however the frame is left.
class RenderingScope {
public:
    explicit RenderingScope(bool& flag) : _flag(flag) { _flag = true; }
    ~RenderingScope() { _flag = false; }
    RenderingScope(const RenderingScope&) = delete;
    RenderingScope& operator=(const RenderingScope&) = delete;

private:
    bool& _flag;
};

// The enabled passes of the schedule in order, each polled until it finishes; false as soon as
// one fails. A pass may switch others on or off as it runs, so the flags are read as it goes.
bool runOneAtATime(detail::RendererData& d, RenderCallbacks* callbacks) {
    const std::vector<detail::FramePlan::Step>& schedule = d.plan.schedule();
    for (int s = 0; s < int(schedule.size()); ++s) {
        const detail::FramePlan::Step& step = schedule[size_t(s)];
        if (!d.enabled.at(step.passIndex)) {
            detail::skipPass(d, s);
            continue;
        }
        const detail::StartedPass started = detail::startPass(d, s, callbacks);
        while (!started.pass->isFinished()) detail::waitForPasses(d, &started, 1);
        if (!detail::endPass(d, started, callbacks)) return false;
    }
    return true;
}

// Passes that did not run this frame (disabled, or cut off by a failure) still hand over the
// values of their latest run.
void collectOutputs(detail::RendererData& d) {
    const std::vector<detail::FramePlan::Collected>& collected = d.plan.collected();
    for (int o = 0; o < int(collected.size()); ++o) {
        const detail::FramePlan::Collected& collect = collected[size_t(o)];
        if (collect.passIndex >= 0)
            d.outputs[o] = d.passes.at(collect.passIndex)->output(collect.port);
    }
}

}  // namespace

bool Renderer::render(RenderCallbacks* callbacks) {
    // The plan is in use until the frame ends, so a pass cannot start a nested frame.
    if (d->rendering) return false;
    RenderingScope scope(d->rendering);

    d->passesRun = 0;
    bool result = true;
    detail::LatestFrame& latest = d->latest;
    ++latest.number;
    latest.failures.clear();
    if (d->timing) detail::beginFrameTrace(*d);
    beginFrame(callbacks);

    const QVector<bool> cut = d->planCut();
    if (!d->plan.isCurrent(d->graph, d->target, d->passes.size(), d->culling, cut,
                           d->historyInputs))
        d->plan.build(d->graph, d->target, d->passes, d->parameters.size(), d->outputs.size(),
                      d->culling, cut, d->historyInputs);
    detail::followPlan(*d);
    detail::followSyncPlan(*d);
    latest.fates.assign(d->plan.schedule().size(), detail::LatestFrame::kUndecided);
    if (d->plan.hasRoots()) {
        detail::beginReleases(*d);
        result = d->maxPassesInFlight > 1 ? detail::runOverlapped(*d, callbacks)
                                          : runOneAtATime(*d, callbacks);
        detail::endReleases(*d);
        detail::keepHistory(*d);
        collectOutputs(*d);
    }

    d->currentStep = -1;
    if (!result) latest.settleUndecided(d->plan, d->enabled);
    endFrame(callbacks);
    if (d->currentTrace) detail::endFrameTrace(*d);
    return result;
}

void Renderer::beginFrame(RenderCallbacks*) {
    _frameTimer.start();
}

void Renderer::endFrame(RenderCallbacks*) {
    _frameTimer.stop();
}

}  // namespace Orv
}  // namespace Vantrel
