// Decodes its input into a sequence of Graph calls with any argument values (valid, removed,
// out of range, negative, extreme). After each call it checks what is cheap and local to the
// call: its own result (an adder appends what it was asked for, a new edge joins the ports asked
// for, a removed record stays readable, a setter renames its own target only, a by-name adder
// writes one line per failed lookup), that readers answer the neutral value for what names
// nothing, that a refused edit added no record, that only the operations allowed to write
// messages wrote any, and that walks end. These checks format no text unless they fail. Every
// kFullCheckEvery-th call, and after the last, it also checks the graph's invariants and, for a
// refused or read-only call, that the graph is exactly as before. A full check reads the whole
// graph; after every call it would cost a graph's size per call and leave little time for
// exploring. A corrupt table stays corrupt, so the next full check still catches it, and
// libFuzzer soon finds an input that puts the faulty call on a fully checked step.
// AddressSanitizer and LeakSanitizer catch crashes and leaks. The fuzz build is optimised
// (cmake/OrvSanitize.cmake): unoptimised, the coverage hooks of Qt's small inline accessors and
// libFuzzer's bookkeeping of the edges they add took most of each input's time.
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
#include <vector>

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
        static const QString kNames[] = {
            QStringLiteral(""),     QStringLiteral("a"),   QStringLiteral("b"),
            QStringLiteral("c"),    QStringLiteral("in0"), QStringLiteral("in1"),
            QStringLiteral("out0"), QStringLiteral("g0"),  QStringLiteral("é%s")};
        const uint8_t pick = _data.byte();
        if (pick < 240) return kNames[pick % (sizeof(kNames) / sizeof(kNames[0]))];
        return QString::fromUtf8(_data.bytes(8));
    }

private:
    FuzzInput& _data;
};

// A walk visits each node at most once, so it must end within the node table's size.
// A walker from a start node that names nothing (`none`) is empty.
template <typename Walker>
void checkWalk(const char* op, const Graph& g, bool none, Walker&& walker) {
    if (none && walker.valid()) fail(op, QStringLiteral("walk from a node that does not exist"));
    static std::vector<bool> seen;  // kept between walks, so as not to allocate for each
    seen.assign(size_t(g.numNodesGlobal()), false);
    int steps = 0;
    for (; walker.valid(); walker.next()) {
        const int n = walker.node();
        if (n < 0 || n >= int(seen.size())) fail(op, QStringLiteral("walker gave node %1").arg(n));
        if (seen[n]) fail(op, QStringLiteral("walker visited node %1 twice").arg(n));
        seen[n] = true;
        if (++steps > g.numNodesGlobal()) fail(op, QStringLiteral("walker does not end"));
    }
    walker.next();
    if (walker.valid() || walker.node() != Graph::kInvalidNodeRef)
        fail(op, QStringLiteral("walker came back to life after its end"));
}

// Checks a cursor walk: a cursor that names no port is refused, and on false the cursor is left
// as it was.
void checkCursorWalk(const char* op, bool named, bool moved, int node, int port, int node0,
                     int port0) {
    if (moved && !named) fail(op, QStringLiteral("walked from a port that does not exist"));
    if (!moved && (node != node0 || port != port0))
        fail(op, QStringLiteral("refused walk moved the cursor from (%1,%2) to (%3,%4)")
                     .arg(node0)
                     .arg(port0)
                     .arg(node)
                     .arg(port));
}

bool outside(int ref, int size) {
    return ref < 0 || ref >= size;
}

// Every reader asked about a ref or index outside its table or list answers false, 0, -1 or a
// null name, each named by its call when it does not. Removed records stay readable, so only
// refs past the tables count here.
void checkNeutralAnswers(const Graph& g, int node, int port, int index, int edge) {
    const bool noNode = outside(node, g.numNodesGlobal());
    const bool noChild = noNode || outside(index, g.numNodes(node));
    const bool noInput = noNode || outside(port, g.numInputs(node));
    const bool noOutput = noNode || outside(port, g.numOutputs(node));
    const bool noInputDest = noInput || outside(index, g.numInputDestinations(node, port));
    const bool noOutputDest = noOutput || outside(index, g.numOutputDestinations(node, port));
    const bool noInputGroup = noNode || outside(port, g.numInputGroups(node));
    const bool noOutputGroup = noNode || outside(port, g.numOutputGroups(node));
    const bool noEdge = outside(edge, g.numEdgesGlobal());
    const struct {
        bool nothing, neutral;
        const char* call;
    } answers[] = {
        {noNode, !g.isValidNode(node), "isValidNode"},
        {noNode, g.numNodes(node) == 0, "numNodes"},
        {noNode, g.numInputs(node) == 0, "numInputs"},
        {noNode, g.numOutputs(node) == 0, "numOutputs"},
        {noNode, g.numInputGroups(node) == 0, "numInputGroups"},
        {noNode, g.numOutputGroups(node) == 0, "numOutputGroups"},
        {noNode, g.nodeValue(node) == -1, "nodeValue"},
        {noNode, g.parentNode(node) == -1, "parentNode"},
        {noNode, g.indexOfNode(node) == -1, "indexOfNode"},
        {noNode, g.nodeName(node).isNull(), "nodeName"},
        {noNode, g.nodePath(node).isEmpty(), "nodePath"},
        {noChild, g.getNode(index, node) == -1, "getNode"},
        {noInput, !g.isValidInput(node, port), "isValidInput"},
        {noInput, g.numInputDestinations(node, port) == 0, "numInputDestinations"},
        {noInput, g.inputSource(node, port) == -1, "inputSource"},
        {noInput, g.inputGroup(node, port) == -1, "inputGroup"},
        {noInput, g.inputName(node, port).isNull(), "inputName"},
        {noOutput, !g.isValidOutput(node, port), "isValidOutput"},
        {noOutput, g.numOutputDestinations(node, port) == 0, "numOutputDestinations"},
        {noOutput, g.outputSource(node, port) == -1, "outputSource"},
        {noOutput, g.outputGroup(node, port) == -1, "outputGroup"},
        {noOutput, g.outputName(node, port).isNull(), "outputName"},
        {noInputDest, !g.isValidInputDestination(node, port, index), "isValidInputDestination"},
        {noInputDest, g.inputDestination(node, port, index) == -1, "inputDestination"},
        {noOutputDest, !g.isValidOutputDestination(node, port, index), "isValidOutputDestination"},
        {noOutputDest, g.outputDestination(node, port, index) == -1, "outputDestination"},
        {noInputGroup, !g.isValidInputGroup(node, port), "isValidInputGroup"},
        {noInputGroup, g.inputGroupName(node, port).isNull(), "inputGroupName"},
        {noOutputGroup, !g.isValidOutputGroup(node, port), "isValidOutputGroup"},
        {noOutputGroup, g.outputGroupName(node, port).isNull(), "outputGroupName"},
        {noEdge, !g.isValidEdge(edge), "isValidEdge"},
        {noEdge, !g.isRegularEdge(edge), "isRegularEdge"},
        {noEdge, !g.isDownEdge(edge), "isDownEdge"},
        {noEdge, !g.isUpEdge(edge), "isUpEdge"},
        {noEdge, g.edgeSourceNode(edge) == -1, "edgeSourceNode"},
        {noEdge, g.edgeSourceIndex(edge) == -1, "edgeSourceIndex"},
        {noEdge, g.edgeDestNode(edge) == -1, "edgeDestNode"},
        {noEdge, g.edgeDestIndex(edge) == -1, "edgeDestIndex"},
    };
    for (const auto& answer : answers) {
        if (answer.nothing && !answer.neutral)
            fail(answer.call, QStringLiteral("answer not neutral for node %1, port or group %2, "
                                             "index %3, edge %4, which name nothing")
                                  .arg(node)
                                  .arg(port)
                                  .arg(index)
                                  .arg(edge));
    }
}

// A port just added is named and grouped as asked, and not wired.
void checkNewPort(const char* op, const Graph& g, const Port& p, const QString& name, int group) {
    const int n = p.node, i = p.index;
    const bool asAsked = p.input
                             ? g.inputName(n, i) == name && g.inputGroup(n, i) == group &&
                                   g.inputSource(n, i) == -1 && g.numInputDestinations(n, i) == 0
                             : g.outputName(n, i) == name && g.outputGroup(n, i) == group &&
                                   g.outputSource(n, i) == -1 && g.numOutputDestinations(n, i) == 0;
    if (!asAsked)
        fail(op, QStringLiteral("new %1 %2 of node %3 is not named, grouped or free as asked")
                     .arg(p.input ? "input" : "output")
                     .arg(i)
                     .arg(n));
}

// Every name a node shows, in one list: its own, then its inputs', outputs', input groups' and
// output groups'.
QStringList namesOf(const Graph& g, int node) {
    QStringList names{g.nodeName(node)};
    for (int i = 0; i < g.numInputs(node); ++i) names << g.inputName(node, i);
    for (int o = 0; o < g.numOutputs(node); ++o) names << g.outputName(node, o);
    for (int i = 0; i < g.numInputGroups(node); ++i) names << g.inputGroupName(node, i);
    for (int o = 0; o < g.numOutputGroups(node); ++o) names << g.outputGroupName(node, o);
    return names;
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

// An edge just added (`edge`, -1 if refused) is the next ref, of the kind asked for (`kind`),
// joins the ports asked for and feeds its destination.
bool checkNewEdge(Op op, const Graph& g, int edge, int size, bool kind, const Port& from,
                  const Port& to) {
    if (edge == -1) return false;
    if (edge != size || !kind || !(edgeSource(g, edge) == from) || !(edgeDest(g, edge) == to) ||
        sourceOf(g, to) != edge)
        fail(kOpNames[op], QStringLiteral("edge %1 is not the next, of its kind, between the "
                                          "ports asked for")
                               .arg(edge));
    return true;
}

// A by-name adder writes one line per failed lookup (`failed`) and then adds nothing; with every
// port found it passes them on silently, and what it adds joins them.
bool checkByName(Op op, const Graph& g, int edge, const Port& from, const Port& to, int failed) {
    if (g_criticalLines != failed)
        fail(kOpNames[op],
             QStringLiteral("%1 lines for %2 failed lookups").arg(g_criticalLines).arg(failed));
    if (edge == -1) return false;
    if (failed || !(edgeSource(g, edge) == from) || !(edgeDest(g, edge) == to))
        fail(kOpNames[op], QStringLiteral("edge %1 does not join the ports found").arg(edge));
    return true;
}

// Runs one call; returns whether the call may have changed the graph although it was refused
// or its arguments were invalid (false means: the graph must be exactly as before). Copies and
// moves are compared in full only on a fully checked step (`full`).
bool runOp(Op op, Graph& g, Args& args, bool full) {
    switch (op) {
        case kAddNode: {
            const int parent = args.node(g);
            const int inputs = args.count(), outputs = args.count();
            const QString name = args.name();
            const int size = g.numNodesGlobal();
            const int node = g.addNode(name, inputs, outputs, parent);
            if (node == -1) return false;
            if (node != size || !g.isValidNode(node) || g.parentNode(node) != parent ||
                g.getNode(g.numNodes(parent) - 1, parent) != node || g.nodeName(node) != name ||
                g.nodeValue(node) != -1 || g.numNodes(node) != 0 ||
                g.numInputGroups(node) + g.numOutputGroups(node) != 0 ||
                g.numInputs(node) != qMax(0, inputs) || g.numOutputs(node) != qMax(0, outputs))
                fail("addNode",
                     QStringLiteral("node %1 is not a new last child as asked").arg(node));
            // Its ports are unnamed (empty, not null), in no group and free.
            for (int i = 0; i < g.numInputs(node); ++i) {
                if (g.inputName(node, i).isNull()) fail("addNode", "an input's name is null");
                checkNewPort("addNode", g, {node, true, i}, QString(), Graph::kInvalidGroupRef);
            }
            for (int o = 0; o < g.numOutputs(node); ++o) {
                if (g.outputName(node, o).isNull()) fail("addNode", "an output's name is null");
                checkNewPort("addNode", g, {node, false, o}, QString(), Graph::kInvalidGroupRef);
            }
            return true;
        }
        case kAddInput:
        case kAddOutput: {
            const bool input = op == kAddInput;
            const int node = args.node(g);
            const QString name = args.name();
            const int group = input ? args.inputGroup(g, node) : args.outputGroup(g, node);
            const int port = input ? g.addInput(node, name, group) : g.addOutput(node, name, group);
            if (port == -1) return false;
            if (!(input ? g.isValidInput(node, port) : g.isValidOutput(node, port)) ||
                port != (input ? g.numInputs(node) : g.numOutputs(node)) - 1)
                fail(kOpNames[op], QStringLiteral("port %1 is not a valid last port").arg(port));
            checkNewPort(kOpNames[op], g, {node, input, port}, name, group);
            return true;
        }
        case kAddInputGroup:
        case kAddOutputGroup: {
            const bool input = op == kAddInputGroup;
            const int node = args.node(g);
            const QString name = args.name();
            const int group = input ? g.addInputGroup(node, name) : g.addOutputGroup(node, name);
            if (group == -1) return false;
            if (!(input ? g.isValidInputGroup(node, group) : g.isValidOutputGroup(node, group)) ||
                group != (input ? g.numInputGroups(node) : g.numOutputGroups(node)) - 1 ||
                (input ? g.inputGroupName(node, group) : g.outputGroupName(node, group)) != name)
                fail(kOpNames[op],
                     QStringLiteral("group %1 is not a new last one as asked").arg(group));
            return true;
        }
        case kAddEdge: {
            const int src = args.node(g), srcOutput = args.output(g, src);
            const int dst = args.node(g), dstInput = args.input(g, dst);
            const int size = g.numEdgesGlobal();
            const int edge = g.addEdge(src, srcOutput, dst, dstInput);
            return checkNewEdge(op, g, edge, size, g.isRegularEdge(edge), {src, false, srcOutput},
                                {dst, true, dstInput});
        }
        case kAddDownEdge:
        case kAddUpEdge: {
            // A down edge runs from the parent's input to the child's, an up edge from the
            // child's output to the parent's.
            const bool down = op == kAddDownEdge;
            const int child = args.node(g), parent = g.parentNode(child);
            const int parentPort = down ? args.input(g, parent) : args.output(g, parent);
            const int childPort = down ? args.input(g, child) : args.output(g, child);
            const int size = g.numEdgesGlobal();
            const int edge = down ? g.addDownEdge(parentPort, child, childPort)
                                  : g.addUpEdge(parentPort, child, childPort);
            const Port outer{parent, down, parentPort}, inner{child, down, childPort};
            return checkNewEdge(op, g, edge, size, down ? g.isDownEdge(edge) : g.isUpEdge(edge),
                                down ? outer : inner, down ? inner : outer);
        }
        case kRemoveEdge: {
            // The record stays readable until purge, of no kind any more.
            const int edge = args.edge(g);
            const bool valid = g.isValidEdge(edge);
            const Port from = edgeSource(g, edge), to = edgeDest(g, edge);
            g.removeEdge(edge);
            if (g.isValidEdge(edge) || g.isRegularEdge(edge) || g.isDownEdge(edge) ||
                g.isUpEdge(edge))
                fail("removeEdge", "the edge is still valid, or of a kind");
            if (valid &&
                (g.edgeSourceNode(edge) != from.node || g.edgeSourceIndex(edge) != from.index ||
                 g.edgeDestNode(edge) != to.node || g.edgeDestIndex(edge) != to.index))
                fail("removeEdge", "the removed edge's record changed");
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
            const Port from{src, false, g.findOutput(src, out)},
                to{dst, true, g.findInput(dst, in)};
            const int failed = !g.isValidOutput(src, from.index) + !g.isValidInput(dst, to.index);
            return checkByName(op, g, g.addEdgeByName(src, out, dst, in), from, to, failed);
        }
        case kAddDownEdgeByName: {
            const int child = args.node(g), parent = g.parentNode(child);
            const QString parentInput = args.name(), childInput = args.name();
            const Port from{parent, true, g.findInput(parent, parentInput)};
            const Port to{child, true, g.findInput(child, childInput)};
            const int failed = !g.isValidNode(child) + !g.isValidInput(child, to.index) +
                               !g.isValidInput(parent, from.index);
            return checkByName(op, g, g.addDownEdgeByName(parentInput, child, childInput), from, to,
                               failed);
        }
        case kAddUpEdgeByName: {
            const int child = args.node(g), parent = g.parentNode(child);
            const QString parentOutput = args.name(), childOutput = args.name();
            const Port from{child, false, g.findOutput(child, childOutput)};
            const Port to{parent, false, g.findOutput(parent, parentOutput)};
            // It checks nothing aloud: what is not found just gives -1.
            return checkByName(op, g, g.addUpEdgeByName(parentOutput, child, childOutput), from, to,
                               0);
        }
        case kConnectByName: {
            const int src = args.node(g), dst = args.node(g);
            g.connectByName(src, dst);
            return g.isValidNode(src) && g.isValidNode(dst);
        }
        case kConnectGroups: {
            const int src = args.node(g), srcGroup = args.outputGroup(g, src);
            const int dst = args.node(g), dstGroup = args.inputGroup(g, dst);
            g.connectGroups(src, srcGroup, dst, dstGroup);
            return g.isValidNode(src) && g.isValidNode(dst);
        }
        case kConnectNamedGroups: {
            const int src = args.node(g), dst = args.node(g);
            const QString srcGroup = args.name(), dstGroup = args.name();
            g.connectNamedGroups(src, srcGroup, dst, dstGroup);
            return g.isValidNode(src) && g.isValidNode(dst);
        }
        case kConnectDownByName:
        case kConnectUpByName: {
            // Only a live child of a live parent has ports to expose.
            const int node = args.node(g);
            if (op == kConnectDownByName)
                g.connectDownByName(node);
            else
                g.connectUpByName(node);
            return g.isValidNode(node) && g.isValidNode(g.parentNode(node));
        }
        case kRemoveNode: {
            // The record stays readable until purge.
            const int node = args.node(g);
            const bool valid = g.isValidNode(node);
            const QString name = g.nodeName(node);
            const int parent = g.parentNode(node), value = g.nodeValue(node);
            g.removeNode(node);
            if (node != Graph::kRootNodeRef && g.isValidNode(node))
                fail("removeNode", "the node is still valid");
            if (g.nodeName(node) != name || g.parentNode(node) != parent ||
                g.nodeValue(node) != value)
                fail("removeNode", "the removed node's record changed");
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
            // With nothing removed, purge has nothing to renumber: the graph stays as it was.
            bool clean = true;
            for (int n = 0; clean && n < g.numNodesGlobal(); ++n) clean = g.isValidNode(n);
            for (int e = 0; clean && e < g.numEdgesGlobal(); ++e) clean = g.isValidEdge(e);
            g.purge();
            for (int n = 0; n < g.numNodesGlobal(); ++n) {
                if (!g.isValidNode(n)) fail("purge", QStringLiteral("removed node %1 kept").arg(n));
            }
            for (int e = 0; e < g.numEdgesGlobal(); ++e) {
                if (!g.isValidEdge(e)) fail("purge", QStringLiteral("removed edge %1 kept").arg(e));
            }
            return !clean;
        }
        case kSetNames: {
            // Each setter replaces its own name only, and none when its target does not exist.
            const int node = args.node(g);
            const bool valid = g.isValidNode(node);
            const int input = args.input(g, node), output = args.output(g, node);
            const int inGroup = args.inputGroup(g, node), outGroup = args.outputGroup(g, node);
            const QString name = args.name();
            const int numInputs = g.numInputs(node), numOutputs = g.numOutputs(node);
            const int numInGroups = g.numInputGroups(node);
            const struct {
                const char* op;
                void (Graph::*set)(int, int, const QString&);
                int index, size, first;  // the target, its list's length and place in namesOf
            } setters[] = {
                {"setInputName", &Graph::setInputName, input, numInputs, 1},
                {"setOutputName", &Graph::setOutputName, output, numOutputs, 1 + numInputs},
                {"setInputGroupName", &Graph::setInputGroupName, inGroup, numInGroups,
                 1 + numInputs + numOutputs},
                {"setOutputGroupName", &Graph::setOutputGroupName, outGroup,
                 g.numOutputGroups(node), 1 + numInputs + numOutputs + numInGroups},
            };
            QStringList names = namesOf(g, node);
            g.setNodeName(node, name);
            if (valid) names[0] = name;
            if (namesOf(g, node) != names) fail("setNodeName", "not the node's name alone set");
            for (const auto& setter : setters) {
                (g.*setter.set)(node, setter.index, name);
                if (valid && !outside(setter.index, setter.size))
                    names[setter.first + setter.index] = name;
                if (namesOf(g, node) != names)
                    fail(setter.op, "another name set, or one for something that does not exist");
            }
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
            // Every reader, with any arguments. A ref or index that names nothing gets the
            // neutral answer; the invariant checker reads them all with valid ones.
            const int node = args.node(g), index = args.index(4), port = args.index(3);
            const int edge = args.edge(g), other = args.node(g);
            const bool through = args.flag();
            checkNeutralAnswers(g, node, port, index, edge);
            (void)g.getNodeGlobal(index);
            (void)g.getEdgeGlobal(index);
            if (g.isValidNode(node) && !g.precedes(node, node, through))
                fail("precedes", "a live node does not precede itself");
            // Among siblings precedence is acyclic; through container ports a parent and its
            // child may precede each other.
            if (node != other && g.precedes(node, other, false) && g.precedes(other, node, false))
                fail("precedes", QStringLiteral("cycle between %1 and %2").arg(node).arg(other));
            const bool contains = g.contains(node, other);
            if (outside(node, g.numNodesGlobal()) &&
                (contains || g.contains(other, node) || g.precedes(node, other, through) ||
                 g.precedes(other, node, through)))
                fail("precedes", "a node that does not exist is related to another");
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
            if (outside(node, g.numNodesGlobal()) &&
                (found[0] & found[1] & found[2] & found[3] & found[4]) != -1)
                fail("finds", "found something on a node that does not exist");
            return false;
        }
        case kWalks: {
            const int node0 = args.node(g), port0 = args.index(3);
            const bool input = g.isValidInput(node0, port0), output = g.isValidOutput(node0, port0);
            int node = node0, port = port0;
            const bool up = g.walkUp(node, port);
            checkCursorWalk("walkUp", input, up, node, port, node0, port0);
            node = node0, port = port0;
            const bool across = g.walkAcross(node, port);
            checkCursorWalk("walkAcross", input, across, node, port, node0, port0);
            node = node0, port = port0;
            const bool down = g.walkDown(node, port);
            checkCursorWalk("walkDown", output, down, node, port, node0, port0);
            node = node0, port = port0;
            const bool source = g.walkToSourceNode(node, port);
            if (source && (!input || !g.isValidOutput(node, port)))
                fail("walkToSourceNode", "went from something not an input to not an output");
            return false;
        }
        case kWalkers: {
            const int node = args.node(g);
            const bool through = args.flag();
            const bool none = outside(node, g.numNodesGlobal());
            checkWalk("BottomUpInputWalker", g, none, BottomUpInputWalker(g, node, through));
            checkWalk("BreadthFirstInputWalker", g, none,
                      BreadthFirstInputWalker(g, node, through));
            checkWalk("BottomUpSubgraphWalker", g, !g.isValidNode(node),
                      BottomUpSubgraphWalker(g, node));
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
