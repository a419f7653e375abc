#pragma once

#include <Orv/Graph.h>

#include <gtest/gtest.h>

#include <QStringList>

// A port as (node, input?, index), the edge that feeds it (-1 for none), and an edge's two ends as
// ports: a down edge starts at an input, an up edge ends at an output.
struct Port {
    int node;
    bool input;
    int index;
    bool operator==(const Port& o) const {
        return node == o.node && input == o.input && index == o.index;
    }
};
int sourceOf(const Vantrel::Orv::Graph& graph, const Port& port);
Port edgeSource(const Vantrel::Orv::Graph& graph, int edge);
Port edgeDest(const Vantrel::Orv::Graph& graph, int edge);

// Checks, through the public interface only, the invariants every editing sequence keeps:
//  - each live node but the root stands exactly once in its parent's children, and every
//    child entry names a live node whose parent is that node;
//  - a removed node has no children and none of its ports carries an edge;
//  - each live edge is of one kind, stands once in its source port's destinations and is its
//    destination port's source; every edge a port refers to is live and ends at that port.
// On failure the message lists the broken facts.
::testing::AssertionResult checkGraphInvariants(const Vantrel::Orv::Graph& graph);

// Everything the interface shows of both tables, removed records included, one line per node,
// port and edge: equal snapshots mean equal graphs.
QStringList graphSnapshot(const Vantrel::Orv::Graph& graph);
