#include "pipeline.h"

#include "accumulate.h"
#include "bloom.h"
#include "composite.h"
#include "present.h"
#include "scene.h"
#include "stats.h"

#include <Orv/Graph.h>
#include <Orv/Json.h>

#include <functional>

namespace OrvDemo {

using Vantrel::Orv::Graph;
using Vantrel::Orv::RenderPass;

namespace {

const QString kImageOutput = QStringLiteral("image");

// The pass types a description may name: how to recognise one and how to make one.
struct PassType {
    const char* name;
    std::function<bool(const RenderPass&)> is;
    std::function<RenderPass*(const ToneCurve&)> make;
};

template <typename T>
PassType passType(const char* name) {
    return {name, [](const RenderPass& pass) { return dynamic_cast<const T*>(&pass) != nullptr; },
            [](const ToneCurve&) -> RenderPass* { return new T; }};
}

const QVector<PassType>& passTypes() {
    static const QVector<PassType> types = {
        passType<ScenePass>("scene"),
        passType<AccumulatePass>("accumulate"),
        passType<VignettePass>("vignette"),
        passType<BrightPass>("bright"),
        passType<BlurPass>("blur"),
        passType<CompositePass>("composite"),
        {"tonemap",
         [](const RenderPass& pass) { return dynamic_cast<const ToneMapPass*>(&pass) != nullptr; },
         [](const ToneCurve& curve) -> RenderPass* { return new ToneMapPass(curve); }},
        passType<LuminanceStatsPass>("stats"),
        passType<PresentPass>("present"),
    };
    return types;
}

}  // namespace

Pipeline::Pipeline(const ToneCurve& curve) : _curve(curve) {}

QString Pipeline::typeName(const RenderPass& pass) {
    for (const PassType& type : passTypes())
        if (type.is(pass)) return QString::fromLatin1(type.name);
    return QString();
}

RenderPass* Pipeline::createPass(const QString& type) const {
    for (const PassType& known : passTypes())
        if (type == QLatin1String(known.name)) return known.make(_curve);
    return nullptr;
}

bool Pipeline::load(const QByteArray& description, QString* error) {
    const auto factory = [this](const QString& type) { return createPass(type); };
    if (!Vantrel::Orv::loadRenderer(description, factory, &_renderer, error)) return false;
    listNodes(Graph::kRootNodeRef, QString());
    _vignette = findNode(QStringLiteral("vignette"));
    _stats =
        dynamic_cast<LuminanceStatsPass*>(_renderer.renderPass(findNode(QStringLiteral("stats"))));
    _present =
        dynamic_cast<PresentPass*>(_renderer.renderPass(findNode(QStringLiteral("present"))));
    for (const Node& node : _nodes) {
        if (auto* pass = dynamic_cast<DemoPass*>(_renderer.renderPass(node.ref)))
            pass->setImageArena(&_arena, node.ref);
        // A description has no history inputs: an accumulation reads its own output of the
        // frame before, so its history input is marked here.
        if (auto* pass = dynamic_cast<AccumulatePass*>(_renderer.renderPass(node.ref))) {
            const int history = pass->findInput(QStringLiteral("history"));
            _renderer.setHistoryInput(node.ref, history, node.ref, 0);
            pass->setHistorySource(&_renderer, node.ref);
        }
    }
    return true;
}

void Pipeline::setMemoryPlan(bool enabled) {
    _arena.setEnabled(enabled);
    _renderer.setMemoryPlanning(enabled);
    // Full-size and half-size colour images, at the size the parameters give when the renderer
    // asks; the vignette keeps its mask from frame to frame, so it holds memory of its own.
    _renderer.setOutputMemoryFunction([this](int node, int output) {
        const int width = _renderer.parameterValue(_renderer.findParameter("width")).toInt();
        const int height = _renderer.parameterValue(_renderer.findParameter("height")).toInt();
        const RenderPass* pass = _renderer.renderPass(node);
        qint64 bytes = 0;
        if (dynamic_cast<const ScenePass*>(pass) || dynamic_cast<const AccumulatePass*>(pass) ||
            dynamic_cast<const CompositePass*>(pass))
            bytes = ImageArena::bytesOf(width, height);
        else if (dynamic_cast<const BrightPass*>(pass) || dynamic_cast<const BlurPass*>(pass))
            bytes = ImageArena::bytesOf((width + 1) / 2, (height + 1) / 2);
        return _arena.planned(node, output, bytes);
    });
}

bool Pipeline::save(QByteArray* description, QString* error) const {
    return Vantrel::Orv::saveRenderer(_renderer, &Pipeline::typeName, description, error);
}

void Pipeline::listNodes(int parent, const QString& prefix) {
    const Graph* g = _renderer.getGraph();
    for (int c = 0; c < g->numNodes(parent); ++c) {
        const int node = g->getNode(c, parent);
        const QString path = prefix + g->nodeName(node);
        _nodes.append({path, node});
        listNodes(node, path + QLatin1Char('/'));
    }
}

void Pipeline::setFrame(int frame, double time) {
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("frame")), frame);
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("time")), time);
}

void Pipeline::setCamera(double angle) {
    const int camera = _renderer.findParameter(QStringLiteral("camera"));
    if (camera < 0) return;  // a description without a camera keeps the scene's default view
    // A cut: what the accumulation kept shows another view.
    if (_renderer.parameterValue(camera).toDouble() != angle) _renderer.resetHistory();
    _renderer.setParameter(camera, angle);
}

double Pipeline::camera() const {
    return _renderer.parameterValue(_renderer.findParameter(QStringLiteral("camera"))).toDouble();
}

void Pipeline::setSize(int width, int height) {
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("width")), width);
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("height")), height);
    // Keep the glow the same share of the picture whatever its size; the blur runs at half
    // resolution, and 8 taps there suit a 360-line image.
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("bloomRadius")),
                           qBound(1, height * 8 / 360, 64));
    _renderer.invalidateOutputSizes();
}

void Pipeline::setPrevious(const QImage& image, int presentMs) {
    if (_present) _present->setPicture(image);
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("presentMs")), presentMs);
}

int Pipeline::presented() const {
    return _renderer.output(_renderer.findOutput(QStringLiteral("presented"))).toInt();
}

void Pipeline::setFailAt(int frame) {
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("failAt")), frame);
}

int Pipeline::findNode(const QString& name) const {
    for (const Node& node : _nodes)
        if (node.path == name) return node.ref;
    for (const Node& node : _nodes)
        if (node.path.section(QLatin1Char('/'), -1) == name) return node.ref;
    return -1;
}

void Pipeline::setEnabled(int node, bool enabled) {
    const Graph* g = _renderer.getGraph();
    if (_renderer.renderPass(node)) _renderer.setEnabled(node, enabled);
    for (int i = 0; i < g->numNodes(node); ++i) setEnabled(g->getNode(i, node), enabled);
}

QImage Pipeline::image() const {
    return _renderer.output(_renderer.findOutput(kImageOutput)).value<QImage>();
}

}  // namespace OrvDemo
