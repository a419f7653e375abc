// What the latest frame did and why, worked out when asked from what the frames keep anyway.
#include <Orv/Renderer.h>

#include "graph/side_p.h"
#include "render/renderer_p.h"
#include "text/textescape_p.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <charconv>

namespace Vantrel {
namespace Orv {

namespace {

// Inspection reads the plan of the latest frame; a node added since is not part of it.
bool inLatestFrame(const detail::RendererData& d, int node) {
    return d.latest.number > 0 && d.graph.isValidNode(node) && node < d.plan.tableSize();
}

using detail::quoted;
using detail::Side;

QString pathOf(const Graph& graph, int node) {
    return node == Graph::kRootNodeRef ? QStringLiteral("the root") : quoted(graph.nodePath(node));
}

// "node.port" for a container port that a value crosses.
QString portOf(const Graph& graph, int node, int port, Side side) {
    return graph.nodePath(node) + QLatin1Char('.') + detail::portName(graph, node, side, port);
}

// The container outputs a value crosses going up from the producer to `node`'s output `port`
// (innermost first), found by following up edges down from that output.
QStringList outputsCrossed(const Graph& graph, int node, int port) {
    QStringList crossed;
    for (int guard = graph.numNodesGlobal(); guard > 0; --guard) {
        const int edge = graph.outputSource(node, port);
        if (!graph.isUpEdge(edge)) break;
        if (node != Graph::kRootNodeRef) crossed.prepend(portOf(graph, node, port, Side::Output));
        node = graph.edgeSourceNode(edge);
        port = graph.edgeSourceIndex(edge);
    }
    return crossed;
}

// The container inputs a value crosses going down to `node`'s input `port` (outermost first).
QStringList inputsCrossed(const Graph& graph, int node, int port) {
    QStringList crossed;
    for (int guard = graph.numNodesGlobal(); guard > 0; --guard) {
        const int edge = graph.inputSource(node, port);
        if (!graph.isDownEdge(edge)) break;
        node = graph.edgeSourceNode(edge);
        port = graph.edgeSourceIndex(edge);
        crossed.prepend(portOf(graph, node, port, Side::Input));
    }
    return crossed;
}

// From `node` down the chain of consumers that first needed it to the root of the frame:
// "a -> b -> group.out -> c -> output 'image'".
QString neededChain(const detail::RendererData& d, int node) {
    const Graph& graph = d.graph;
    QStringList chain{graph.nodePath(node)};
    for (int guard = d.plan.tableSize(); guard > 0; --guard) {
        const detail::FramePlan::Reach reach = d.plan.reachOf(node);
        if (reach.consumer < 0) {
            if (reach.input >= 0) {
                chain << outputsCrossed(graph, Graph::kRootNodeRef, reach.input)
                      << QStringLiteral("output ") +
                             quoted(graph.outputName(Graph::kRootNodeRef, reach.input));
            } else if (reach.input == detail::FramePlan::Reach::kTarget) {
                chain << QStringLiteral("the target");
            } else {
                chain << QStringLiteral("every pass (culling is off)");
            }
            break;
        }
        // From the consumer's input back to the producer: walkUp, walkAcross, walkDown.
        int source = reach.consumer;
        int port = reach.input;
        graph.walkUp(source, port);
        const QStringList down = inputsCrossed(graph, reach.consumer, reach.input);
        if (graph.walkAcross(source, port)) chain << outputsCrossed(graph, source, port);
        chain << down;
        node = reach.consumer;
        chain << (node == Graph::kRootNodeRef ? QStringLiteral("the root") : graph.nodePath(node));
    }
    return chain.join(QStringLiteral(" -> "));
}

// The nodes reading any output of `node`, each once, in table order.
QVector<int> consumersOf(const Graph& graph, int node) {
    QVector<int> consumers;
    const int numNodes = graph.numNodesGlobal();
    for (int n = 0; n < numNodes; ++n) {
        if (!graph.isValidNode(n)) continue;
        for (int i = 0; i < graph.numInputs(n); ++i) {
            int source = n;
            int port = i;
            if (graph.walkToSourceNode(source, port) && source == node) {
                consumers.append(n);
                break;
            }
        }
    }
    return consumers;
}

QString milliseconds(qint64 ns) {
    return QString::number(double(ns) / 1e6, 'f', 3) + QStringLiteral(" ms");
}

const detail::FrameTrace* latestTrace(const detail::RendererData& d) {
    if (d.traces.empty()) return nullptr;
    const size_t newest = (d.traceHead + d.traces.size() - 1) % d.traces.size();
    const detail::FrameTrace& trace = d.traces[newest];
    return trace.number == d.latest.number ? &trace : nullptr;
}

}  // namespace

NodeOutcome Renderer::outcome(int node) const {
    if (!inLatestFrame(*d, node)) return NodeOutcome::Unknown;
    const int s = d->plan.hasRoots() ? d->plan.stepOf(node) : -1;
    if (s < 0)
        return d->isPassIndex(d->graph.nodeValue(node)) ? NodeOutcome::NotNeeded
                                                        : NodeOutcome::NoPass;
    const detail::FramePlan::Step& step = d->plan.schedule()[size_t(s)];
    const detail::LatestFrame& latest = d->latest;
    if (!latest.enabled.value(step.passIndex)) return NodeOutcome::Disabled;
    for (const auto& failure : latest.failures) {
        if (failure.first == s) return NodeOutcome::Failed;
    }
    const bool started = size_t(s) < latest.started.size() && latest.started[size_t(s)];
    return started ? NodeOutcome::Ran : NodeOutcome::NotReached;
}

bool Renderer::wasNeeded(int node) const {
    return inLatestFrame(*d, node) && d->plan.hasRoots() && d->plan.isNeeded(node);
}

unsigned int Renderer::failureCode(int node) const {
    if (outcome(node) != NodeOutcome::Failed) return 0;
    const int s = d->plan.stepOf(node);
    for (const auto& failure : d->latest.failures) {
        if (failure.first == s) return failure.second;
    }
    return 0;
}

qint64 Renderer::latestPassTime(int node) const {
    const detail::FrameTrace* trace = latestTrace(*d);
    if (!trace) return -1;
    for (const detail::PassSpan& span : trace->spans) {
        if (span.node == node && span.end >= span.start) return span.end - span.start;
    }
    return -1;
}

QString Renderer::explain(int node) const {
    const Graph& graph = d->graph;
    if (d->latest.number == 0) return QStringLiteral("No frame has been rendered yet.");
    if (!inLatestFrame(*d, node))
        return QStringLiteral("Node %1 is not a node of the latest frame's graph.").arg(node);
    const QString name = pathOf(graph, node);
    const qint64 took = latestPassTime(node);
    const QString time = took >= 0 ? QStringLiteral(" in ") + milliseconds(took) : QString();

    switch (outcome(node)) {
        case NodeOutcome::NoPass:
            return QStringLiteral("%1 has no pass; the latest frame %2 it.")
                .arg(name,
                     wasNeeded(node) ? QStringLiteral("needed") : QStringLiteral("did not need"));
        case NodeOutcome::Ran:
            return QStringLiteral("%1 ran%2, needed by %3.").arg(name, time, neededChain(*d, node));
        case NodeOutcome::Failed:
            return QStringLiteral("%1 failed with error code %2%3, needed by %4.")
                .arg(name)
                .arg(failureCode(node))
                .arg(time, neededChain(*d, node));
        case NodeOutcome::NotReached: {
            QString failed = QStringLiteral("a pass");
            unsigned int code = 0;
            if (!d->latest.failures.empty()) {
                const auto& first = d->latest.failures.front();
                failed = pathOf(graph, d->plan.schedule()[size_t(first.first)].node);
                code = first.second;
            }
            return QStringLiteral(
                       "%1 did not run: the frame stopped when %2 failed with error code %3.")
                .arg(name, failed)
                .arg(code);
        }
        case NodeOutcome::Disabled: {
            // The needed inputs that this pass would have fed took their defaults instead.
            const int passIndex = d->plan.schedule()[size_t(d->plan.stepOf(node))].passIndex;
            QStringList fellBack;
            for (const detail::FramePlan::Step& step : d->plan.schedule()) {
                for (int i = 0; i < step.numInputs; ++i) {
                    if (d->plan.feeds()[size_t(step.firstFeed + i)].pass == passIndex)
                        fellBack << graph.nodePath(step.node) + QLatin1Char('.') +
                                        graph.inputName(step.node, i);
                }
            }
            return QStringLiteral("%1 is needed but switched off%2.")
                .arg(name, fellBack.isEmpty()
                               ? QStringLiteral("; no input reads it")
                               : QStringLiteral(", so these inputs took their defaults: ") +
                                     fellBack.join(QStringLiteral(", ")));
        }
        case NodeOutcome::NotNeeded: {
            QStringList consumers;
            for (int consumer : consumersOf(graph, node)) consumers << pathOf(graph, consumer);
            return QStringLiteral("%1 did not run: no output or target depends on it%2.")
                .arg(name, consumers.isEmpty()
                               ? QStringLiteral(", and nothing reads its outputs")
                               : QStringLiteral(", and its consumers %1 were not needed either")
                                     .arg(consumers.join(QStringLiteral(", "))));
        }
        case NodeOutcome::Unknown:
            break;
    }
    return QStringLiteral("Nothing is known of %1.").arg(name);
}

}  // namespace Orv
}  // namespace Vantrel
