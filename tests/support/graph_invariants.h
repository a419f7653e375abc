#pragma once

#include <Orv/Graph.h>

#include <gtest/gtest.h>

#include <QStringList>

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
