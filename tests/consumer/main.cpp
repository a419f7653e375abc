// A host that knows only the installed package: one include, one imported target.
#include <Orv/OrvCore.h>

#include <cstdio>

int main()
{
    using namespace Vantrel::Orv;
    Graph graph;
    const int a = graph.addNode("a", 0, 1, Graph::kRootNodeRef);
    const int b = graph.addNode("b", 1, 0, Graph::kRootNodeRef);
    const int edge = graph.addEdge(a, 0, b, 0);
    if (edge != 0 || graph.numNodesGlobal() != 3 || !graph.precedes(a, b, true)) {
        std::printf("consumer: unexpected graph\n");
        return 1;
    }
    std::printf("consumer: ok\n");
    return 0;
}
