// A small renderer host: a scene pass, a bloom group of two passes and a tone-mapping pass,
// wired through the renderer's graph and run for a few frames. Values are strings here so the
// output shows the path each value took; a real host passes textures or buffers.
#include <Orv/OrvCore.h>

#include <cstdio>

using namespace Vantrel::Orv;

// Writes "<name>(<inputs>)" to its one output and reports how many needed consumers it has
// (an edge out of a group to the group's own output is not one).
class DescribePass : public RenderPassHelper {
public:
    DescribePass(const QString& name, const QStringList& inputs) : _name(name) {
        for (const QString& input : inputs) addInput(input, QString("none"));
        addOutput("out");
    }

    void start(RenderCallbacks*) override {
        QStringList values;
        for (const NamedValue& input : _inputs) values << input.value.toString();
        _outputs[0].value = _name + '(' + values.join(", ") + ')';
        std::printf("  %-8s users %d -> %s\n", qPrintable(_name), _outputUsers.at(0),
                    qPrintable(_outputs[0].value.toString()));
    }

private:
    QString _name;
};

int main() {
    const int root = Graph::kRootNodeRef;
    Renderer renderer;
    Graph* graph = renderer.getGraph();
    renderer.addParameter("exposure", 1.0);
    renderer.addOutput("image");

    const int scene = renderer.addPass("scene", new DescribePass("scene", {}), root);
    const int bloom = renderer.addGroup("bloom", 1, 1, root);
    const int bright = renderer.addPass("bright", new DescribePass("bright", {"in"}), bloom);
    const int blur = renderer.addPass("blur", new DescribePass("blur", {"in"}), bloom);
    const int tonemap = renderer.addPass(
        "tonemap", new DescribePass("tonemap", {"color", "glow", "exposure"}), root);

    graph->addEdge(scene, 0, bloom, 0);
    graph->addDownEdge(0, bright, 0);
    graph->addEdge(bright, 0, blur, 0);
    graph->addUpEdge(0, blur, 0);
    graph->addEdge(scene, 0, tonemap, 0);
    graph->addEdge(bloom, 0, tonemap, 1);
    graph->addDownEdge(0, tonemap, 2);  // the renderer's parameter "exposure"
    graph->addUpEdge(0, tonemap, 0);    // the renderer's output "image"

    renderer.setup(nullptr);
    for (int frame = 0; frame < 3; ++frame) {
        if (frame == 1) renderer.setParameter(0, 2.5);
        if (frame == 2)
            renderer.setEnabled(blur, false);  // tonemap's glow falls back to its default
        std::printf("frame %d\n", frame);
        const bool ok = renderer.render(nullptr);
        std::printf("  %s, %d passes: %s\n", ok ? "ok" : "failed", renderer.getNumPasses(),
                    qPrintable(renderer.output(0).toString()));
    }
    renderer.teardown(nullptr);
    std::printf("mean frame %.3f ms over %d frames\n", renderer.frameTimer().mean(),
                renderer.frameTimer().numSamples());
    return 0;
}
