// A host that knows only the installed package: one include, one imported target.
#include <Orv/OrvCore.h>

#include <cstdio>
#include <cstring>

using namespace Vantrel::Orv;

// The graph's constants are usable at compile time.
static_assert(Graph::kInvalidNodeRef == -1, "no node is -1");

static const char* describe(int node) {
    switch (node) {
        case Graph::kRootNodeRef:
            return "root";
        default:
            return "other";
    }
}

int main() {
    Graph graph;
    const int a = graph.addNode("a", 0, 1, Graph::kRootNodeRef);
    const int b = graph.addNode("b", 1, 0, Graph::kRootNodeRef);
    const int edge = graph.addEdge(a, 0, b, 0);
    // Taking an address needs the exported definition, not only the value.
    const int* root = &Graph::kRootNodeRef;
    if (edge != 0 || graph.numNodesGlobal() != 3 || !graph.precedes(a, b, true) ||
        std::strcmp(describe(*root), "root") != 0 || std::strcmp(describe(a), "other") != 0) {
        std::printf("consumer: unexpected graph\n");
        return 1;
    }
    std::printf("consumer: ok\n");
    return 0;
}
