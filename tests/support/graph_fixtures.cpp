#include "graph_fixtures.h"

#include "graph_invariants.h"

using Vantrel::Orv::Graph;

int addNamedNode(Graph& graph, const QString& name, int parent, int numInputs, int numOutputs) {
    const int node = graph.addNode(name, 0, 0, parent);
    for (int i = 0; i < numInputs; ++i)
        graph.addInput(node, QStringLiteral("in%1").arg(i), Graph::kInvalidGroupRef);
    for (int i = 0; i < numOutputs; ++i)
        graph.addOutput(node, QStringLiteral("out%1").arg(i), Graph::kInvalidGroupRef);
    return node;
}

SampleGraph::SampleGraph() {
    a = addNamedNode(graph, "A", root);
    b = addNamedNode(graph, "B", root);
    c = addNamedNode(graph, "C", root);
    p = addNamedNode(graph, "P", root);
    x = addNamedNode(graph, "X", p);
    y = addNamedNode(graph, "Y", p);
}

void SampleGraphTest::TearDown() {
    EXPECT_TRUE(checkGraphInvariants(graph));
}
