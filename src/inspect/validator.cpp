#include <Orv/Graph.h>
#include <Orv/Renderer.h>
#include <Orv/Validator.h>

#include "graph/refusal_p.h"
#include "graph/side_p.h"
#include "render/frameplan_p.h"
#include "render/passports_p.h"
#include "render/renderer_p.h"

#include <QHash>

#include <algorithm>
#include <functional>

namespace Vantrel {
namespace Orv {

namespace {

using Severity = Finding::Severity;
using detail::quoted;
using detail::Side;
const int kRoot = Graph::kRootNodeRef;

class Findings {
public:
    explicit Findings(const Graph& graph) : _graph(graph) {}

    void add(Severity severity, int node, const QString& message) {
        Finding finding;
        finding.severity = severity;
        finding.node = _graph.isValidNode(node) ? node : -1;
        if (finding.node >= 0) finding.path = _graph.nodePath(node);
        finding.message = message;
        _list.append(finding);
    }
    void add(Severity severity, int node, Side side, int port, const QString& message) {
        add(severity, node, message);
        Finding& finding = _list.last();
        finding.side = side == Side::Input ? Finding::Side::Input : Finding::Side::Output;
        finding.port = port;
        finding.portName = detail::portName(_graph, node, side, port);
    }

    // Errors, then warnings, then notes; the order of discovery within each.
    QVector<Finding> sorted() const {
        QVector<Finding> list = _list;
        std::stable_sort(list.begin(), list.end(), [](const Finding& a, const Finding& b) {
            return int(a.severity) < int(b.severity);
        });
        return list;
    }

private:
    const Graph& _graph;
    QVector<Finding> _list;
};

// Live nodes below the root in depth-first order, so that findings read top-down.
QVector<int> liveNodes(const Graph& graph) {
    QVector<int> nodes;
    QVector<int> stack{kRoot};
    while (!stack.isEmpty()) {
        const int node = stack.takeLast();
        if (node != kRoot) nodes.append(node);
        for (int c = graph.numNodes(node) - 1; c >= 0; --c) stack.append(graph.getNode(c, node));
    }
    return nodes;
}

// Later ports that share an earlier port's name: by-name wiring never reaches them.
void checkPortNames(const Graph& graph, int node, Side side, Findings& findings) {
    const bool input = side == Side::Input;
    const int count = detail::numPorts(graph, node, side);
    QHash<QString, int> first;
    for (int p = 0; p < count; ++p) {
        const QString name = detail::portName(graph, node, side, p);
        auto it = first.constFind(name);
        if (it == first.constEnd()) {
            first.insert(name, p);
            continue;
        }
        findings.add(Severity::Note, node, side, p,
                     QStringLiteral("%1 %2 has the same name, so by-name wiring and lookups take"
                                    " that one.")
                         .arg(input ? QStringLiteral("Input") : QStringLiteral("Output"))
                         .arg(*it));
    }
}

// Loops of producers, which only container ports can close (addEdge refuses the others): the
// strongly connected sets, of more than one node or a node feeding itself, of the relation
// "feeds an input of", between nodes that are not groups. Iterative Tarjan, so that long
// chains stay off the call stack; members in `nodes` order.
QVector<QVector<int>> producerLoops(const Graph& graph, const QVector<int>& nodes,
                                    const std::function<bool(int)>& isGroup) {
    const size_t size = size_t(graph.numNodesGlobal());
    std::vector<std::vector<int>> producers(size);
    std::vector<int> order(size, -1);
    for (int i = 0; i < nodes.size(); ++i) {
        const int node = nodes[i];
        order[size_t(node)] = i;
        if (isGroup(node)) continue;
        for (int input = 0; input < graph.numInputs(node); ++input) {
            int producer = node;
            int port = input;
            if (graph.walkToSourceNode(producer, port) && graph.isValidNode(producer) &&
                !isGroup(producer))
                producers[size_t(node)].push_back(producer);
        }
    }
    QVector<QVector<int>> loops;
    std::vector<int> index(size, -1);
    std::vector<int> low(size, 0);
    std::vector<bool> onStack(size, false);
    std::vector<int> stack;
    struct Call {
        int node;
        size_t next;
    };
    std::vector<Call> calls;
    int counter = 0;
    auto enter = [&](int node) {
        index[size_t(node)] = low[size_t(node)] = counter++;
        stack.push_back(node);
        onStack[size_t(node)] = true;
        calls.push_back(Call{node, 0});
    };
    for (int start : nodes) {
        if (isGroup(start) || index[size_t(start)] >= 0) continue;
        enter(start);
        while (!calls.empty()) {
            const int node = calls.back().node;
            const std::vector<int>& fedBy = producers[size_t(node)];
            if (calls.back().next < fedBy.size()) {
                const int producer = fedBy[calls.back().next++];
                if (index[size_t(producer)] < 0)
                    enter(producer);
                else if (onStack[size_t(producer)])
                    low[size_t(node)] = std::min(low[size_t(node)], index[size_t(producer)]);
                continue;
            }
            calls.pop_back();
            if (!calls.empty()) {
                int& callerLow = low[size_t(calls.back().node)];
                callerLow = std::min(callerLow, low[size_t(node)]);
            }
            if (low[size_t(node)] != index[size_t(node)]) continue;
            QVector<int> members;
            int member = -1;
            do {
                member = stack.back();
                stack.pop_back();
                onStack[size_t(member)] = false;
                members.append(member);
            } while (member != node);
            const bool feedsItself = std::find(fedBy.begin(), fedBy.end(), node) != fedBy.end();
            if (members.size() < 2 && !feedsItself) continue;
            std::sort(members.begin(), members.end(),
                      [&order](int a, int b) { return order[size_t(a)] < order[size_t(b)]; });
            loops.append(members);
        }
    }
    std::sort(loops.begin(), loops.end(), [&order](const QVector<int>& a, const QVector<int>& b) {
        return order[size_t(a.first())] < order[size_t(b.first())];
    });
    return loops;
}

void checkProducerLoops(const Graph& graph, const QVector<int>& nodes,
                        const std::function<bool(int)>& isGroup, Findings& findings) {
    for (const QVector<int>& loop : producerLoops(graph, nodes, isGroup)) {
        QStringList paths;
        for (int node : loop) paths << quoted(graph.nodePath(node));
        findings.add(Severity::Warning, loop.first(),
                     QStringLiteral("These nodes feed one another in a loop through container"
                                    " ports: %1. A frame cuts the loop where it meets it, so one"
                                    " of them reads a value of the frame before.")
                         .arg(paths.join(QStringLiteral(", "))));
    }
}

// What applies to any graph. `isGroup` says which nodes stand for a group of nodes.
void checkGraph(const Graph& graph, const QVector<int>& nodes,
                const std::function<bool(int)>& isGroup, Findings& findings) {
    QHash<int, QHash<QString, int>> siblings;  // parent -> name -> first child so named
    checkPortNames(graph, kRoot, Side::Input, findings);
    checkPortNames(graph, kRoot, Side::Output, findings);
    for (int node : nodes) {
        QHash<QString, int>& names = siblings[graph.parentNode(node)];
        auto it = names.constFind(graph.nodeName(node));
        if (it == names.constEnd())
            names.insert(graph.nodeName(node), node);
        else
            findings.add(Severity::Note, node,
                         QStringLiteral("An earlier sibling has the same name, so by-name lookups"
                                        " and paths take that one."));
        checkPortNames(graph, node, Side::Input, findings);
        checkPortNames(graph, node, Side::Output, findings);

        if (!isGroup(node)) continue;
        for (int o = 0; o < graph.numOutputs(node); ++o) {
            if (graph.outputSource(node, o) < 0)
                findings.add(Severity::Warning, node, Side::Output, o,
                             QStringLiteral("Nothing inside the group feeds this output."));
        }
        for (int i = 0; i < graph.numInputs(node); ++i) {
            if (graph.numInputDestinations(node, i) == 0)
                findings.add(Severity::Warning, node, Side::Input, i,
                             QStringLiteral("This group input feeds no node inside the group."));
        }
    }
    checkProducerLoops(graph, nodes, isGroup, findings);
}

// The root ports beyond the parameters or outputs, or a count that fell short of them.
void checkRootPorts(const Graph& graph, Side side, int expected, Findings& findings) {
    const bool input = side == Side::Input;
    const int count = detail::numPorts(graph, kRoot, side);
    for (int p = expected; p < count; ++p)
        findings.add(Severity::Error, kRoot, side, p,
                     input ? QStringLiteral("This root input is not a parameter: it was added"
                                            " through getGraph(), so what it feeds gets defaults.")
                           : QStringLiteral("This root output is not a renderer output: it was"
                                            " added through getGraph(), so frames never fill it."));
    if (count < expected)
        findings.add(Severity::Error, kRoot,
                     QStringLiteral("The root has %1 %2 for %3 %4: a root port was removed through"
                                    " getGraph(), so the rest no longer line up.")
                         .arg(count)
                         .arg(input ? QStringLiteral("inputs") : QStringLiteral("outputs"))
                         .arg(expected)
                         .arg(input ? QStringLiteral("parameters") : QStringLiteral("outputs")));
}

// Where the node's ports no longer match its pass, as the JSON savers and loaders judge it.
void checkPassPorts(const Graph& graph, int node, const RenderPass& pass, Findings& findings) {
    for (const detail::PortMismatch& mismatch : detail::passPortMismatches(graph, node, pass)) {
        const QString plural =
            mismatch.side == Side::Input ? QStringLiteral("inputs") : QStringLiteral("outputs");
        switch (mismatch.kind) {
            case detail::PortMismatch::Count:
                findings.add(Severity::Error, node,
                             QStringLiteral("The node has %1 %2 but its pass %3.")
                                 .arg(detail::numPorts(graph, node, mismatch.side))
                                 .arg(plural)
                                 .arg(detail::passPorts(pass, mismatch.side)));
                break;
            case detail::PortMismatch::Name:
                findings.add(Severity::Error, node, mismatch.side, mismatch.port,
                             QStringLiteral("Its pass names this port ") +
                                 quoted(detail::passPortName(pass, mismatch.side, mismatch.port)) +
                                 QLatin1Char('.'));
                break;
            case detail::PortMismatch::Group:
                findings.add(Severity::Error, node, mismatch.side, mismatch.port,
                             QStringLiteral("This port is in a group, which a pass's ports never"
                                            " are."));
                break;
        }
    }
}

}  // namespace

QString Finding::toString() const {
    static const char* const kSeverities[] = {"error", "warning", "note"};
    QString where = path;
    if (where.isEmpty())
        where = node == kRoot ? QStringLiteral("root") : QStringLiteral("renderer");
    if (side != Finding::Side::None)
        where += (side == Finding::Side::Input ? QStringLiteral(" input ")
                                               : QStringLiteral(" output ")) +
                 quoted(portName);
    return QString::fromLatin1(kSeverities[int(severity)]) + QStringLiteral(": ") + where +
           QStringLiteral(": ") + message;
}

QVector<Finding> validate(const Graph& graph) {
    Findings findings(graph);
    checkGraph(
        graph, liveNodes(graph), [&graph](int node) { return graph.numNodes(node) > 0; }, findings);
    return findings.sorted();
}

QVector<Finding> validate(const Renderer& renderer) {
    const Graph& graph = *renderer.getGraph();
    Findings findings(graph);
    const QVector<int> nodes = liveNodes(graph);
    checkGraph(
        graph, nodes, [&renderer](int node) { return !renderer.renderPass(node); }, findings);

    checkRootPorts(graph, Side::Input, renderer.numParameters(), findings);
    checkRootPorts(graph, Side::Output, renderer.numOutputs(), findings);
    for (int o = 0; o < qMin(renderer.numOutputs(), graph.numOutputs(kRoot)); ++o) {
        if (graph.outputSource(kRoot, o) < 0)
            findings.add(Severity::Warning, kRoot, Side::Output, o,
                         QStringLiteral("Nothing feeds this output, so it keeps its value for"
                                        " ever."));
    }
    const int target = renderer.target();
    if (target != -1 && !graph.isValidNode(target))
        findings.add(Severity::Error, target,
                     QStringLiteral("The target, node ref %1, is not a live node.").arg(target));

    // The plan a frame would build, on the same pass table: the renderer keeps a pass index in
    // each pass node's value, so the table is rebuilt from the nodes (removed ones too, which a
    // frame may still reach).
    QVector<RenderPass*> passes;
    for (int n = 0; n < graph.numNodesGlobal(); ++n) {
        RenderPass* pass = renderer.renderPass(n);
        if (!pass) continue;
        const int index = graph.nodeValue(n);
        if (index >= passes.size()) passes.resize(index + 1);
        passes[index] = pass;
    }
    QVector<bool> cut;
    if (renderer.cullBehindDisabled()) {
        cut.fill(true, passes.size());
        for (int n = 0; n < graph.numNodesGlobal(); ++n) {
            if (renderer.renderPass(n)) cut[graph.nodeValue(n)] = renderer.enabled(n);
        }
    }
    detail::FramePlan plan;
    plan.build(graph, target, passes, renderer.numParameters(), renderer.numOutputs(),
               renderer.culling(), cut, detail::RendererAccess::data(renderer).historyInputs);

    for (int node : nodes) {
        const RenderPass* pass = renderer.renderPass(node);
        if (!pass) continue;
        checkPassPorts(graph, node, *pass, findings);
        if (!plan.isNeeded(node))
            findings.add(Severity::Warning, node,
                         QStringLiteral("No output or target needs this pass, so it never runs."));
    }
    // A pass that reads a pass scheduled after it gets that pass's output of the frame before.
    for (const detail::FramePlan::Step& step : plan.schedule()) {
        if (!graph.isValidNode(step.node)) continue;
        for (int i = 0; i < step.numInputs; ++i) {
            const detail::FramePlan::FeedStep& read = plan.feedSteps()[size_t(step.firstFeed + i)];
            // A history input reads the frame before because the host asked it to.
            if (!read.frameBefore || read.writer < 0 ||
                plan.feeds()[size_t(step.firstFeed + i)].history)
                continue;
            const int producer = plan.schedule()[size_t(read.writer)].node;
            const int port = plan.feeds()[size_t(step.firstFeed + i)].port;
            findings.add(Severity::Warning, step.node, Side::Input, i,
                         QStringLiteral("This input reads output %1 of %2 of the frame before:"
                                        " the two passes are in a loop through container ports,"
                                        " and this one runs first.")
                             .arg(quoted(graph.outputName(producer, port)),
                                  quoted(graph.nodePath(producer))));
        }
    }
    // Inputs the frame will leave to their defaults, as the plan traced them.
    for (const detail::FramePlan::Step& step : plan.schedule()) {
        if (!graph.isValidNode(step.node)) continue;
        for (int i = 0; i < step.numInputs; ++i) {
            if (plan.feeds()[size_t(step.firstFeed + i)].pass == detail::FramePlan::Feed::kDefault)
                findings.add(Severity::Note, step.node, Side::Input, i,
                             QStringLiteral("Nothing feeds this input, so the pass takes its"
                                            " default value."));
        }
    }
    return findings.sorted();
}

}  // namespace Orv
}  // namespace Vantrel
