#pragma once

#include "graph_invariants.h"

// Adds a node with ports "in0".."in<n-1>" and "out0".."out<m-1>", in no group.
inline int addNamedNode(Vantrel::Orv::Graph& graph, const QString& name, int parent,
                        int numInputs = 2, int numOutputs = 2) {
    const int node = graph.addNode(name, 0, 0, parent);
    for (int i = 0; i < numInputs; ++i) graph.addInput(node, QStringLiteral("in%1").arg(i), -1);
    for (int i = 0; i < numOutputs; ++i) graph.addOutput(node, QStringLiteral("out%1").arg(i), -1);
    return node;
}

// Where each input of `node` is fed from, as "<source node name>.<port>", or "-".
inline QStringList feeds(const Vantrel::Orv::Graph& graph, int node) {
    QStringList result;
    for (int i = 0; i < graph.numInputs(node); ++i) {
        const int e = graph.inputSource(node, i);
        result << (e == -1 ? QStringLiteral("-")
                           : graph.nodeName(graph.edgeSourceNode(e)) + '.' +
                                 QString::number(graph.edgeSourceIndex(e)));
    }
    return result;
}

// Small named graphs shared by the graph tests. Every node gets two inputs "in0", "in1" and two
// outputs "out0", "out1", and no edges:
//
//   root
//   |-- A
//   |-- B
//   |-- C
//   `-- P         (a container)
//       |-- X
//       `-- Y
struct SampleGraph {
    Vantrel::Orv::Graph graph;
    const int root = Vantrel::Orv::Graph::kRootNodeRef;
    int a = addNamedNode(graph, "A", root), b = addNamedNode(graph, "B", root),
        c = addNamedNode(graph, "C", root), p = addNamedNode(graph, "P", root),
        x = addNamedNode(graph, "X", p), y = addNamedNode(graph, "Y", p);
};

// A test on the sample graph that checks the invariants once the test body is done.
class SampleGraphTest : public ::testing::Test, protected SampleGraph {
protected:
    void TearDown() override { EXPECT_TRUE(checkGraphInvariants(graph)); }
};
