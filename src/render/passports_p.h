#pragma once

#include <Orv/Graph.h>
#include <Orv/RenderPass.h>

#include "graph/side_p.h"

#include <QVector>

namespace Vantrel {
namespace Orv {
namespace detail {

// One way in which a pass node's ports differ from its pass's.
struct PortMismatch {
    enum Kind { Count, Name, Group };
    Kind kind;
    Side side;
    int port;  // -1 for Count
};

// How the ports of pass node `node` differ from those of its pass: inputs first, then outputs;
// a count that differs stands for its whole side, else each port named otherwise or put in a
// group (a pass's ports never are). Empty when they match. The validator reports these and
// the JSON savers and loaders refuse them, so that all agree.
QVector<PortMismatch> passPortMismatches(const Graph& graph, int node, const RenderPass& pass);

// The pass's port count on one side, never below zero.
int passPorts(const RenderPass& pass, Side side);
QString passPortName(const RenderPass& pass, Side side, int port);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
