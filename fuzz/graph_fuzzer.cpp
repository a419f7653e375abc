// Decodes its input into a sequence of Graph calls with any argument values (valid, removed,
// out of range, negative, extreme). After each call it checks what is cheap: the call's own
// result, that a refused edit added no record, that only the operations allowed to write
// messages wrote any, and that walks end. Every kFullCheckEvery-th call, and after the last, it
// also checks the graph's invariants and, for a refused or read-only call, that the graph is
// exactly as before. A full check reads the whole graph; after every call it would cost a graph's
// size per call and leave little time for exploring. A corrupt table stays corrupt, so the next
// full check still catches it, and libFuzzer soon finds an input that puts the faulty call on a
// fully checked step. AddressSanitizer and LeakSanitizer catch crashes and leaks.
#include <Orv/Graph.h>
#include <Orv/Walkers.h>

#include "graph_invariants.h"

#include "fuzz_input.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

using Vantrel::Orv::BottomUpInputWalker;
using Vantrel::Orv::BottomUpSubgraphWalker;
using Vantrel::Orv::BreadthFirstInputWalker;
using Vantrel::Orv::Graph;

namespace {

int g_criticalLines = 0;
int g_debugLines = 0;
int g_otherLines = 0;

void countMessage(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type == QtCriticalMsg)
        ++g_criticalLines;
    else if (type == QtDebugMsg)
        ++g_debugLines;
    else
        ++g_otherLines;
}

[[noreturn]] void fail(const char* op, const QString& what) {
    std::fprintf(stderr, "graph_fuzzer: after %s: %s\n", op, qPrintable(what));
    std::abort();
}

// Argument values: mostly near the table or list they index, sometimes far outside it.
class Args {
public:
    explicit Args(FuzzInput& data) : _data(data) {}

    int index(int size) {
        const uint8_t pick = _data.byte();
        if (pick < 224) return _data.intInRange(-2, size + 1);
        static const int kFar[] = {INT_MIN, INT_MIN + 1, -1000, INT_MAX - 1, INT_MAX, 1 << 20};
        return kFar[pick % (sizeof(kFar) / sizeof(kFar[0]))];
    }
    // A port count for addNode: negative ones included, huge ones not, since asking for
    // INT_MAX ports is a failed allocation, which the library lets propagate by design.
    int count() {
        const uint8_t pick = _data.byte();
        return pick < 248 ? _data.intInRange(-2, 4) : INT_MIN + pick % 2;
    }
    int node(const Graph& g) { return index(g.numNodesGlobal()); }
    int edge(const Graph& g) { return index(g.numEdgesGlobal()); }
    int input(const Graph& g, int node) { return index(g.numInputs(node)); }
    int output(const Graph& g, int node) { return index(g.numOutputs(node)); }
    int inputGroup(const Graph& g, int node) { return index(g.numInputGroups(node)); }
    int outputGroup(const Graph& g, int node) { return index(g.numOutputGroups(node)); }
    bool flag() { return _data.flag(); }

    // Few distinct names, so that lookups and name matching find each other.
    QString name() {
        static const char* const kNames[] = {"", "a", "b", "c", "in0", "in1", "out0", "g0", "é%s"};
        const uint8_t pick = _data.byte();
        if (pick < 240)
            return QString::fromUtf8(kNames[pick % (sizeof(kNames) / sizeof(kNames[0]))]);
        return QString::fromUtf8(_data.bytes(8));
    }

private:
    FuzzInput& _data;
};

// A walk visits each node at most once, so it must end within the node table's size.
template <typename Walker>
void checkWalk(const char* op, const Graph& g, Walker&& walker) {
    QVector<bool> seen(g.numNodesGlobal(), false);
    int steps = 0;
    for (; walker.valid(); walker.next()) {
        const int n = walker.node();
        if (n < 0 || n >= seen.size()) fail(op, QStringLiteral("walker gave node %1").arg(n));
        if (seen[n]) fail(op, QStringLiteral("walker visited node %1 twice").arg(n));
        seen[n] = true;
        if (++steps > g.numNodesGlobal()) fail(op, QStringLiteral("walker does not end"));
    }
    walker.next();
    if (walker.valid() || walker.node() != Graph::kInvalidNodeRef)
        fail(op, QStringLiteral("walker came back to life after its end"));
}

// Checks a cursor walk: on false the cursor is left as it was.
void checkCursorWalk(const char* op, bool moved, int node, int port, int node0, int port0) {
    if (!moved && (node != node0 || port != port0))
        fail(op, QStringLiteral("refused walk moved the cursor from (%1,%2) to (%3,%4)")
                     .arg(node0)
                     .arg(port0)
                     .arg(node)
                     .arg(port));
}

enum Op : uint8_t {
    kAddNode,
    kAddInput,
    kAddOutput,
    kAddInputGroup,
    kAddOutputGroup,
    kAddEdge,
    kAddDownEdge,
    kAddUpEdge,
    kRemoveEdge,
    kDisconnectInput,
    kDisconnectInputGroup,
    kAddEdgeByName,
    kAddDownEdgeByName,
    kAddUpEdgeByName,
    kConnectByName,
    kConnectGroups,
    kConnectNamedGroups,
    kConnectDownByName,
    kConnectUpByName,
    kRemoveNode,
    kRemoveInput,
    kRemoveOutput,
    kRemoveInputGroup,
    kRemoveOutputGroup,
    kPurge,
    kSetNames,
    kSetNodeValue,
    kQueries,
    kFinds,
    kWalks,
    kWalkers,
    kDump,
    kCopy,
    kMove,
    kOpCount
};

const char* const kOpNames[kOpCount] = {"addNode",
                                        "addInput",
                                        "addOutput",
                                        "addInputGroup",
                                        "addOutputGroup",
                                        "addEdge",
                                        "addDownEdge",
                                        "addUpEdge",
                                        "removeEdge",
                                        "disconnectInput",
                                        "disconnectInputGroup",
                                        "addEdgeByName",
                                        "addDownEdgeByName",
                                        "addUpEdgeByName",
                                        "connectByName",
                                        "connectGroups",
                                        "connectNamedGroups",
                                        "connectDownByName",
                                        "connectUpByName",
                                        "removeNode",
                                        "removeInput",
                                        "removeOutput",
                                        "removeInputGroup",
                                        "removeOutputGroup",
                                        "purge",
                                        "set*Name",
                                        "setNodeValue",
                                        "queries",
                                        "finds",
                                        "walks",
                                        "walkers",
                                        "dumpAsGraphviz",
                                        "copy",
                                        "move"};

// Runs one call; returns whether the call may have changed the graph although it was refused
// or its arguments were invalid (false means: the graph must be exactly as before). Copies and
// moves are compared in full only on a fully checked step (`full`).
bool runOp(Op op, Graph& g, Args& args, bool full) {
    switch (op) {
        case kAddNode: {
            const int parent = args.node(g);
            const int inputs = args.count(), outputs = args.count();
            const int node = g.addNode(args.name(), inputs, outputs, parent);
            if (node != -1 && (!g.isValidNode(node) || g.parentNode(node) != parent))
                fail("addNode", QStringLiteral("returned %1, not a live child").arg(node));
            return node != -1;
        }
        case kAddInput: {
            const int node = args.node(g);
            const int input = g.addInput(node, args.name(), args.inputGroup(g, node));
            if (input != -1 && !g.isValidInput(node, input)) fail("addInput", "bad result");
            return input != -1;
        }
        case kAddOutput: {
            const int node = args.node(g);
            const int output = g.addOutput(node, args.name(), args.outputGroup(g, node));
            if (output != -1 && !g.isValidOutput(node, output)) fail("addOutput", "bad result");
            return output != -1;
        }
        case kAddInputGroup: {
            const int node = args.node(g);
            const int group = g.addInputGroup(node, args.name());
            if (group != -1 && !g.isValidInputGroup(node, group))
                fail("addInputGroup", "bad result");
            return group != -1;
        }
        case kAddOutputGroup: {
            const int node = args.node(g);
            const int group = g.addOutputGroup(node, args.name());
            if (group != -1 && !g.isValidOutputGroup(node, group))
                fail("addOutputGroup", "bad result");
            return group != -1;
        }
        case kAddEdge: {
            const int src = args.node(g), srcOutput = args.output(g, src);
            const int dst = args.node(g), dstInput = args.input(g, dst);
            const int edge = g.addEdge(src, srcOutput, dst, dstInput);
            if (edge != -1 && (!g.isRegularEdge(edge) || g.inputSource(dst, dstInput) != edge))
                fail("addEdge", "the new edge is not a regular edge into its input");
            return edge != -1;
        }
        case kAddDownEdge: {
            const int child = args.node(g);
            const int parentInput = args.input(g, g.parentNode(child));
            const int edge = g.addDownEdge(parentInput, child, args.input(g, child));
            if (edge != -1 && !g.isDownEdge(edge)) fail("addDownEdge", "the new edge is not down");
            return edge != -1;
        }
        case kAddUpEdge: {
            const int child = args.node(g);
            const int parentOutput = args.output(g, g.parentNode(child));
            const int edge = g.addUpEdge(parentOutput, child, args.output(g, child));
            if (edge != -1 && !g.isUpEdge(edge)) fail("addUpEdge", "the new edge is not up");
            return edge != -1;
        }
        case kRemoveEdge: {
            const int edge = args.edge(g);
            const bool valid = g.isValidEdge(edge);
            g.removeEdge(edge);
            if (g.isValidEdge(edge)) fail("removeEdge", "the edge is still valid");
            return valid;
        }
        case kDisconnectInput: {
            const int node = args.node(g), input = args.input(g, node);
            const bool valid = g.isValidInput(node, input);
            g.disconnectInput(node, input);
            if (g.inputSource(node, input) != -1 || g.numInputDestinations(node, input) != 0)
                fail("disconnectInput", "the input still carries edges");
            return valid;
        }
        case kDisconnectInputGroup: {
            const int node = args.node(g);
            g.disconnectInputGroup(node, args.inputGroup(g, node));
            return g.isValidNode(node);
        }
        case kAddEdgeByName: {
            const int src = args.node(g), dst = args.node(g);
            const QString out = args.name(), in = args.name();
            return g.addEdgeByName(src, out, dst, in) != -1;
        }
        case kAddDownEdgeByName: {
            const int child = args.node(g);
            const QString parentInput = args.name(), childInput = args.name();
            return g.addDownEdgeByName(parentInput, child, childInput) != -1;
        }
        case kAddUpEdgeByName: {
            const int child = args.node(g);
            const QString parentOutput = args.name(), childOutput = args.name();
            return g.addUpEdgeByName(parentOutput, child, childOutput) != -1;
        }
        case kConnectByName: {
            const int src = args.node(g), dst = args.node(g);
            g.connectByName(src, dst);
            return true;
        }
        case kConnectGroups: {
            const int src = args.node(g), srcGroup = args.outputGroup(g, src);
            const int dst = args.node(g), dstGroup = args.inputGroup(g, dst);
            g.connectGroups(src, srcGroup, dst, dstGroup);
            return true;
        }
        case kConnectNamedGroups: {
            const int src = args.node(g), dst = args.node(g);
            const QString srcGroup = args.name(), dstGroup = args.name();
            g.connectNamedGroups(src, srcGroup, dst, dstGroup);
            return true;
        }
        case kConnectDownByName:
            g.connectDownByName(args.node(g));
            return true;
        case kConnectUpByName:
            g.connectUpByName(args.node(g));
            return true;
        case kRemoveNode: {
            const int node = args.node(g);
            const bool valid = g.isValidNode(node);
            g.removeNode(node);
            if (node != Graph::kRootNodeRef && g.isValidNode(node))
                fail("removeNode", "the node is still valid");
            return valid;
        }
        case kRemoveInput: {
            const int node = args.node(g), input = args.input(g, node);
            const bool valid = g.isValidInput(node, input);
            g.removeInput(node, input);
            return valid;
        }
        case kRemoveOutput: {
            const int node = args.node(g), output = args.output(g, node);
            const bool valid = g.isValidOutput(node, output);
            g.removeOutput(node, output);
            return valid;
        }
        case kRemoveInputGroup: {
            const int node = args.node(g), group = args.inputGroup(g, node);
            const bool valid = g.isValidInputGroup(node, group);
            g.removeInputGroup(node, group);
            return valid;
        }
        case kRemoveOutputGroup: {
            const int node = args.node(g), group = args.outputGroup(g, node);
            const bool valid = g.isValidOutputGroup(node, group);
            g.removeOutputGroup(node, group);
            return valid;
        }
        case kPurge: {
            g.purge();
            for (int n = 0; n < g.numNodesGlobal(); ++n) {
                if (!g.isValidNode(n)) fail("purge", QStringLiteral("removed node %1 kept").arg(n));
            }
            for (int e = 0; e < g.numEdgesGlobal(); ++e) {
                if (!g.isValidEdge(e)) fail("purge", QStringLiteral("removed edge %1 kept").arg(e));
            }
            return true;
        }
        case kSetNames: {
            const int node = args.node(g);
            const bool valid = g.isValidNode(node);
            const int input = args.input(g, node), output = args.output(g, node);
            const int inGroup = args.inputGroup(g, node), outGroup = args.outputGroup(g, node);
            const QString name = args.name();
            g.setNodeName(node, name);
            g.setInputName(node, input, name);
            g.setOutputName(node, output, name);
            g.setInputGroupName(node, inGroup, name);
            g.setOutputGroupName(node, outGroup, name);
            if (valid && g.nodeName(node) != name) fail("setNodeName", "name not set");
            return valid;
        }
        case kSetNodeValue: {
            const int node = args.node(g);
            const int value = args.index(100);
            g.setNodeValue(node, value);
            if (g.isValidNode(node) && g.nodeValue(node) != value) fail("setNodeValue", "not set");
            return g.isValidNode(node);
        }
        case kQueries: {
            // Every reader, with any arguments; only their not crashing is checked here, as the
            // invariant checker reads them all with valid ones.
            const int node = args.node(g), index = args.index(4), port = args.index(3);
            (void)g.getNodeGlobal(index);
            (void)g.getEdgeGlobal(index);
            (void)g.getNode(index, node);
            (void)g.isValidInputDestination(node, port, index);
            (void)g.isValidOutputDestination(node, port, index);
            (void)g.inputDestination(node, port, index);
            (void)g.outputDestination(node, port, index);
            (void)g.inputSource(node, port);
            (void)g.outputSource(node, port);
            (void)g.inputGroup(node, port);
            (void)g.outputGroup(node, port);
            (void)g.inputName(node, port);
            (void)g.outputName(node, port);
            (void)g.inputGroupName(node, port);
            (void)g.outputGroupName(node, port);
            (void)g.numNodes(node);
            (void)g.nodeName(node);
            (void)g.indexOfNode(node);
            const int edge = args.edge(g);
            (void)g.isRegularEdge(edge);
            (void)g.isDownEdge(edge);
            (void)g.isUpEdge(edge);
            (void)g.edgeSourceNode(edge);
            (void)g.edgeSourceIndex(edge);
            (void)g.edgeDestNode(edge);
            (void)g.edgeDestIndex(edge);
            const int other = args.node(g);
            const bool through = args.flag();
            if (g.isValidNode(node) && !g.precedes(node, node, through))
                fail("precedes", "a live node does not precede itself");
            // Among siblings precedence is acyclic; through container ports a parent and its
            // child may precede each other.
            if (node != other && g.precedes(node, other, false) && g.precedes(other, node, false))
                fail("precedes", QStringLiteral("cycle between %1 and %2").arg(node).arg(other));
            (void)g.contains(node, other);
            if (g.contains(node, node)) fail("contains", "a node contains itself");
            return false;
        }
        case kFinds: {
            const int node = args.node(g);
            const QString name = args.name();
            const int found[] = {g.findNode(name, node), g.findInput(node, name),
                                 g.findOutput(node, name), g.findInputGroup(node, name),
                                 g.findOutputGroup(node, name)};
            if (found[1] != -1 && g.inputName(node, found[1]) != name)
                fail("findInput", "wrong port");
            if (found[2] != -1 && g.outputName(node, found[2]) != name)
                fail("findOutput", "wrong port");
            return false;
        }
        case kWalks: {
            const int node0 = args.node(g), port0 = args.index(3);
            int node = node0, port = port0;
            checkCursorWalk("walkUp", g.walkUp(node, port), node, port, node0, port0);
            node = node0, port = port0;
            checkCursorWalk("walkAcross", g.walkAcross(node, port), node, port, node0, port0);
            node = node0, port = port0;
            checkCursorWalk("walkDown", g.walkDown(node, port), node, port, node0, port0);
            node = node0, port = port0;
            if (g.walkToSourceNode(node, port) && !g.isValidOutput(node, port))
                fail("walkToSourceNode", "ended on something that is not an output");
            return false;
        }
        case kWalkers: {
            const int node = args.node(g);
            const bool through = args.flag();
            checkWalk("BottomUpInputWalker", g, BottomUpInputWalker(g, node, through));
            checkWalk("BreadthFirstInputWalker", g, BreadthFirstInputWalker(g, node, through));
            checkWalk("BottomUpSubgraphWalker", g, BottomUpSubgraphWalker(g, node));
            return false;
        }
        case kDump:
            Vantrel::Orv::dumpAsGraphviz(&g);
            return false;
        case kCopy: {
            const Graph copy(g);
            Graph assigned;
            assigned = copy;
            if (!full) return false;
            const QStringList original = graphSnapshot(g);
            if (graphSnapshot(copy) != original) fail("copy", "the copy differs");
            if (graphSnapshot(assigned) != original) fail("copy assignment", "the copy differs");
            return false;
        }
        case kMove: {
            const QStringList before = full ? graphSnapshot(g) : QStringList();
            Graph moved(std::move(g));
            if (!full) {
                g = std::move(moved);
                return false;
            }
            if (graphSnapshot(moved) != before) fail("move", "the moved graph differs");
            if (graphSnapshot(g) != graphSnapshot(Graph()))
                fail("move", "the moved-from graph is not new");
            g = std::move(moved);
            if (graphSnapshot(g) != before) fail("move assignment", "the graph differs");
            return false;
        }
        case kOpCount:
            break;
    }
    return false;
}

}  // namespace

const int kFullCheckEvery = 64;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const QtMessageHandler previous = qInstallMessageHandler(countMessage);
    (void)previous;

    FuzzInput data(bytes, size);
    Args args(data);
    Graph graph;
    // Bounded so that one input stays quick: the graph grows by at most one node per call, and
    // several operations read all of it.
    const int kMaxSteps = 128;
    for (int step = 0; step < kMaxSteps && !data.empty(); ++step) {
        const Op op = Op(data.intInRange(0, kOpCount - 1));
        const bool full = step % kFullCheckEvery == kFullCheckEvery - 1;
        // A copy shares the tables until one side writes, so keeping one costs next to nothing;
        // it is read only if the call must have left the graph as it was.
        std::optional<Graph> before;
        if (full) before.emplace(graph);
        const int numNodes = graph.numNodesGlobal(), numEdges = graph.numEdgesGlobal();
        g_criticalLines = g_debugLines = g_otherLines = 0;

        const bool mayChange = runOp(op, graph, args, full);

        const char* name = kOpNames[op];
        if (!mayChange &&
            (graph.numNodesGlobal() != numNodes || graph.numEdgesGlobal() != numEdges ||
             (full && graphSnapshot(graph) != graphSnapshot(*before))))
            fail(name, QStringLiteral("a refused or read-only call changed the graph"));
        const bool mayAssert = op == kAddEdgeByName || op == kAddDownEdgeByName;
        if ((g_criticalLines && !mayAssert) || (g_debugLines && op != kDump) || g_otherLines)
            fail(name, QStringLiteral("wrote %1 critical, %2 debug, %3 other lines")
                           .arg(g_criticalLines)
                           .arg(g_debugLines)
                           .arg(g_otherLines));
        const bool last = step == kMaxSteps - 1 || data.empty();
        if (!full && !last) continue;
        const ::testing::AssertionResult invariants = checkGraphInvariants(graph);
        if (!invariants) fail(name, QString::fromUtf8(invariants.message()));
    }
    // Every live node is found again by its path (the first of equal paths), and any graph
    // can be drawn.
    for (int node = 0; node < graph.numNodesGlobal(); ++node) {
        if (!graph.isValidNode(node)) continue;
        const QString path = graph.nodePath(node);
        if (graph.nodePath(graph.findNodeByPath(path)) != path)
            fail("nodePath",
                 QStringLiteral("node %1's path '%2' leads elsewhere").arg(node).arg(path));
    }
    if (!graphAsDot(graph).endsWith("}\n")) fail("graphAsDot", QStringLiteral("unfinished text"));
    return 0;
}
