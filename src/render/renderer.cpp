#include <Orv/Renderer.h>

#include "../core/prefetch_p.h"
#include "inrange_p.h"
#include "renderer_p.h"

#include <QThread>

namespace Vantrel {
namespace Orv {

namespace {

// A node outside the flags was created after they were sized; it takes no part in the frame.
bool isFlagged(const QVector<bool>& flags, int node) {
    return !inRange(flags, node) || flags.at(node);
}

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

}  // namespace

RendererData::~RendererData() {
    for (RenderPass* pass : passes) delete pass;
}

void RendererData::buildPlan() {
    planBuilt = true;
    planGraphRevision = graph.revision();
    planRevision = revision;

    // The roots may repeat; the flag tests below visit each once. Their order is that of the
    // outputs, then the target.
    roots.clear();
    collected.clear();
    for (int o = 0; o < outputs.size(); ++o) {
        int node = Graph::kRootNodeRef;
        int port = o;
        Collected collect{-1, -1};
        if (graph.walkDown(node, port)) {
            roots.append(node);
            const int passIndex = graph.nodeValue(node);
            if (isPassIndex(passIndex)) collect = Collected{passIndex, port};
        }
        collected.push_back(collect);
    }
    if (graph.isValidNode(target)) roots.append(target);

    order.clear();
    feeds.clear();
    schedule.clear();
    users.clear();
    // A frame without roots leaves the needed flags of the latest frame that had some.
    if (roots.isEmpty()) return;
    needed.fill(false, graph.numNodesGlobal());
    for (int r = 0; r < roots.size(); ++r) {
        if (!isFlagged(needed, roots.at(r))) markFrom(roots.at(r));
    }
    schedulePasses();
}

void RendererData::markFrom(int root) {
    // An explicit stack keeps long producer chains off the call stack. Each entry resumes at the
    // input after the one whose producer it pushed, which reproduces the recursive order: a node
    // is flagged before its inputs are followed and is ordered after all of them. The walks of
    // a node's inputs wait on a second stack and move to `feeds` with their node.
    stack.clear();
    pending.clear();
    needed[root] = true;
    stack.push_back(Visit{root, 0, graph.numInputs(root), 0});
    while (!stack.empty()) {
        Visit& top = stack.back();
        if (top.nextInput < top.numInputs) {
            Source source{top.node, top.nextInput++, false};
            source.produced = graph.walkToSourceNode(source.node, source.port);
            pending.push_back(feedOf(source));
            if (source.produced && !isFlagged(needed, source.node)) {
                needed[source.node] = true;
                stack.push_back(
                    Visit{source.node, 0, graph.numInputs(source.node), int(pending.size())});
            }
            continue;
        }
        const Visit done = top;
        stack.pop_back();
        order.push_back(Visit{done.node, 0, done.numInputs, int(feeds.size())});
        feeds.insert(feeds.end(), pending.begin() + done.firstSource, pending.end());
        pending.resize(done.firstSource);
    }
}

void RendererData::schedulePasses() {
    // The run phase visits the same nodes in the same order as the marking phase (same graph,
    // same roots, flags set alike), so the marking order is the schedule. Nodes without a pass
    // never run and are left out; user counts need every needed flag, so they come last.
    for (const Visit& visit : order) {
        const int passIndex = graph.nodeValue(visit.node);
        if (!isPassIndex(passIndex)) continue;
        const int firstUsers = int(users.size());
        const int numOutputs = graph.numOutputs(visit.node);
        for (int o = 0; o < numOutputs; ++o) {
            const int count = countOutputUsers(visit.node, o);
            if (count > 0) users.push_back(OutputUsers{o, count});
        }
        schedule.push_back(Scheduled{passes.at(passIndex), visit.node, passIndex, visit.numInputs,
                                     visit.firstSource, firstUsers,
                                     int(users.size()) - firstUsers});
    }
}

RendererData::Feed RendererData::feedOf(const Source& source) const {
    if (source.produced) {
        const int producer = graph.nodeValue(source.node);
        if (!isPassIndex(producer)) return Feed{-1, source.port, nullptr};
        return Feed{producer, source.port, passes.at(producer)};
    }
    // A failed walk leaves the cursor where the down edges end: on the root for a parameter.
    if (source.node == Graph::kRootNodeRef && inRange(parameters, source.port))
        return Feed{Feed::kParameter, source.port, nullptr};
    return Feed{-1, -1, nullptr};
}

bool RendererData::runScheduled(RenderCallbacks* callbacks) {
    // Passes lie scattered over the host's heap; asking for each one a couple of places ahead
    // means its first call seldom waits for memory.
    const int numScheduled = int(schedule.size());
    for (int s = 0; s < numScheduled; ++s) {
        if (s + 2 < numScheduled) prefetch(schedule[s + 2].pass);
        const Scheduled& scheduled = schedule[s];
        if (enabled.at(scheduled.passIndex) && !runPass(scheduled, callbacks)) return false;
    }
    return true;
}

QVariant RendererData::inputValue(RenderPass* pass, int input, const Feed& feed) const {
    if (feed.pass == Feed::kParameter) return parameters.at(feed.port);
    if (feed.pass >= 0 && enabled.at(feed.pass)) return feed.producer->output(feed.port);
    return pass->defaultValue(input);
}

int RendererData::countOutputUsers(int node, int output) const {
    // Needed consumers, disabled ones included. An edge into a container counts the container's
    // first-level consumers of that input; an up edge counts only a needed container (the root
    // is needed only as the target), so renderer outputs are not users.
    int users = 0;
    const int numEdges = graph.numOutputDestinations(node, output);
    for (int k = 0; k < numEdges; ++k) {
        const int edge = graph.outputDestination(node, output, k);
        const int dest = graph.edgeDestNode(edge);
        if (graph.numNodes(dest) > 0 && !graph.contains(dest, node)) {
            const int input = graph.edgeDestIndex(edge);
            const int numInner = graph.numInputDestinations(dest, input);
            for (int m = 0; m < numInner; ++m) {
                if (isNeeded(graph.edgeDestNode(graph.inputDestination(dest, input, m)))) ++users;
            }
        }
        if (isNeeded(dest)) ++users;
    }
    return users;
}

bool RendererData::runPass(const Scheduled& scheduled, RenderCallbacks* callbacks) {
    RenderPass* pass = scheduled.pass;
    // Asking for the producers before the first call lets the waits for them overlap with the
    // wait for this pass rather than follow it.
    for (int i = 0; i < scheduled.numInputs; ++i) prefetch(feeds[scheduled.firstFeed + i].producer);
    const int numInputs = pass->numInputs();
    for (int i = 0; i < numInputs; ++i) {
        Feed feed{-1, -1, nullptr};
        if (i < scheduled.numInputs) {
            feed = feeds.at(scheduled.firstFeed + i);
        } else {
            // Only a pass that grew inputs after it was added has inputs beyond its node's.
            Source source{scheduled.node, i, false};
            source.produced = graph.walkToSourceNode(source.node, source.port);
            feed = feedOf(source);
        }
        pass->setInput(i, inputValue(pass, i, feed));
    }

    pass->resetNumOutputUsers();
    for (int u = scheduled.firstUsers; u < scheduled.firstUsers + scheduled.numUsers; ++u)
        pass->setNumOutputUsers(users.at(u).output, users.at(u).users);

    pass->setErrorCode(0);
    pass->beginFrame(callbacks);
    pass->start(callbacks);
    ++passesRun;
    while (!pass->isFinished()) QThread::usleep(100);
    pass->endFrame(callbacks);
    return pass->errorCode() == 0;
}

Renderer::Renderer() : d(new RendererData) {}

Renderer::~Renderer() {
    delete d;
}

Graph* Renderer::getGraph() {
    return &d->graph;
}

const Graph* Renderer::getGraph() const {
    return &d->graph;
}

int Renderer::addGroup(const QString& name, int numInputs, int numOutputs, int parent) {
    ++d->revision;
    return d->graph.addNode(name, numInputs, numOutputs, parent);
}

int Renderer::addPass(const QString& name, RenderPass* pass, int parent) {
    ++d->revision;
    if (!pass || d->owned.contains(pass)) return -1;
    if (!d->graph.isValidNode(parent)) {
        delete pass;
        return -1;
    }
    const int passIndex = d->passes.size();
    const int numOutputs = qMax(0, pass->numOutputs());
    const int numInputs = qMax(0, pass->numInputs());
    const int node = d->graph.addNode(name, numInputs, numOutputs, parent);
    if (node < 0) {
        delete pass;
        return -1;
    }
    d->passes.append(pass);
    d->enabled.append(true);
    d->owned.insert(pass);
    for (int i = 0; i < numInputs; ++i) d->graph.setInputName(node, i, pass->inputName(i));
    for (int o = 0; o < numOutputs; ++o) d->graph.setOutputName(node, o, pass->outputName(o));
    d->graph.setNodeValue(node, passIndex);
    return node;
}

int Renderer::addParameter(const QString& name, const QVariant& value) {
    ++d->revision;
    const int index = d->graph.addInput(Graph::kRootNodeRef, name, Graph::kInvalidGroupRef);
    d->parameters.append(value);
    return index;
}

int Renderer::addOutput(const QString& name) {
    ++d->revision;
    const int index = d->graph.addOutput(Graph::kRootNodeRef, name, Graph::kInvalidGroupRef);
    d->outputs.append(QVariant());
    return index;
}

int Renderer::findParameter(const QString& name) const {
    return d->graph.findInput(Graph::kRootNodeRef, name);
}

int Renderer::findOutput(const QString& name) const {
    return d->graph.findOutput(Graph::kRootNodeRef, name);
}

int Renderer::findPass(const QString& name) const {
    return d->graph.findNode(name, Graph::kRootNodeRef);
}

int Renderer::getNumPasses() const {
    return d->passesRun;
}

int Renderer::numParameters() const {
    return d->parameters.size();
}

int Renderer::numOutputs() const {
    return d->outputs.size();
}

QMetaType::Type Renderer::parameterType(int index) const {
    if (!inRange(d->parameters, index)) return QMetaType::UnknownType;
    return static_cast<QMetaType::Type>(d->parameters.at(index).userType());
}

void Renderer::setParameter(int index, const QVariant& value) {
    if (inRange(d->parameters, index)) d->parameters[index] = value;
}

QVariant Renderer::parameterValue(int index) {
    return inRange(d->parameters, index) ? d->parameters.at(index) : QVariant();
}

QMetaType::Type Renderer::outputType(int index) const {
    if (!inRange(d->outputs, index)) return QMetaType::UnknownType;
    return static_cast<QMetaType::Type>(d->outputs.at(index).userType());
}

QVariant Renderer::output(int index) const {
    return inRange(d->outputs, index) ? d->outputs.at(index) : QVariant();
}

RenderPass* Renderer::renderPass(int node) const {
    const int passIndex = d->graph.nodeValue(node);
    return d->isPassIndex(passIndex) ? d->passes.at(passIndex) : nullptr;
}

bool Renderer::enabled(int node) const {
    const int passIndex = d->graph.nodeValue(node);
    return d->isPassIndex(passIndex) && d->enabled.at(passIndex);
}

void Renderer::setEnabled(int node, bool enabled) {
    const int passIndex = d->graph.nodeValue(node);
    if (d->isPassIndex(passIndex)) d->enabled[passIndex] = enabled;
}

void Renderer::setTarget(int node) {
    ++d->revision;
    d->target = node;
}

int Renderer::target() const {
    return d->target;
}

FrameTimer<100>& Renderer::frameTimer() {
    return _frameTimer;
}

const FrameTimer<100>& Renderer::frameTimer() const {
    return _frameTimer;
}

void Renderer::setup(RenderCallbacks* callbacks) {
    // By index: a pass may add passes while it is set up.
    for (int p = 0; p < d->passes.size(); ++p) d->passes.at(p)->setup(callbacks);
}

void Renderer::teardown(RenderCallbacks* callbacks) {
    for (int p = 0; p < d->passes.size(); ++p) d->passes.at(p)->teardown(callbacks);
}

bool Renderer::render(RenderCallbacks* callbacks) {
    // The frame's scratch vectors are shared, so a pass cannot start a nested frame.
    if (d->rendering) return false;
    RenderingScope scope(d->rendering);

    d->passesRun = 0;
    bool result = true;
    beginFrame(callbacks);

    if (!d->planIsCurrent()) d->buildPlan();
    if (!d->roots.isEmpty()) {
        result = d->runScheduled(callbacks);

        // Passes that did not run this frame (disabled, or cut off by a failure) still hand
        // over the values of their latest run.
        for (int o = 0; o < int(d->collected.size()); ++o) {
            const RendererData::Collected& collect = d->collected.at(o);
            if (collect.passIndex >= 0)
                d->outputs[o] = d->passes.at(collect.passIndex)->output(collect.port);
        }
    }

    endFrame(callbacks);
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
