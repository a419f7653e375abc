#pragma once

/// @file
/// Walkers over a Graph. The three walkers share one loop: construct on a graph and a start
/// node, then while valid() read node() and call next(). A walker reads the graph on every step
/// and does not own it; the graph must outlive the walker and stay unchanged while it is in use.

#include <Orv/OrvCoreExport.h>

#include <QVector>
#include <QtGlobal>

namespace Vantrel {
namespace Orv {

class Graph;

namespace detail {
struct WalkPath;
struct WalkQueue;
}  // namespace detail

/// Visits the start node and every node upstream of it, each once, producers before consumers
/// (depth-first post-order, producers of input 0 first); the start node comes last. Producers
/// are found with walkToSourceNode() if throughHierarchy, else with walkAcross().
/// kInvalidNodeRef, or a ref outside the node table, gives an empty walk.
class ORVCORE_EXPORT BottomUpInputWalker {
public:
    /// Starts the walk at node; see the class for throughHierarchy.
    BottomUpInputWalker(const Graph& graph, int node, bool throughHierarchy);
    ~BottomUpInputWalker();

    bool valid() const;  ///< True while there is a current node.
    int node() const;    ///< The current node; -1 once the walk is over.
    void next();         ///< Moves on; does nothing once the walk is over.

private:
    Q_DISABLE_COPY(BottomUpInputWalker)

    void step(bool leaveDone);  // leaves a finished current node, then descends

    const Graph* _graph;
    bool _throughHierarchy;
    QVector<bool> _visited;
    detail::WalkPath* _path;  // the current path, start node first; null for an empty walk
};

/// Visits the same nodes as BottomUpInputWalker breadth-first: the start node first, then the
/// producers of its inputs in input order, then theirs, each node once.
class ORVCORE_EXPORT BreadthFirstInputWalker {
public:
    /// Starts the walk at node, producers found as BottomUpInputWalker finds them.
    BreadthFirstInputWalker(const Graph& graph, int node, bool throughHierarchy);
    ~BreadthFirstInputWalker();

    bool valid() const;  ///< True while there is a current node.
    int node() const;    ///< The current node; -1 once the walk is over.
    void next();         ///< Moves on; does nothing once the walk is over.

private:
    Q_DISABLE_COPY(BreadthFirstInputWalker)

    const Graph* _graph;
    bool _throughHierarchy;
    QVector<bool> _visited;
    detail::WalkQueue* _queue;  // the nodes reached, in visiting order
};

/// Visits the subtree of the start node, children in child order and each node after its whole
/// subtree, the start node last. A start node that isValidNode() rejects gives an empty walk.
class ORVCORE_EXPORT BottomUpSubgraphWalker {
public:
    BottomUpSubgraphWalker(const Graph& graph, int node);  ///< Starts the walk at node.
    ~BottomUpSubgraphWalker();

    bool valid() const;  ///< True while there is a current node.
    int node() const;    ///< The current node; -1 once the walk is over.
    void next();         ///< Moves on; does nothing once the walk is over.

private:
    Q_DISABLE_COPY(BottomUpSubgraphWalker)

    void step(bool leaveDone);  // leaves a finished current node, then descends

    const Graph* _graph;
    detail::WalkPath* _path;  // the current path, start node first; null for an empty walk
};

}  // namespace Orv
}  // namespace Vantrel
