// What the latest frame did and why, worked out when asked from what the frames keep anyway.
#include <Orv/Renderer.h>

#include "graph/refusal_p.h"
#include "graph/side_p.h"
#include "inspect/inspect_p.h"
#include "render/renderer_p.h"

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
    return graph.nodePath(node) + QLatin1Char('.') + detail::portLabel(graph, node, side, port);
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

// How much of a long list or chain explain shows, so that its answer stays a few hundred
// characters on any graph.
constexpr int kNamesShown = 3;
constexpr int kChainEnds = 3;  // steps kept at each end of a long chain

// "a, b and c", or "a, b, c and 7 more" past kNamesShown.
QString listed(const QStringList& names) {
    if (names.size() <= 1) return names.value(0);
    if (names.size() <= kNamesShown)
        return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
               names.last();
    return names.mid(0, kNamesShown).join(QStringLiteral(", ")) +
           QStringLiteral(" and %1 more").arg(names.size() - kNamesShown);
}

// From `node` down the chain of consumers that first needed it to the root of the frame:
// "a -> b -> group.out -> c -> output 'image'". A chain of more than 2 * kChainEnds steps keeps
// its ends and says how many steps it left out.
QString neededChain(const detail::RendererData& d, int node) {
    const Graph& graph = d.graph;
    // The steps first, as refs, so that only the ends shown are put into words.
    std::vector<detail::FramePlan::Reach> steps;
    detail::FramePlan::Reach end{-1, detail::FramePlan::Reach::kTarget};
    for (int at = node, guard = d.plan.tableSize(); guard > 0; --guard) {
        const detail::FramePlan::Reach reach = d.plan.reachOf(at);
        if (reach.consumer < 0) {
            end = reach;
            break;
        }
        steps.push_back(reach);
        at = reach.consumer;
    }
    // One step in words: the container ports the value crosses, then the consumer.
    auto step = [&graph](const detail::FramePlan::Reach& reach) {
        int source = reach.consumer;
        int port = reach.input;
        graph.walkUp(source, port);
        QStringList words;
        const QStringList down = inputsCrossed(graph, reach.consumer, reach.input);
        if (graph.walkAcross(source, port)) words << outputsCrossed(graph, source, port);
        words << down;
        words << (reach.consumer == Graph::kRootNodeRef ? QStringLiteral("the root")
                                                        : graph.nodePath(reach.consumer));
        return words;
    };
    QStringList chain{graph.nodePath(node)};
    const size_t numSteps = steps.size();
    const bool shorten = numSteps > size_t(2 * kChainEnds);
    for (size_t s = 0; s < numSteps; ++s) {
        if (shorten && s == size_t(kChainEnds)) {
            chain << QStringLiteral("[%1 steps left out]").arg(numSteps - 2 * kChainEnds);
            s = numSteps - kChainEnds - 1;
            continue;
        }
        chain << step(steps[s]);
    }
    if (end.input >= 0) {
        chain << outputsCrossed(graph, Graph::kRootNodeRef, end.input)
              << QStringLiteral("output ") +
                     quoted(graph.outputName(Graph::kRootNodeRef, end.input));
    } else if (end.input == detail::FramePlan::Reach::kTarget) {
        chain << QStringLiteral("the target");
    } else {
        chain << QStringLiteral("every pass (culling is off)");
    }
    return chain.join(QStringLiteral(" -> "));
}

// The pass nodes inside `container` at any depth, in table order.
QVector<int> passesInside(const detail::RendererData& d, int container) {
    QVector<int> inside;
    QVector<int> stack{container};
    while (!stack.isEmpty()) {
        const int node = stack.takeLast();
        for (int i = 0; i < d.graph.numNodes(node); ++i) {
            const int child = d.graph.getNode(i, node);
            if (d.isPassIndex(d.graph.nodeValue(child))) inside << child;
            stack << child;
        }
    }
    std::sort(inside.begin(), inside.end());
    return inside;
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
    const detail::FrameTrace& trace = d.keptTrace(d.traces.size() - 1);
    return trace.number == d.latest.number ? &trace : nullptr;
}

// A group through its passes: what they did and, when the frame needed any, the chain from
// the one whose value left the group.
QString explainGroup(const Renderer& renderer, const detail::RendererData& d, int group) {
    const Graph& graph = d.graph;
    const QString name = pathOf(graph, group);
    const QVector<int> inside = passesInside(d, group);
    if (inside.isEmpty())
        return QStringLiteral("%1 has no pass and holds none; the latest frame did not need it.")
            .arg(name);
    QStringList ran, failed, disabled, notReached, notNeeded;
    int leaving = -1;  // a needed pass whose value the frame used outside the group
    for (int pass : inside) {
        const QString path = graph.nodePath(pass);
        switch (renderer.outcome(pass)) {
            case NodeOutcome::Ran:
                ran << path;
                break;
            case NodeOutcome::Failed:
                failed << path + QStringLiteral(" failed with error code ") +
                              QString::number(renderer.failureCode(pass));
                break;
            case NodeOutcome::Disabled:
                disabled << path;
                break;
            case NodeOutcome::NotReached:
                notReached << path;
                break;
            default:
                notNeeded << path;
                break;
        }
        if (leaving < 0 && d.plan.hasRoots() && d.plan.isNeeded(pass)) {
            const int consumer = d.plan.reachOf(pass).consumer;
            if (consumer < 0 || (consumer != group && !graph.contains(group, consumer)))
                leaving = pass;
        }
    }
    QStringList parts;
    // "a ran", "b and c were switched off": the outcome's word, after "was" but for "ran".
    auto add = [&parts](const QStringList& paths, NodeOutcome outcome) {
        if (paths.isEmpty()) return;
        const QString verb = outcome == NodeOutcome::Ran ? QString()
                             : paths.size() == 1         ? QStringLiteral("was ")
                                                         : QStringLiteral("were ");
        parts << listed(paths) + QLatin1Char(' ') + verb +
                     QLatin1String(detail::outcomeLook(outcome).word);
    };
    add(ran, NodeOutcome::Ran);
    for (int f = 0; f < failed.size() && f < kNamesShown; ++f) parts << failed[f];
    if (failed.size() > kNamesShown)
        parts << QStringLiteral("%1 more failed").arg(failed.size() - kNamesShown);
    add(disabled, NodeOutcome::Disabled);
    add(notReached, NodeOutcome::NotReached);
    add(notNeeded, NodeOutcome::NotNeeded);
    QString text =
        QStringLiteral("%1 is a group; its %2 %3")
            .arg(name, inside.size() == 1 ? QStringLiteral("pass") : QStringLiteral("passes"),
                 parts.join(QStringLiteral(", ")));
    if (renderer.wasNeeded(group)) {
        // Passes needed only inside the group (none leaving it) were needed as their chain shows.
        if (leaving < 0) {
            for (int pass : inside) {
                if (d.plan.isNeeded(pass)) {
                    leaving = pass;
                    break;
                }
            }
        }
        return text + QStringLiteral("; needed by ") + neededChain(d, leaving) + QLatin1Char('.');
    }
    return text + QStringLiteral("; the latest frame did not need it.");
}

}  // namespace

NodeOutcome Renderer::outcome(int node) const {
    if (!inLatestFrame(*d, node)) return NodeOutcome::Unknown;
    const int s = d->plan.hasRoots() ? d->plan.stepOf(node) : -1;
    if (s < 0)
        return d->isPassIndex(d->graph.nodeValue(node)) ? NodeOutcome::NotNeeded
                                                        : NodeOutcome::NoPass;
    const detail::LatestFrame& latest = d->latest;
    const detail::LatestFrame::Fate fate =
        size_t(s) < latest.fates.size() ? latest.fates[size_t(s)] : detail::LatestFrame::kUndecided;
    if (fate == detail::LatestFrame::kSkipped) return NodeOutcome::Disabled;
    for (const auto& failure : latest.failures) {
        if (failure.first == s) return NodeOutcome::Failed;
    }
    return fate == detail::LatestFrame::kStarted ? NodeOutcome::Ran : NodeOutcome::NotReached;
}

bool Renderer::wasNeeded(int node) const {
    if (!inLatestFrame(*d, node) || !d->plan.hasRoots()) return false;
    if (d->isPassIndex(d->graph.nodeValue(node))) return d->plan.isNeeded(node);
    // A group does work for a frame only through its passes: the plan may flag a group whose
    // output a needed input reads, though nothing inside it feeds that output.
    const QVector<int> inside = passesInside(*d, node);
    return std::any_of(inside.begin(), inside.end(),
                       [this](int pass) { return d->plan.isNeeded(pass); });
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
            return explainGroup(*this, *d, node);
        case NodeOutcome::Ran:
            return QStringLiteral("%1 ran%2, needed by %3.").arg(name, time, neededChain(*d, node));
        case NodeOutcome::Failed:
            return QStringLiteral("%1 failed with error code %2%3, needed by %4.")
                .arg(name, QString::number(failureCode(node)), time, neededChain(*d, node));
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
                .arg(name, failed, QString::number(code));
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
            return QStringLiteral("%1 is needed but %2%3.")
                .arg(name, QString::fromLatin1(detail::outcomeLook(NodeOutcome::Disabled).word),
                     fellBack.isEmpty()
                         ? QStringLiteral("; no input reads it")
                         : QStringLiteral(", so these inputs took their defaults: ") +
                               listed(fellBack));
        }
        case NodeOutcome::NotNeeded: {
            QStringList consumers;
            for (int consumer : consumersOf(graph, node)) consumers << pathOf(graph, consumer);
            return QStringLiteral("%1 did not run: no output or target depends on it%2.")
                .arg(name, consumers.isEmpty()
                               ? QStringLiteral(", and nothing reads its outputs")
                               : QStringLiteral(", and its consumers %1 were not needed either")
                                     .arg(listed(consumers)));
        }
        case NodeOutcome::Unknown:
            break;
    }
    return QStringLiteral("Nothing is known of %1.").arg(name);
}

}  // namespace Orv
}  // namespace Vantrel
