#pragma once

#include <Orv/Graph.h>

#include <gtest/gtest.h>

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
    SampleGraph();

    Vantrel::Orv::Graph graph;
    int a, b, c, p, x, y;
    const int root = Vantrel::Orv::Graph::kRootNodeRef;
};

// Adds a node with ports "in0".."in<n-1>" and "out0".."out<m-1>".
int addNamedNode(Vantrel::Orv::Graph& graph, const QString& name, int parent, int numInputs = 2,
                 int numOutputs = 2);

// A test on the sample graph that checks the invariants once the test body is done.
class SampleGraphTest : public ::testing::Test, protected SampleGraph {
protected:
    void TearDown() override;
};
