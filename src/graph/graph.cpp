// Wiring by name: the checked adders, whose failed lookups write assertion lines naming this
// file, and the matching operations.
#include <Orv/Graph.h>

#include "graph/graph_p.h"
#include "platform/diagnostics_p.h"

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
// of candidates ends there whether or not `connect(candidate, port)` makes the edge.
template <typename SkipPort, typename SkipCandidate, typename Connect>
void connectMatching(const detail::GraphData& d, Ports ports, Ports candidates, SkipPort skipPort,
                     SkipCandidate skipCandidate, Connect connect) {
    const int numPorts = portCount(d, ports);
    for (int port = 0; port < numPorts; ++port) {
        if (skipPort(port)) continue;
        const QString name = portName(d, ports, port);
        const int numCandidates = portCount(d, candidates);
        for (int candidate = 0; candidate < numCandidates; ++candidate) {
            if (skipCandidate(candidate)) continue;
            if (portName(d, candidates, candidate) != name) continue;
            connect(candidate, port);
            break;
        }
    }
}

// True if the output feeds at least one edge and the first is not of `kind`.
bool firstDestinationIsNot(const detail::GraphData& d, int node, int output,
                           detail::EdgeKind kind) {
    const detail::PortRecord* p = d.port(node, detail::Side::Output, output);
    return p && !p->destinations.isEmpty() && d.edgeKind(p->destinations.first()) != kind;
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

void Graph::connectByName(int srcNode, int dstNode) {
    if (!isValidNode(srcNode) || !isValidNode(dstNode)) return;
    connectMatching(
        *d, Ports{dstNode, detail::Side::Input}, Ports{srcNode, detail::Side::Output},
        [&](int input) { return inputSource(dstNode, input) != kInvalidEdgeRef; },
        [&](int output) {
            return firstDestinationIsNot(*d, srcNode, output, detail::EdgeKind::Regular);
        },
        [&](int output, int input) { addEdge(srcNode, output, dstNode, input); });
}

void Graph::connectGroups(int srcNode, int srcGroup, int dstNode, int dstGroup) {
    if (!isValidNode(srcNode) || !isValidNode(dstNode)) return;
    connectMatching(
        *d, Ports{dstNode, detail::Side::Input}, Ports{srcNode, detail::Side::Output},
        [&](int input) {
            return inputGroup(dstNode, input) != dstGroup ||
                   inputSource(dstNode, input) != kInvalidEdgeRef;
        },
        [&](int output) {
            return outputGroup(srcNode, output) != srcGroup ||
                   firstDestinationIsNot(*d, srcNode, output, detail::EdgeKind::Regular);
        },
        [&](int output, int input) { addEdge(srcNode, output, dstNode, input); });
}

void Graph::connectNamedGroups(int srcNode, const QString& srcGroupName, int dstNode,
                               const QString& dstGroupName) {
    connectGroups(srcNode, findOutputGroup(srcNode, srcGroupName), dstNode,
                  findInputGroup(dstNode, dstGroupName));
}

void Graph::connectDownByName(int childNode) {
    const int parent = parentNode(childNode);
    if (!isValidNode(childNode) || !isValidNode(parent)) return;
    connectMatching(
        *d, Ports{childNode, detail::Side::Input}, Ports{parent, detail::Side::Input},
        [&](int input) { return inputSource(childNode, input) != kInvalidEdgeRef; },
        [](int) { return false; },
        [&](int parentInput, int input) { addDownEdge(parentInput, childNode, input); });
}

void Graph::connectUpByName(int childNode) {
    const int parent = parentNode(childNode);
    if (!isValidNode(childNode) || !isValidNode(parent)) return;
    connectMatching(
        *d, Ports{childNode, detail::Side::Output}, Ports{parent, detail::Side::Output},
        [&](int output) { return outputSource(childNode, output) != kInvalidEdgeRef; },
        [&](int output) { return firstDestinationIsNot(*d, parent, output, detail::EdgeKind::Up); },
        [&](int parentOutput, int output) { addUpEdge(parentOutput, childNode, output); });
}

}  // namespace Orv
}  // namespace Vantrel
