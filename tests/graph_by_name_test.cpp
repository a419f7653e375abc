// Wiring by name: the checked adders and their assertion lines, and the matching operations.
#include <Orv/Graph.h>

#include "graph_fixtures.h"
#include "message_capture.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace Vantrel::Orv;

namespace {

// The assertion line of the check on `expression`, with the line number read from graph.cpp:
// the line where the check that holds that expression text starts.
QString assertionLine(const QString& expression, const QString& message) {
    QFile file(QStringLiteral(ORV_SOURCE_DIR "/src/core/graph.cpp"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    int line = -1;
    for (int i = 0; i < lines.size() && line == -1; ++i) {
        if (!lines[i].contains(expression + ',')) continue;
        for (int j = i; j > i - 3 && j >= 0 && line == -1; --j) {
            if (lines[j].contains(QLatin1String("ORV_SOFT_ASSERT("))) line = j + 1;
        }
    }
    EXPECT_GT(line, 0) << qPrintable(expression);
    return QStringLiteral("[graph.cpp:%1] [ !! ] Assertion '%2' failed: %3")
        .arg(line)
        .arg(expression, message);
}

QString check1(const QString& name) {
    return assertionLine("isValidOutput(srcNode, findOutput(srcNode, srcOutputName))",
                         "Source output '" + name + "' is not valid");
}
QString check2(const QString& name) {
    return assertionLine("isValidInput(dstNode, findInput(dstNode, dstInputName))",
                         "Dest input '" + name + "' is not valid");
}
QStringList downChecks(const QList<int>& failing, const QString& parent, const QString& child) {
    const QStringList expressions{
        "isValidNode(childNode)", "isValidInput(childNode, findInput(childNode, childInputName))",
        "isValidInput(parentNode(childNode), findInput(parentNode(childNode), parentInputName))"};
    QStringList result;
    for (int check : failing) {
        result.append(assertionLine(expressions[check - 3],
                                    QStringLiteral("Parent '%1' Child '%2'").arg(parent, child)));
    }
    return result;
}

}  // namespace

TEST_F(SampleGraphTest, CheckedAddersWriteOneLinePerFailedLookupAndChangeNothing) {
    MessageCapture capture;
    EXPECT_EQ(graph.addEdgeByName(a, "nope", b, "In0"), -1);
    EXPECT_EQ(graph.addEdgeByName(a, "out0", b, "w%s"), -1);
    EXPECT_EQ(graph.addEdgeByName(99, "out0", -4, "in0"), -1);
    EXPECT_EQ(capture.critical(), QStringList({check1("nope"), check2("In0"), check2("w%s"),
                                               check1("out0"), check2("in0")}));
    capture.clear();
    EXPECT_EQ(graph.addDownEdgeByName("in0", x, "missing"), -1);
    EXPECT_EQ(graph.addDownEdgeByName("missing", x, "in1"), -1);
    EXPECT_EQ(graph.addDownEdgeByName("in0", 1000, "in0"), -1);  // every check fails
    EXPECT_EQ(capture.critical(), downChecks({4}, "in0", "missing") +
                                      downChecks({5}, "missing", "in1") +
                                      downChecks({3, 4, 5}, "in0", "in0"));
    EXPECT_EQ(graph.numEdgesGlobal(), 0);
}

TEST_F(SampleGraphTest, CheckedAddersPassFoundPortsOnSilently) {
    MessageCapture capture;
    const int edge = graph.addEdgeByName(a, "out1", b, "in0");
    EXPECT_EQ(graph.inputSource(b, 0), edge);
    EXPECT_EQ(graph.edgeSourceIndex(edge), 1);
    EXPECT_EQ(graph.addEdgeByName(b, "out0", a, "in0"), -1);  // a cycle: refused, no line
    const int down = graph.addDownEdgeByName("in1", x, "in0");
    EXPECT_TRUE(graph.isDownEdge(down));
    EXPECT_EQ(graph.edgeSourceIndex(down), 1);
    EXPECT_EQ(graph.addDownEdgeByName("in1", x, "in0"), -1);  // fed already
    // addUpEdgeByName checks nothing: names or nodes that are not found just give -1.
    EXPECT_EQ(graph.addUpEdgeByName("missing", x, "out0"), -1);
    EXPECT_EQ(graph.addUpEdgeByName("out0", 1000, "out0"), -1);
    EXPECT_EQ(graph.addUpEdgeByName("out0", Graph::kRootNodeRef, "out0"), -1);
    const int up = graph.addUpEdgeByName("out1", y, "out0");
    EXPECT_EQ(graph.outputSource(p, 1), up);
    EXPECT_EQ(graph.numEdgesGlobal(), 3);
    EXPECT_EQ(capture.count(), 0);
}

TEST_F(SampleGraphTest, ConnectByNameTakesTheFirstLikeNamedFreeCandidate) {
    graph.setOutputName(a, 0, "y");
    graph.setOutputName(a, 1, "y");
    graph.addOutput(a, "x", Graph::kInvalidGroupRef);
    graph.setInputName(b, 0, "Y");  // case matters
    graph.setInputName(b, 1, "x");
    graph.addInput(b, "y", Graph::kInvalidGroupRef);
    graph.connectByName(a, b);
    EXPECT_EQ(graph.inputSource(b, 0), -1);
    EXPECT_EQ(graph.edgeSourceIndex(graph.inputSource(b, 1)), 2);
    EXPECT_EQ(graph.edgeSourceIndex(graph.inputSource(b, 2)), 0);
    graph.connectByName(a, b);  // fed inputs keep their edges
    EXPECT_EQ(graph.numEdgesGlobal(), 2);

    // Unnamed ports match one another; refusals (here, cycles) are skipped silently.
    MessageCapture capture;
    const int u = graph.addNode("u", 0, 2, Graph::kRootNodeRef);
    const int v = graph.addNode("v", 2, 2, Graph::kRootNodeRef);
    graph.connectByName(u, v);
    EXPECT_EQ(graph.edgeSourceIndex(graph.inputSource(v, 1)), 0);
    graph.addInput(u, "", Graph::kInvalidGroupRef);
    graph.connectByName(v, u);
    EXPECT_EQ(graph.inputSource(u, 0), -1);
    EXPECT_EQ(capture.count(), 0);
}

TEST_F(SampleGraphTest, OutputsFeedingUpEdgesFirstAreNoCandidates) {
    graph.setInputName(y, 0, "out0");
    graph.setInputName(y, 1, "out1");
    ASSERT_NE(graph.addUpEdge(0, x, 0), -1);
    graph.connectByName(x, y);
    EXPECT_EQ(graph.inputSource(y, 0), -1);
    EXPECT_EQ(graph.edgeSourceIndex(graph.inputSource(y, 1)), 1);
    // X's out1 feeds a regular edge first: an up edge added after it leaves it a candidate.
    ASSERT_NE(graph.addUpEdge(1, x, 1), -1);
    graph.addInput(y, "out1", Graph::kInvalidGroupRef);
    graph.connectByName(x, y);
    EXPECT_EQ(graph.edgeSourceIndex(graph.inputSource(y, 2)), 1);
}

TEST_F(SampleGraphTest, ConnectGroupsMatchesWithinTheTwoGroupsOnly) {
    const int color = graph.addOutputGroup(a, "color");
    graph.addOutputGroup(a, "depth");
    graph.addInputGroup(b, "color");
    graph.addOutput(a, "in0", 1);      // out2, in "depth"
    graph.addOutput(a, "in0", color);  // out3
    graph.addInput(b, "in0", 0);       // in2, in "color"
    graph.connectNamedGroups(a, "color", b, "color");
    EXPECT_EQ(graph.edgeSourceIndex(graph.inputSource(b, 2)), 3);
    EXPECT_EQ(graph.numEdgesGlobal(), 1);
    // Unknown group names select the ports of no group.
    graph.setOutputName(a, 0, "in1");
    graph.connectNamedGroups(a, "none", b, "none");
    EXPECT_EQ(graph.inputSource(b, 0), -1);
    EXPECT_EQ(graph.edgeSourceIndex(graph.inputSource(b, 1)), 0);
    EXPECT_EQ(graph.numEdgesGlobal(), 2);
}

TEST_F(SampleGraphTest, ConnectDownAndUpByNameExposeChildPorts) {
    graph.setInputName(y, 1, "other");
    graph.connectDownByName(x);
    graph.connectDownByName(y);
    EXPECT_EQ(graph.numInputDestinations(p, 0), 2);
    EXPECT_EQ(graph.numInputDestinations(p, 1), 1);
    EXPECT_EQ(graph.inputSource(y, 1), -1);
    // P's outputs go to the first child that offers them; Y's like-named outputs stay
    // unexposed, and a second parent output of the same name is not tried.
    graph.addOutput(p, "out0", Graph::kInvalidGroupRef);
    graph.connectUpByName(x);
    graph.connectUpByName(y);
    EXPECT_EQ(graph.edgeSourceNode(graph.outputSource(p, 0)), x);
    EXPECT_EQ(graph.outputSource(p, 2), -1);
    EXPECT_EQ(graph.numOutputDestinations(y, 0), 0);

    const int edges = graph.numEdgesGlobal();
    graph.connectDownByName(Graph::kRootNodeRef);
    graph.connectUpByName(-3);
    graph.connectByName(a, 77);
    EXPECT_EQ(graph.numEdgesGlobal(), edges);
}
