// A small host: builds a graph of three passes and a bloom group, wires it by index and by
// name, and prints what it built.
#include <Orv/OrvCore.h>

#include <cstdio>

using Vantrel::Orv::Graph;

static void printNode(const Graph& graph, int node, int depth)
{
    std::printf("%*s%s (node %d)\n", depth * 2, "", qPrintable(graph.nodeName(node)), node);
    for (int i = 0; i < graph.numInputs(node); ++i) {
        int src = node;
        int port = i;
        if (graph.walkToSourceNode(src, port)) {
            std::printf("%*s  in  %-8s <- %s.%s\n", depth * 2, "",
                        qPrintable(graph.inputName(node, i)), qPrintable(graph.nodeName(src)),
                        qPrintable(graph.outputName(src, port)));
        } else {
            std::printf("%*s  in  %-8s (unfed)\n", depth * 2, "",
                        qPrintable(graph.inputName(node, i)));
        }
    }
    for (int i = 0; i < graph.numNodes(node); ++i) printNode(graph, graph.getNode(i, node), depth + 1);
}

int main()
{
    Graph graph;
    const int root = Graph::kRootNodeRef;

    const int scene = graph.addNode("scene", 0, 0, root);
    graph.addInput(scene, "time", Graph::kInvalidGroupRef);
    graph.addOutput(scene, "color", Graph::kInvalidGroupRef);

    // A container whose input is passed down to the passes inside it and whose output is
    // handed up from the last of them.
    const int bloom = graph.addNode("bloom", 0, 0, root);
    graph.addInput(bloom, "color", Graph::kInvalidGroupRef);
    graph.addOutput(bloom, "glow", Graph::kInvalidGroupRef);
    const int bright = graph.addNode("bright", 0, 0, bloom);
    graph.addInput(bright, "color", Graph::kInvalidGroupRef);
    graph.addOutput(bright, "bright", Graph::kInvalidGroupRef);
    const int blur = graph.addNode("blur", 0, 0, bloom);
    graph.addInput(blur, "bright", Graph::kInvalidGroupRef);
    graph.addOutput(blur, "glow", Graph::kInvalidGroupRef);

    const int composite = graph.addNode("composite", 0, 0, root);
    graph.addInput(composite, "color", Graph::kInvalidGroupRef);
    graph.addInput(composite, "glow", Graph::kInvalidGroupRef);
    graph.addOutput(composite, "image", Graph::kInvalidGroupRef);

    graph.addEdge(scene, 0, bloom, 0);
    graph.addDownEdge(0, bright, 0);
    graph.addEdge(bright, 0, blur, 0);
    graph.addUpEdge(0, blur, 0);
    graph.addEdge(scene, 0, composite, 0);
    graph.addEdge(bloom, 0, composite, 1);

    // The graph refuses an edge that would close a cycle.
    const int refused = graph.addEdge(composite, 0, scene, 0);

    std::printf("Built %d nodes and %d edges; composite <- scene edge refused: %s\n",
                graph.numNodesGlobal(), graph.numEdgesGlobal(), refused == -1 ? "yes" : "no");
    printNode(graph, root, 0);
    return 0;
}
