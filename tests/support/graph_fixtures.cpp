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
    a = addNamedNode(graph, QStringLiteral("A"), Graph::kRootNodeRef);
    b = addNamedNode(graph, QStringLiteral("B"), Graph::kRootNodeRef);
    c = addNamedNode(graph, QStringLiteral("C"), Graph::kRootNodeRef);
    p = addNamedNode(graph, QStringLiteral("P"), Graph::kRootNodeRef);
    x = addNamedNode(graph, QStringLiteral("X"), p);
    y = addNamedNode(graph, QStringLiteral("Y"), p);
}

void SampleGraphTest::TearDown() {
    EXPECT_TRUE(checkGraphInvariants(graph));
}
