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

QVariant inputValue(const detail::RendererData& d, RenderPass* pass, int input,
                    const detail::FramePlan::Feed& feed) {
    if (feed.pass == detail::FramePlan::Feed::kParameter) return d.parameters.at(feed.port);
    if (feed.pass >= 0 && d.enabled.at(feed.pass)) return feed.producer->output(feed.port);
    return pass->defaultValue(input);
}

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

detail::StartedPass detail::startPass(RendererData& d, int s, RenderCallbacks* callbacks) {
    const FramePlan::Step& step = d.plan.schedule()[size_t(s)];
    RenderPass* pass = step.pass;
    const std::vector<FramePlan::Feed>& feeds = d.plan.feeds();
    const int numInputs = pass->numInputs();
    for (int i = 0; i < numInputs; ++i) {
        // Only a pass that grew inputs after it was added has inputs beyond its node's; nothing
        // feeds them.
        const QVariant value = i < step.numInputs
                                   ? inputValue(d, pass, i, feeds[size_t(step.firstFeed + i)])
                                   : pass->defaultValue(i);
        pass->setInput(i, value);
    }

    pass->resetNumOutputUsers();
    const std::vector<FramePlan::OutputUsers>& users = d.plan.users();
    for (int u = step.firstUsers; u < step.firstUsers + step.numUsers; ++u)
        pass->setNumOutputUsers(users[size_t(u)].output, users[size_t(u)].users);

    pass->setErrorCode(0);
    d.latest.passStarted(s);
    const int span = d.currentTrace ? beginPassSpan(d, step.node) : -1;
    pass->beginFrame(callbacks);
    pass->start(callbacks);
    ++d.passesRun;
    return StartedPass{pass, s, span};
}

bool detail::endPass(RendererData& d, StartedPass started, RenderCallbacks* callbacks) {
    started.pass->endFrame(callbacks);
    const unsigned int code = started.pass->errorCode();
    if (started.span >= 0) endPassSpan(d, started.span, code);
    d.latest.passEnded(started.step, code);
    if (d.memory.releasing) releaseAfter(d, started.step, true);
    return code == 0;
}

void detail::skipPass(RendererData& d, int step) {
    d.latest.passSkipped(step);
    if (d.memory.releasing) releaseAfter(d, step, false);
}

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
    if (!d->plan.isCurrent(d->graph, d->target, d->passes.size(), d->culling, cut))
        d->plan.build(d->graph, d->target, d->passes, d->parameters.size(), d->outputs.size(),
                      d->culling, cut);
    detail::followPlan(*d);
    latest.fates.assign(d->plan.schedule().size(), detail::LatestFrame::kUndecided);
    if (d->plan.hasRoots()) {
        detail::beginReleases(*d);
        result = d->maxPassesInFlight > 1 ? detail::runOverlapped(*d, callbacks)
                                          : runOneAtATime(*d, callbacks);
        detail::endReleases(*d);
        collectOutputs(*d);
    }

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
