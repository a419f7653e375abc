// The README's idioms, built as a host builds them: -O2 -Wall -Wextra -Werror, GCC and clang.
#include <Orv/OrvCore.h>

using namespace Vantrel::Orv;

namespace {

class Scale : public RenderPassHelper {
public:
    Scale() {
        addInput("value", 1.0);
        addOutput("scaled");
        addOutput("sign");
    }
    void start(RenderCallbacks*) override {
        _outputs[0].value = _inputs[0].value.toDouble() * 2.0;
        // Writing a second output inlines Qt 5's QVector access that GCC 12 once warned about.
        _outputs[1].value = _inputs[0].value.toDouble() < 0 ? -1 : 1;
    }
};

bool graphIdiom() {
    Graph graph;
    int scene = graph.addNode("scene", 0, 0, Graph::kRootNodeRef);
    graph.addOutput(scene, "color", Graph::kInvalidGroupRef);
    int tonemap = graph.addNode("tonemap", 0, 0, Graph::kRootNodeRef);
    graph.addInput(tonemap, "color", Graph::kInvalidGroupRef);
    graph.connectByName(scene, tonemap);
    int node = tonemap, port = 0;
    graph.walkToSourceNode(node, port);
    int visited = 0;
    for (BottomUpInputWalker w(graph, tonemap, true); w.valid(); w.next()) ++visited;
    QString why;
    const bool refused = graph.addEdgeByName(tonemap, "color", scene, "color", &why) == -1 &&
                         why.startsWith("node 'tonemap' has no output named 'color'") &&
                         graph.connectByName(scene, tonemap, &why) == 0 && !why.isEmpty();
    // Taking an address needs the exported definition, not only the value.
    const int* root = &Graph::kRootNodeRef;
    return node == scene && port == 0 && visited == 2 && refused && *root == 0;
}

bool rendererIdiom() {
    Renderer renderer;
    renderer.addParameter("value", 21.0);
    renderer.addOutput("result");
    int pass = renderer.addPass("scale", new Scale, Graph::kRootNodeRef);
    renderer.getGraph()->connectDownByName(pass);
    renderer.getGraph()->addUpEdge(0, pass, 0);
    renderer.setup(nullptr);
    const bool ran = renderer.render(nullptr);
    renderer.teardown(nullptr);
    return ran && renderer.output(0).toDouble() == 42.0;
}

// A pass on the stack, started directly: GCC sees its tables from construction on.
bool helperOnStack() {
    Scale scale;
    scale.setInput(0, -3.0);
    scale.start(nullptr);
    return scale.output(0).toDouble() == -6.0 && scale.output(1).toInt() == -1;
}

}  // namespace

bool idiomsWork() {
    return graphIdiom() && rendererIdiom() && helperOnStack();
}
