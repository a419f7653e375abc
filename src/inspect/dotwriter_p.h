#pragma once

#include <Orv/Graph.h>

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

namespace Vantrel {
namespace Orv {
namespace detail {

// How one node is drawn beyond its name and ports.
struct DotNodeStyle {
    QByteArray fill;      // background colour, empty for none
    bool faded = false;   // grey and dashed, for work that was culled
    QString note;         // a second line under the name, empty for none
    bool marked = false;  // a heavy border, for the node a reader should find first
    QString tooltip;      // the hover text; the node's path when empty
};

// How one edge is drawn beyond its kind.
struct DotEdgeStyle {
    QString label;    // beside the edge, empty for none
    QString tooltip;  // a line added to the edge's hover text, empty for none
};

// An edge the graph does not hold, drawn after the graph's own: a history input's read of the
// frame before, from output `fromPort` of `from` to input `toPort` of `to`.
struct DotExtraEdge {
    int from;
    int fromPort;
    int to;
    int toPort;
    QString label;
};

struct DotStyle {
    QString rootInputs = QStringLiteral("inputs");
    QString rootOutputs = QStringLiteral("outputs");
    std::function<void(int node, DotNodeStyle* style)> decorate;      // may be empty
    std::function<void(int edge, DotEdgeStyle* style)> decorateEdge;  // may be empty
    QByteArray legend;                     // DOT statements drawn at the top level, after the nodes
    std::vector<DotExtraEdge> extraEdges;  // drawn dashed and grey, without weight
};

// The whole graph as DOT: containers as clusters with their ports as nodes inside, the other
// nodes as tables of input ports, name and output ports; edges port to port. Every node, cluster
// and edge has a tooltip naming it by path, for the SVG's hover texts.
QByteArray writeDot(const Graph& graph, const DotStyle& style);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
