#include "pipeline.h"

#include "bloom.h"
#include "composite.h"
#include "present.h"
#include "scene.h"
#include "stats.h"

#include <Orv/Graph.h>

namespace OrvDemo {

using Vantrel::Orv::Graph;

namespace {

const QString kImageOutput = QStringLiteral("image");

}  // namespace

Pipeline::Pipeline(const ToneCurve& curve) {
    Vantrel::Orv::Renderer& r = _renderer;
    r.addParameter(QStringLiteral("time"), 0.0);
    r.addParameter(QStringLiteral("frame"), 0);
    r.addParameter(QStringLiteral("failAt"), -1);
    r.addParameter(QStringLiteral("width"), 640);
    r.addParameter(QStringLiteral("height"), 360);
    r.addParameter(QStringLiteral("exposure"), 0.7);
    r.addParameter(QStringLiteral("bloomThreshold"), 1.0);
    r.addParameter(QStringLiteral("bloomRadius"), 8);
    r.addParameter(QStringLiteral("bloomStrength"), 0.6);
    r.addParameter(QStringLiteral("previous"), QVariant::fromValue(QImage()));
    r.addParameter(QStringLiteral("presentMs"), 8);
    r.addOutput(kImageOutput);
    r.addOutput(QStringLiteral("presented"));

    const int root = Graph::kRootNodeRef;
    const int scene = addPass(QStringLiteral("scene"), new ScenePass, root);
    _vignette = addPass(QStringLiteral("vignette"), new VignettePass, root);

    // The group's ports carry the names of what crosses its boundary, so that every edge in
    // and out of it, and inside it, is made by name.
    const int bloom = addGroup(QStringLiteral("bloom"), 3, 1);
    Graph* g = r.getGraph();
    g->setInputName(bloom, 0, QStringLiteral("color"));
    g->setInputName(bloom, 1, QStringLiteral("bloomThreshold"));
    g->setInputName(bloom, 2, QStringLiteral("bloomRadius"));
    g->setOutputName(bloom, 0, QStringLiteral("bloom"));
    const int bright = addPass(QStringLiteral("bright"), new BrightPass, bloom);
    const int blur = addPass(QStringLiteral("blur"), new BlurPass, bloom);

    const int composite = addPass(QStringLiteral("composite"), new CompositePass, root);
    const int tonemap = addPass(QStringLiteral("tonemap"), new ToneMapPass(curve), root);
    _stats = new LuminanceStatsPass;
    const int stats = addPass(QStringLiteral("stats"), _stats, root);
    const int present = addPass(QStringLiteral("present"), new PresentPass, root);

    for (int node : {scene, _vignette, bloom, composite, tonemap, present})
        g->connectDownByName(node);
    g->connectDownByName(bright);
    g->connectDownByName(blur);
    g->connectByName(bright, blur);
    g->connectUpByName(blur);

    g->connectByName(scene, bloom);
    g->connectByName(scene, composite);
    g->connectByName(bloom, composite);
    g->connectByName(_vignette, composite);
    g->connectByName(composite, tonemap);
    // The regular edge first: an output whose first edge goes up accepts no regular edge.
    g->connectByName(tonemap, stats);
    g->connectUpByName(tonemap);
    g->connectUpByName(present);
    r.setTarget(stats);
}

int Pipeline::addPass(const QString& name, Vantrel::Orv::RenderPass* pass, int parent) {
    const int node = _renderer.addPass(name, pass, parent);
    const QString prefix = parent == Graph::kRootNodeRef
                               ? QString()
                               : _renderer.getGraph()->nodeName(parent) + QLatin1Char('/');
    _nodes.append({prefix + name, node});
    return node;
}

int Pipeline::addGroup(const QString& name, int numInputs, int numOutputs) {
    const int node = _renderer.addGroup(name, numInputs, numOutputs, Graph::kRootNodeRef);
    _nodes.append({name, node});
    return node;
}

void Pipeline::setFrame(int frame, double time) {
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("frame")), frame);
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("time")), time);
}

void Pipeline::setSize(int width, int height) {
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("width")), width);
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("height")), height);
    // Keep the glow the same share of the picture whatever its size; the blur runs at half
    // resolution, and 8 taps there suit a 360-line image.
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("bloomRadius")),
                           qBound(1, height * 8 / 360, 64));
}

void Pipeline::setPrevious(const QImage& image, int presentMs) {
    _renderer.setParameter(_renderer.findParameter(QStringLiteral("previous")),
                           QVariant::fromValue(image));
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
