// History inputs: the values kept from one frame to the next for the inputs that read the
// frame before, whether each read is real, and the host's reset.
#include <Orv/Renderer.h>

#include "render/frame_p.h"

namespace Vantrel {
namespace Orv {

QVariant detail::historyValue(RendererData& d, const FramePlan::Step& step, int input,
                              const FramePlan::Feed& feed) {
    HistorySlot& slot = d.history[qMakePair(step.passIndex, input)];
    const qint64 frame = d.latest.number;
    const bool valid = slot.frame > 0 && slot.frame == frame - 1 && slot.producer == feed.pass &&
                       slot.port == feed.port && slot.epoch == d.historyEpoch &&
                       (!d.memory.planning || slot.memoryVersion == d.memory.planVersion);
    slot.readFrame = frame;
    slot.validRead = valid;
    if (valid) return slot.value;
    // A timed frame keeps which inputs started over, for the report.
    if (d.currentTrace) d.currentTrace->historyResets.push_back(std::make_pair(step.node, input));
    return d.passes.at(step.passIndex)->defaultValue(input);
}

void detail::keepHistory(RendererData& d) {
    if (d.historyInputs.isEmpty()) return;
    const std::vector<FramePlan::Step>& schedule = d.plan.schedule();
    for (const FramePlan::Step& step : schedule) {
        for (int i = 0; i < step.numInputs; ++i) {
            const FramePlan::Feed& feed = d.plan.feeds()[size_t(step.firstFeed + i)];
            if (!feed.history) continue;
            // Only a producer that ran to the end without error this frame leaves history.
            const int last = d.plan.lastStepOf(feed.pass);
            if (last < 0 || d.latest.fates[size_t(last)] != LatestFrame::kStarted) continue;
            bool failed = false;
            for (const auto& failure : d.latest.failures) failed = failed || failure.first == last;
            if (failed) continue;
            HistorySlot& slot = d.history[qMakePair(step.passIndex, i)];
            slot.value = feed.producer->output(feed.port);
            slot.frame = d.latest.number;
            slot.producer = feed.pass;
            slot.port = feed.port;
            slot.epoch = d.historyEpoch;
            slot.memoryVersion = d.memory.planVersion;
        }
    }
}

bool Renderer::setHistoryInput(int node, int input, int producer, int output) {
    if (!d->graph.isValidNode(node) || !d->graph.isValidNode(producer)) return false;
    const int pass = d->graph.nodeValue(node);
    const int producerPass = d->graph.nodeValue(producer);
    if (!d->isPassIndex(pass) || input < 0 || input >= d->graph.numInputs(node)) return false;
    if (!d->isPassIndex(producerPass) || output < 0 || output >= d->graph.numOutputs(producer))
        return false;
    d->historyInputs.insert(qMakePair(pass, input), qMakePair(producerPass, output));
    return true;
}

void Renderer::removeHistoryInput(int node, int input) {
    if (d->graph.isValidNode(node))
        d->historyInputs.remove(qMakePair(d->graph.nodeValue(node), input));
}

bool Renderer::isHistoryInput(int node, int input) const {
    if (!d->graph.isValidNode(node)) return false;
    return d->historyInputs.contains(qMakePair(d->graph.nodeValue(node), input));
}

bool Renderer::historySource(int node, int input, int* producer, int* output) const {
    if (!d->graph.isValidNode(node)) return false;
    const auto it = d->historyInputs.constFind(qMakePair(d->graph.nodeValue(node), input));
    if (it == d->historyInputs.constEnd()) return false;
    for (int n = 0; n < d->graph.numNodesGlobal(); ++n) {
        if (d->graph.isValidNode(n) && d->graph.nodeValue(n) == it->first) {
            if (producer) *producer = n;
            if (output) *output = it->second;
            return true;
        }
    }
    return false;
}

bool Renderer::historyValid(int node, int input) const {
    if (!isHistoryInput(node, input)) return false;
    const auto it = d->history.constFind(qMakePair(d->graph.nodeValue(node), input));
    return it != d->history.constEnd() && it->readFrame == d->latest.number && it->validRead;
}

void Renderer::resetHistory() {
    ++d->historyEpoch;
}

}  // namespace Orv
}  // namespace Vantrel
