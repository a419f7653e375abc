// Navigation: the cursor walks along edges, precedence and containment.
#include <Orv/Graph.h>

#include "graph/graph_p.h"

#include <QSet>

namespace Vantrel {
namespace Orv {

namespace {

// Follows the chain of `kind` edges that feed a port (down edges into inputs, up edges into
// outputs) to its far end. Each step moves one level in the hierarchy, so the chain is no
// longer than the edge table; a longer one can only be a corrupt loop and is refused.
bool walkChain(const detail::GraphData& d, detail::Side side, detail::EdgeKind kind, int& node,
               int& port) {
    int edge = d.sourceOf(node, side, port);
    if (d.edgeKind(edge) != kind) return false;
    int n = node;
    int p = port;
    for (int steps = 0; d.edgeKind(edge) == kind; ++steps) {
        if (steps == d.edges.size()) return false;
        const detail::EdgeRecord& e = d.edges.at(edge);
        n = e.srcNode;
        p = e.srcIndex;
        edge = d.sourceOf(n, side, p);
    }
    node = n;
    port = p;
    return true;
}

// Only a node with an output that feeds some edge can be queued by the upstream search.
bool feedsAnything(const detail::NodeRecord& node) {
    for (const detail::PortRecord& output : node.outputs) {
        if (!output.destinations.isEmpty()) return true;
    }
    return false;
}

}  // namespace

bool Graph::walkUp(int& node, int& port) const {
    return walkChain(*d, detail::Side::Input, detail::EdgeKind::Down, node, port);
}

bool Graph::walkAcross(int& node, int& port) const {
    const int edge = inputSource(node, port);
    if (d->edgeKind(edge) != detail::EdgeKind::Regular) return false;
    const detail::EdgeRecord& e = d->edges.at(edge);
    node = e.srcNode;
    port = e.srcIndex;
    return true;
}

bool Graph::walkDown(int& node, int& port) const {
    // Only an up edge from a live child feeds an output, so a node without children ends the
    // walk at once, without reading its port list: most producers are such nodes.
    const detail::NodeRecord* n = d->node(node);
    if (!n || n->children.isEmpty()) return false;
    return walkChain(*d, detail::Side::Output, detail::EdgeKind::Up, node, port);
}

bool Graph::walkToSourceNode(int& node, int& port) const {
    walkUp(node, port);
    if (!walkAcross(node, port)) return false;
    walkDown(node, port);
    return true;
}

// Breadth-first against the edges. Two shortcuts keep it cheap on every addEdge without
// changing its answer: only a node with an output that feeds an edge is ever queued, so any
// other node precedes only itself; and the visited marks are a set of the nodes reached
// rather than one mark per node of the table. Nothing is kept between calls, so concurrent
// readers stay safe. A node equals itself only when it is in the table.
bool Graph::precedes(int upstream, int downstream, bool throughHierarchy) const {
    const detail::NodeRecord* target = d->node(upstream);
    if (!target || !d->node(downstream)) return false;
    if (upstream == downstream) return true;
    if (!feedsAnything(*target)) return false;

    QVector<int> queue;
    queue.append(downstream);
    QSet<int> visited;
    for (int head = 0; head < queue.size(); ++head) {
        const int x = queue.at(head);
        if (x == upstream) return true;
        if (visited.contains(x)) continue;
        visited.insert(x);
        const int count = numInputs(x);
        for (int i = 0; i < count; ++i) {
            int n = x;
            int k = i;
            if (throughHierarchy) walkUp(n, k);
            if (!walkAcross(n, k)) continue;
            if (throughHierarchy) walkDown(n, k);
            queue.append(n);
        }
    }
    return false;
}

bool Graph::contains(int ancestor, int node) const {
    const detail::NodeRecord* n = d->node(node);
    if (!n) return false;
    // Parents always precede their children in the table, so the climb ends; the bound only
    // guards against a corrupt chain.
    int p = n->parent;
    for (int steps = 0; p != -1 && steps < d->nodes.size(); ++steps) {
        if (p == ancestor) return true;
        const detail::NodeRecord* r = d->node(p);
        if (!r) return false;
        p = r->parent;
    }
    return false;
}

int Graph::indexOfNode(int node) const {
    const detail::NodeRecord* parent = d->node(parentNode(node));
    return parent ? parent->children.indexOf(node) : -1;
}

}  // namespace Orv
}  // namespace Vantrel
