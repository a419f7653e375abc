// Wiring by name: the checked adders and their assertion lines, and the matching operations.
#include "graph_fixtures.h"
#include "graph_invariants.h"
#include "message_capture.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>

using Vantrel::Orv::Graph;

namespace {

// A failed check as it must read after its "[graph.cpp:<line>] " prefix. Checks 1 and 2 are
// addEdgeByName's, 3 to 5 addDownEdgeByName's.
struct Failed {
    int check;
    QString message;
};
Failed down(int check, const QString& parent, const QString& child) {
    return {check, QStringLiteral("Parent '%1' Child '%2'").arg(parent, child)};
}

// Each line names graph.cpp and reads exactly as expected after its line number; a check keeps
// one line number on every call, and no two checks share one. The numbers themselves move with
// every edit of the file, so they are not pinned.
void expectAssertionLines(const QStringList& lines, const QVector<Failed>& expected) {
    static const char* const expressions[] = {
        "isValidOutput(srcNode, findOutput(srcNode, srcOutputName))",
        "isValidInput(dstNode, findInput(dstNode, dstInputName))", "isValidNode(childNode)",
        "isValidInput(childNode, findInput(childNode, childInputName))",
        "isValidInput(parentNode(childNode), findInput(parentNode(childNode), parentInputName))"};
    ASSERT_EQ(lines.size(), expected.size()) << qPrintable(lines.join('\n'));
    const QRegularExpression shape(QStringLiteral("^\\[graph\\.cpp:([1-9][0-9]*)\\] (.*)$"));
    QMap<int, int> lineOfCheck;
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = shape.match(lines[i]);
        ASSERT_TRUE(match.hasMatch()) << qPrintable(lines[i]);
        const Failed& failed = expected[i];
        EXPECT_EQ(match.captured(2),
                  QStringLiteral("[ !! ] Assertion '%1' failed: %2")
                      .arg(QLatin1String(expressions[failed.check - 1]), failed.message));
        const int line = match.captured(1).toInt();
        EXPECT_EQ(lineOfCheck.value(failed.check, line), line) << "check " << failed.check;
        lineOfCheck[failed.check] = line;
    }
    const QList<int> numbers = lineOfCheck.values();
    EXPECT_EQ(QSet<int>(numbers.begin(), numbers.end()).size(), lineOfCheck.size());
}

}  // namespace

// (That the adders pass found ports on silently, even to an adder that refuses, join what they
// add to them, and that addUpEdgeByName checks nothing aloud, the fuzzer checks after every call.)
TEST_F(SampleGraphTest, CheckedAddersWriteOneLinePerFailedLookupOnly) {
    const QStringList before = graphSnapshot(graph);
    MessageCapture capture;
    EXPECT_EQ(graph.addEdgeByName(a, "nope", b, "In0"), -1);
    EXPECT_EQ(graph.addEdgeByName(a, "out0", b, "w%s"), -1);
    EXPECT_EQ(graph.addEdgeByName(99, "out0", -4, "in0"), -1);
    EXPECT_EQ(graph.addDownEdgeByName("in0", x, "missing"), -1);
    EXPECT_EQ(graph.addDownEdgeByName("missing", x, "in1"), -1);
    EXPECT_EQ(graph.addDownEdgeByName("in0", 1000, "in0"), -1);  // every check fails
    expectAssertionLines(capture.critical(), {{1, "Source output 'nope' is not valid"},
                                              {2, "Dest input 'In0' is not valid"},
                                              {2, "Dest input 'w%s' is not valid"},
                                              {1, "Source output 'out0' is not valid"},
                                              {2, "Dest input 'in0' is not valid"},
                                              down(4, "in0", "missing"),
                                              down(5, "missing", "in1"),
                                              down(3, "in0", "in0"),
                                              down(4, "in0", "in0"),
                                              down(5, "in0", "in0")});
    EXPECT_EQ(graphSnapshot(graph), before);
}

TEST_F(SampleGraphTest, ConnectByNameTakesTheFirstLikeNamedFreeCandidate) {
    graph.setOutputName(a, 0, "y");
    graph.setOutputName(a, 1, "y");
    graph.addOutput(a, "x", Graph::kInvalidGroupRef);
    graph.setInputName(b, 0, "Y");  // case matters
    graph.setInputName(b, 1, "x");
    graph.addInput(b, "y", Graph::kInvalidGroupRef);
    graph.connectByName(a, b);
    EXPECT_EQ(feeds(graph, b), QStringList({"-", "A.2", "A.0"}));
    graph.connectByName(a, b);  // fed inputs keep their edges
    EXPECT_EQ(graph.numEdgesGlobal(), 2);

    // Unnamed ports match one another; refusals (here, cycles) are skipped silently.
    MessageCapture capture;
    const int u = graph.addNode("u", 0, 2, root);
    const int v = graph.addNode("v", 2, 2, root);
    graph.connectByName(u, v);
    EXPECT_EQ(feeds(graph, v), QStringList({"u.0", "u.0"}));
    graph.addInput(u, "", Graph::kInvalidGroupRef);
    graph.connectByName(v, u);
    EXPECT_EQ(feeds(graph, u), QStringList("-"));
    EXPECT_EQ(capture.count(), 0);
}

TEST_F(SampleGraphTest, OutputsFeedingUpEdgesFirstAreNoCandidates) {
    graph.setInputName(y, 0, "out0");
    graph.setInputName(y, 1, "out1");
    ASSERT_NE(graph.addUpEdge(0, x, 0), -1);
    graph.connectByName(x, y);
    EXPECT_EQ(feeds(graph, y), QStringList({"-", "X.1"}));
    // X's out1 feeds a regular edge first: an up edge added after it leaves it a candidate.
    ASSERT_NE(graph.addUpEdge(1, x, 1), -1);
    graph.addInput(y, "out1", Graph::kInvalidGroupRef);
    graph.connectByName(x, y);
    EXPECT_EQ(feeds(graph, y), QStringList({"-", "X.1", "X.1"}));
}

TEST_F(SampleGraphTest, ConnectGroupsMatchesWithinTheTwoGroupsOnly) {
    const int color = graph.addOutputGroup(a, "color");
    graph.addOutputGroup(a, "depth");
    graph.addInputGroup(b, "color");
    graph.addOutput(a, "in0", 1);      // out2, in "depth"
    graph.addOutput(a, "in0", color);  // out3
    graph.addInput(b, "in0", 0);       // in2, in "color"
    graph.connectNamedGroups(a, "color", b, "color");
    EXPECT_EQ(feeds(graph, b), QStringList({"-", "-", "A.3"}));
    // Unknown group names select the ports of no group.
    graph.setOutputName(a, 0, "in1");
    graph.connectNamedGroups(a, "none", b, "none");
    EXPECT_EQ(feeds(graph, b), QStringList({"-", "A.0", "A.3"}));
}

TEST_F(SampleGraphTest, ConnectDownAndUpByNameExposeChildPorts) {
    graph.setInputName(y, 1, "other");
    graph.connectDownByName(x);
    graph.connectDownByName(y);
    EXPECT_EQ(feeds(graph, x), QStringList({"P.0", "P.1"}));
    EXPECT_EQ(feeds(graph, y), QStringList({"P.0", "-"}));
    // P's outputs go to the first child that offers them; Y's like-named outputs stay
    // unexposed, and a second parent output of the same name is not tried.
    graph.addOutput(p, "out0", Graph::kInvalidGroupRef);
    graph.connectUpByName(x);
    graph.connectUpByName(y);
    EXPECT_EQ(graph.edgeSourceNode(graph.outputSource(p, 0)), x);
    EXPECT_EQ(graph.outputSource(p, 2), -1);
    EXPECT_EQ(graph.numOutputDestinations(y, 0), 0);
}
