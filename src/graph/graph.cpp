// Wiring by name: the checked adders, whose failed lookups write assertion lines naming this
// file, and the matching operations.
#include <Orv/Graph.h>

#include "graph/graph_p.h"
#include "graph/refusal_p.h"
#include "platform/diagnostics_p.h"

#include <optional>

namespace Vantrel {
namespace Orv {

namespace {

// The ports on one side of one node, as a name match reads them.
struct Ports {
    int node;
    detail::Side side;
};

int portCount(const detail::GraphData& d, Ports ports) {
    const detail::NodeRecord* n = d.node(ports.node);
    return n ? n->list<detail::PortRecord>(ports.side).size() : 0;
}

QString portName(const detail::GraphData& d, Ports ports, int index) {
    const detail::PortRecord* p = d.port(ports.node, ports.side, index);
    return p ? p->name : QString();
}

// The scheme shared by the matching operations: each port of `ports` that is not skipped is
// offered to the first like-named candidate of `candidates` that is not skipped, and the scan
// of candidates ends there whether or not `connect(candidate, port)` makes the edge. Returns how
// many edges were made; `matched` counts the ports that found a candidate.
template <typename SkipPort, typename SkipCandidate, typename Connect>
int connectMatching(const detail::GraphData& d, Ports ports, Ports candidates, SkipPort skipPort,
                    SkipCandidate skipCandidate, Connect connect, int* matched) {
    int made = 0;
    const int numPorts = portCount(d, ports);
    for (int port = 0; port < numPorts; ++port) {
        if (skipPort(port)) continue;
        const QString name = portName(d, ports, port);
        const int numCandidates = portCount(d, candidates);
        for (int candidate = 0; candidate < numCandidates; ++candidate) {
            if (skipCandidate(candidate)) continue;
            if (portName(d, candidates, candidate) != name) continue;
            ++*matched;
            if (connect(candidate, port) >= 0) ++made;
            break;
        }
    }
    return made;
}

// Collects a matching operation's reasons: one line per refused match, or, when no port found
// a candidate at all, a line that says so.
class Reasons {
public:
    explicit Reasons(QString* why) : _why(why) {
        if (_why) _why->clear();
    }
    bool wanted() const { return _why != nullptr; }
    // A refused edge into (or out of) `port`; `reason` is the adder's.
    void refused(const QString& port, const QString& reason) {
        add(port + QStringLiteral(": ") + reason);
    }
    void add(const QString& line) {
        if (!_why) return;
        if (!_why->isEmpty()) _why->append(QLatin1Char('\n'));
        _why->append(line);
    }
    // `noMatch` is worked out only when it is needed.
    template <typename Text>
    int finish(int made, int matched, Text noMatch) {
        if (_why && matched == 0) add(noMatch());
        return made;
    }

private:
    QString* _why;
};

// Whether `child` is a live node under a live parent, as an edge to its parent needs; says
// why not.
bool hasParent(const Graph& graph, int child, Reasons& reasons) {
    if (graph.isValidNode(child) && graph.isValidNode(graph.parentNode(child))) return true;
    reasons.add(child == Graph::kRootNodeRef ? QStringLiteral("the root has no parent")
                                             : detail::describeNode(graph, child));
    return false;
}

void setWhy(QString* why, const QString& text) {
    if (why) *why = text;
}

// "input group 'g' of node 'b'", or "node 'b'" for the ports in no group.
QString groupPlace(const Graph& graph, int node, detail::Side side, int group) {
    if (group == Graph::kInvalidGroupRef) return detail::describeNode(graph, node);
    const QString name = side == detail::Side::Input ? graph.inputGroupName(node, group)
                                                     : graph.outputGroupName(node, group);
    return QLatin1String(detail::sideName(side)) + QStringLiteral(" group ") +
           detail::quoted(name) + QStringLiteral(" of ") + detail::describeNode(graph, node);
}

// True if the output feeds at least one edge and the first is not of `kind`.
bool firstDestinationIsNot(const detail::GraphData& d, int node, int output,
                           detail::EdgeKind kind) {
    const detail::PortRecord* p = d.port(node, detail::Side::Output, output);
    return p && !p->destinations.isEmpty() && d.edgeKind(p->destinations.first()) != kind;
}

// addDownEdgeByName (inputs) and addUpEdgeByName (outputs) with a reason, silent.
int addLevelEdgeByName(Graph& graph, detail::Side side, const QString& parentName, int childNode,
                       const QString& childName, QString* why) {
    if (!graph.isValidNode(childNode) || childNode == Graph::kRootNodeRef) {
        setWhy(why, childNode == Graph::kRootNodeRef ? QStringLiteral("the root has no parent")
                                                     : detail::describeNode(graph, childNode));
        return Graph::kInvalidEdgeRef;
    }
    const int parent = graph.parentNode(childNode);
    const QString missingChild = detail::namedPortRefusal(graph, childNode, side, childName);
    const QString missingParent = detail::namedPortRefusal(graph, parent, side, parentName);
    if (!missingChild.isEmpty() || !missingParent.isEmpty()) {
        setWhy(why, missingChild.isEmpty() || missingParent.isEmpty()
                        ? QString(missingChild + missingParent)
                        : QString(missingChild + QStringLiteral("; ") + missingParent));
        return Graph::kInvalidEdgeRef;
    }
    if (side == detail::Side::Input)
        return graph.addDownEdge(graph.findInput(parent, parentName), childNode,
                                 graph.findInput(childNode, childName), why);
    return graph.addUpEdge(graph.findOutput(parent, parentName), childNode,
                           graph.findOutput(childNode, childName), why);
}

// The output group and input group that connectGroups limits itself to.
struct Groups {
    int src;
    int dst;
};

// connectByName without groups (every port), connectGroups with them.
int connectSiblings(Graph& graph, const detail::GraphData& d, std::optional<Groups> groups,
                    int srcNode, int dstNode, QString* why) {
    Reasons reasons(why);
    if (!graph.isValidNode(srcNode) || !graph.isValidNode(dstNode)) {
        reasons.add(detail::describeNode(graph, graph.isValidNode(srcNode) ? dstNode : srcNode));
        return 0;
    }
    const bool all = !groups;
    int matched = 0;
    const int made = connectMatching(
        d, Ports{dstNode, detail::Side::Input}, Ports{srcNode, detail::Side::Output},
        [&](int input) {
            return (!all && graph.inputGroup(dstNode, input) != groups->dst) ||
                   graph.inputSource(dstNode, input) != Graph::kInvalidEdgeRef;
        },
        [&](int output) {
            return (!all && graph.outputGroup(srcNode, output) != groups->src) ||
                   firstDestinationIsNot(d, srcNode, output, detail::EdgeKind::Regular);
        },
        [&](int output, int input) {
            const int edge = graph.addEdge(srcNode, output, dstNode, input);
            if (edge < 0 && reasons.wanted())
                reasons.refused(detail::describePort(graph, dstNode, detail::Side::Input, input),
                                detail::edgeRefusal(graph, srcNode, output, dstNode, input));
            return edge;
        },
        &matched);
    return reasons.finish(made, matched, [&]() -> QString {
        return QStringLiteral("no free input of ") +
               (all ? detail::describeNode(graph, dstNode)
                    : groupPlace(graph, dstNode, detail::Side::Input, groups->dst)) +
               QStringLiteral(" is named like an output of ") +
               (all ? detail::describeNode(graph, srcNode)
                    : groupPlace(graph, srcNode, detail::Side::Output, groups->src)) +
               QStringLiteral(" that feeds no parent's output");
    });
}

}  // namespace

int Graph::addEdgeByName(int srcNode, const QString& srcOutputName, int dstNode,
                         const QString& dstInputName) {
    const bool sourceFound = ORV_SOFT_ASSERT(
        isValidOutput(srcNode, findOutput(srcNode, srcOutputName)),
        QString::asprintf("Source output '%s' is not valid", qUtf8Printable(srcOutputName)));
    const bool destFound = ORV_SOFT_ASSERT(
        isValidInput(dstNode, findInput(dstNode, dstInputName)),
        QString::asprintf("Dest input '%s' is not valid", qUtf8Printable(dstInputName)));
    if (!sourceFound || !destFound) return kInvalidEdgeRef;
    return addEdge(srcNode, findOutput(srcNode, srcOutputName), dstNode,
                   findInput(dstNode, dstInputName));
}

int Graph::addDownEdgeByName(const QString& parentInputName, int childNode,
                             const QString& childInputName) {
    const QString names = QString::asprintf(
        "Parent '%s' Child '%s'", qUtf8Printable(parentInputName), qUtf8Printable(childInputName));
    // The checks hold up on any childNode: the queries answer -1 or false outside the table.
    const bool childFound = ORV_SOFT_ASSERT(isValidNode(childNode), names);
    const bool childInputFound =
        ORV_SOFT_ASSERT(isValidInput(childNode, findInput(childNode, childInputName)), names);
    const bool parentInputFound = ORV_SOFT_ASSERT(
        isValidInput(parentNode(childNode), findInput(parentNode(childNode), parentInputName)),
        names);
    if (!childFound || !childInputFound || !parentInputFound) return kInvalidEdgeRef;
    return addDownEdge(findInput(parentNode(childNode), parentInputName), childNode,
                       findInput(childNode, childInputName));
}

int Graph::addUpEdgeByName(const QString& parentOutputName, int childNode,
                           const QString& childOutputName) {
    // Unchecked by design: a name that is not found gives -1, which addUpEdge() refuses
    // silently, as it does a childNode outside the table or without a parent.
    const int parent = parentNode(childNode);
    return addUpEdge(findOutput(parent, parentOutputName), childNode,
                     findOutput(childNode, childOutputName));
}

int Graph::addEdgeByName(int srcNode, const QString& srcOutputName, int dstNode,
                         const QString& dstInputName, QString* why) {
    const QString missingOutput =
        detail::namedPortRefusal(*this, srcNode, detail::Side::Output, srcOutputName);
    const QString missingInput =
        detail::namedPortRefusal(*this, dstNode, detail::Side::Input, dstInputName);
    if (!missingOutput.isEmpty() || !missingInput.isEmpty()) {
        setWhy(why, missingOutput.isEmpty() || missingInput.isEmpty()
                        ? QString(missingOutput + missingInput)
                        : QString(missingOutput + QStringLiteral("; ") + missingInput));
        return kInvalidEdgeRef;
    }
    return addEdge(srcNode, findOutput(srcNode, srcOutputName), dstNode,
                   findInput(dstNode, dstInputName), why);
}

int Graph::addDownEdgeByName(const QString& parentInputName, int childNode,
                             const QString& childInputName, QString* why) {
    return addLevelEdgeByName(*this, detail::Side::Input, parentInputName, childNode,
                              childInputName, why);
}

int Graph::addUpEdgeByName(const QString& parentOutputName, int childNode,
                           const QString& childOutputName, QString* why) {
    return addLevelEdgeByName(*this, detail::Side::Output, parentOutputName, childNode,
                              childOutputName, why);
}

void Graph::connectByName(int srcNode, int dstNode) {
    connectByName(srcNode, dstNode, nullptr);
}

int Graph::connectByName(int srcNode, int dstNode, QString* why) {
    return connectSiblings(*this, *d, std::nullopt, srcNode, dstNode, why);
}

void Graph::connectGroups(int srcNode, int srcGroup, int dstNode, int dstGroup) {
    connectGroups(srcNode, srcGroup, dstNode, dstGroup, nullptr);
}

int Graph::connectGroups(int srcNode, int srcGroup, int dstNode, int dstGroup, QString* why) {
    return connectSiblings(*this, *d, Groups{srcGroup, dstGroup}, srcNode, dstNode, why);
}

void Graph::connectNamedGroups(int srcNode, const QString& srcGroupName, int dstNode,
                               const QString& dstGroupName) {
    connectGroups(srcNode, findOutputGroup(srcNode, srcGroupName), dstNode,
                  findInputGroup(dstNode, dstGroupName));
}

int Graph::connectNamedGroups(int srcNode, const QString& srcGroupName, int dstNode,
                              const QString& dstGroupName, QString* why) {
    return connectGroups(srcNode, findOutputGroup(srcNode, srcGroupName), dstNode,
                         findInputGroup(dstNode, dstGroupName), why);
}

void Graph::connectDownByName(int childNode) {
    connectDownByName(childNode, nullptr);
}

int Graph::connectDownByName(int childNode, QString* why) {
    Reasons reasons(why);
    if (!hasParent(*this, childNode, reasons)) return 0;
    const int parent = parentNode(childNode);
    int matched = 0;
    const int made = connectMatching(
        *d, Ports{childNode, detail::Side::Input}, Ports{parent, detail::Side::Input},
        [&](int input) { return inputSource(childNode, input) != kInvalidEdgeRef; },
        [](int) { return false; },
        [&](int parentInput, int input) { return addDownEdge(parentInput, childNode, input); },
        &matched);
    // A down edge is refused only for a fed child input, which the scan skips: no refusals.
    return reasons.finish(made, matched, [&]() -> QString {
        return QStringLiteral("no free input of ") + detail::describeNode(*this, childNode) +
               QStringLiteral(" is named like an input of ") + detail::describeNode(*this, parent);
    });
}

void Graph::connectUpByName(int childNode) {
    connectUpByName(childNode, nullptr);
}

int Graph::connectUpByName(int childNode, QString* why) {
    Reasons reasons(why);
    if (!hasParent(*this, childNode, reasons)) return 0;
    const int parent = parentNode(childNode);
    int matched = 0;
    const int made = connectMatching(
        *d, Ports{childNode, detail::Side::Output}, Ports{parent, detail::Side::Output},
        [&](int output) { return outputSource(childNode, output) != kInvalidEdgeRef; },
        [&](int output) { return firstDestinationIsNot(*d, parent, output, detail::EdgeKind::Up); },
        [&](int parentOutput, int output) {
            const int edge = addUpEdge(parentOutput, childNode, output);
            if (edge < 0 && reasons.wanted())
                reasons.refused(
                    detail::describePort(*this, childNode, detail::Side::Output, output),
                    detail::upEdgeRefusal(*this, parentOutput, childNode, output));
            return edge;
        },
        &matched);
    return reasons.finish(made, matched, [&]() -> QString {
        return QStringLiteral("no unfed output of ") + detail::describeNode(*this, childNode) +
               QStringLiteral(" is named like an output of ") +
               detail::describeNode(*this, parent) + QStringLiteral(" that feeds no sibling");
    });
}

}  // namespace Orv
}  // namespace Vantrel
