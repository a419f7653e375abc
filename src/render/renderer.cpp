// The registry: what the host sets up (parameters, outputs, passes, groups, enabled flags,
// target, culling, the limit of passes in flight), and the passes' setup and teardown.
#include <Orv/Renderer.h>

#include "render/inrange_p.h"
#include "render/renderer_p.h"

#include <utility>

namespace Vantrel {
namespace Orv {

namespace {

// What QVariant::type() reports: every type the host registered is QMetaType::User.
QMetaType::Type typeOf(const QVariant& value) {
    const int type = value.userType();
    return static_cast<QMetaType::Type>(type >= QMetaType::User ? int(QMetaType::User) : type);
}

}  // namespace

detail::RendererData::~RendererData() {
    for (RenderPass* pass : passes) delete pass;
}

Renderer::Renderer() : d(new detail::RendererData) {}

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
    return d->graph.addNode(name, numInputs, numOutputs, parent);
}

int Renderer::addGroup(const QString& name, const QStringList& inputs, const QStringList& outputs,
                       int parent) {
    const int node = addGroup(name, inputs.size(), outputs.size(), parent);
    if (node < 0) return node;
    for (int i = 0; i < inputs.size(); ++i) d->graph.setInputName(node, i, inputs[i]);
    for (int o = 0; o < outputs.size(); ++o) d->graph.setOutputName(node, o, outputs[o]);
    return node;
}

int Renderer::addPass(const QString& name, RenderPass* pass, int parent) {
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
    const int index = d->graph.addInput(Graph::kRootNodeRef, name, Graph::kInvalidGroupRef);
    d->parameters.append(value);
    return index;
}

int Renderer::addOutput(const QString& name) {
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
    if (!detail::inRange(d->parameters, index)) return QMetaType::UnknownType;
    return typeOf(d->parameters.at(index));
}

void Renderer::setParameter(int index, const QVariant& value) {
    if (detail::inRange(d->parameters, index)) d->parameters[index] = value;
}

QVariant Renderer::parameterValue(int index) {
    return std::as_const(*this).parameterValue(index);
}

QVariant Renderer::parameterValue(int index) const {
    return detail::inRange(d->parameters, index) ? d->parameters.at(index) : QVariant();
}

QMetaType::Type Renderer::outputType(int index) const {
    if (!detail::inRange(d->outputs, index)) return QMetaType::UnknownType;
    return typeOf(d->outputs.at(index));
}

QVariant Renderer::output(int index) const {
    return detail::inRange(d->outputs, index) ? d->outputs.at(index) : QVariant();
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
    // Unchanged flags are not written, so that the frames' copies stay shared.
    if (!d->isPassIndex(passIndex) || d->enabled.at(passIndex) == enabled) return;
    d->enabled[passIndex] = enabled;
}

bool Renderer::setMaxPassesInFlight(int limit) {
    if (limit < 1) return false;
    d->maxPassesInFlight = limit;
    return true;
}

int Renderer::maxPassesInFlight() const {
    return d->maxPassesInFlight;
}

void Renderer::setCulling(bool culling) {
    d->culling = culling;
}

bool Renderer::culling() const {
    return d->culling;
}

void Renderer::setCullBehindDisabled(bool cull) {
    d->cullBehindDisabled = cull;
}

bool Renderer::cullBehindDisabled() const {
    return d->cullBehindDisabled;
}

void Renderer::purgeGraph() {
    Graph& graph = d->graph;
    // Purging keeps the live nodes in table order, so a live node's new ref is its old one less
    // the removed nodes before it.
    int target = -1;
    if (graph.isValidNode(d->target)) {
        target = d->target;
        for (int node = 0; node < d->target; ++node) {
            if (!graph.isValidNode(node)) --target;
        }
    }
    graph.purge();
    d->target = target;
}

void Renderer::setTarget(int node) {
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

}  // namespace Orv
}  // namespace Vantrel
