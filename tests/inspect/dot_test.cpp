// The graph as DOT: every level, ports and edge kinds, hover texts by path, and the latest
// frame's outcomes; whatever the names hold, the text stays something `dot` lays out.
#include <Orv/Graph.h>
#include <Orv/Renderer.h>

#include "hostile_names.h"
#include "renderer_fixture.h"

#include <QProcess>
#include <QStandardPaths>

using namespace Vantrel::Orv;

using DotTest = RendererFixture;

namespace {

// Runs `dot` on the text when Graphviz is installed; true when it laid it out.
bool dotAccepts(const QByteArray& text) {
    const QString dot = QStandardPaths::findExecutable("dot");
    if (dot.isEmpty()) return true;
    QProcess process;
    process.start(dot, {"-Tsvg", "-o", "/dev/null"});
    process.write(text);
    process.closeWriteChannel();
    return process.waitForFinished(20000) && process.exitCode() == 0;
}

}  // namespace

// Hostile names and every edge kind, nested: the text stays something `dot` lays out. Each name
// is quoted as it is, in the label's markup and in the hover text's DOT string, with only what
// the two syntaxes reserve escaped.
TEST_F(DotTest, DotDrawsEveryLevelAndColoursTheLatestOutcomes) {
    renderer.addParameter("p <&>", 1);
    group("G {\"|}", 1, 1);
    add("in\\side %s é", 1, 1, "G {\"|}"), add("off"), add("unused"), add("spare");
    for (const QString& name : hostileNames()) add(name);
    down(0, "G {\"|}");
    down(0, "in\\side %s é");
    up(0, "in\\side %s é");
    chain("G {\"|} off");
    renderer.setEnabled(node("off"), false);
    renderer.setTarget(node("unused"));
    passes["unused"]->failWith = 4;
    EXPECT_FALSE(render());

    const QByteArray plain = graphAsDot(*graph());
    EXPECT_TRUE(plain.startsWith("digraph \"Orv\" {\n") && plain.endsWith("}\n"));
    EXPECT_TRUE(plain.contains("subgraph \"cluster_n1\""));
    EXPECT_TRUE(plain.contains("<I>inputs</I>") && plain.contains("p &lt;&amp;&gt;"));
    EXPECT_TRUE(plain.contains("style=dashed") && plain.contains("style=dotted"));
    EXPECT_TRUE(dotAccepts(plain)) << plain.toStdString();

    const QByteArray frame = frameAsDot(renderer);
    EXPECT_TRUE(frame.contains("<I>parameters</I>"));
    EXPECT_TRUE(frame.contains("tooltip=\"off: switched off\""));
    EXPECT_TRUE(frame.contains("STYLE=\"dashed\"")) << "not needed";
    // Hover texts name nodes by path and ports by name, never by the DOT ids.
    EXPECT_TRUE(plain.contains("tooltip=\"G {\\\"|}/in\\\\\\\\side %s é\"")) << plain.toStdString();
    EXPECT_TRUE(plain.contains("tooltip=\"G {\\\"|} (group)\""));
    EXPECT_TRUE(plain.contains("tooltip=\"inputs.p <&> -> G {\\\"|}.input 0\""));
    EXPECT_TRUE(frame.contains("tooltip=\"unused: failed (target, error code 4)\""));
    EXPECT_TRUE(frame.contains("tooltip=\"spare: not needed\""));
    EXPECT_TRUE(frame.contains("<TABLE BORDER=\"3\"")) << "the target";
    EXPECT_TRUE(frame.contains("<I>legend</I>") && frame.contains("the target</TD>"));
    const struct {
        const char* label;
        const char* tooltip;
    } expected[] = {
        {"blur%2", "blur%2"},
        {"%1", "%1"},
        {"%L1 %3", "%L1 %3"},
        {"50%", "50%"},
        {"say &quot;hi&quot; 'x'", "say \\\"hi\\\" 'x'"},
        {"back\\slash", "back\\\\\\\\slash"},  // the path doubles it, the string again
        {"&lt;b&gt;&amp;amp;", "<b>&amp;"},
        {"two<BR/>lines", "two\\nlines"},
    };
    for (const auto& name : expected) {
        EXPECT_TRUE(frame.contains(QByteArray("<B>") + name.label + "</B>")) << name.label;
        EXPECT_TRUE(frame.contains(QByteArray("tooltip=\"") + name.tooltip + ": not needed\""))
            << name.tooltip;
    }
    EXPECT_TRUE(dotAccepts(frame)) << frame.toStdString();
}

namespace {

// Each labelled edge's hover text, up to its first line, with its label: "A.out0 -> B.in0: 1→2
// read after write", in the order of the text.
QStringList edgeLabels(const QByteArray& dot) {
    QStringList labelled;
    for (const QByteArray& line : dot.split('\n')) {
        const int tip = line.indexOf("tooltip=\"");
        const int label = line.indexOf("label=\"");
        if (!line.contains(" -> ") || tip < 0 || label < 0) continue;
        const int tipEnd = line.indexOf('\\', tip);
        const QString from = QString::fromUtf8(line.mid(tip + 9, tipEnd - tip - 9));
        const int labelEnd = line.indexOf('"', label + 7);
        labelled << from + ": " + QString::fromUtf8(line.mid(label + 7, labelEnd - label - 7));
    }
    return labelled;
}

}  // namespace

//   A -> B, %1 (usage 2), E (3);  each reader -> an output.  A writes in usage 1.
// B's edge carries A's first read after its write, %1's nothing (the same usage again), E's a
// change of usage; with the option off, or without a plan, the text is frameAsDot's own.
TEST_F(DotTest, EdgesCanCarryTheTransitionTheirReaderNeeds) {
    add("A");
    for (const char* reader : {"B", "%1", "E"}) {
        add(reader);
        link("A", reader);
        up(renderer.addOutput(reader), reader);
    }
    ASSERT_TRUE(renderer.setPortUsage(node("A"), PortSide::Output, 0, 1));
    for (const char* reader : {"B", "%1"})
        ASSERT_TRUE(renderer.setPortUsage(node(reader), PortSide::Input, 0, 2));
    ASSERT_TRUE(renderer.setPortUsage(node("E"), PortSide::Input, 0, 3));
    EXPECT_TRUE(render());
    FrameDotOptions labelled;
    labelled.transitions = true;
    const QByteArray plain = frameAsDot(renderer);
    EXPECT_EQ(frameAsDot(renderer, labelled), plain) << "no plan";

    renderer.setSyncPlanning(true);
    EXPECT_TRUE(render());
    EXPECT_EQ(frameAsDot(renderer), plain);
    EXPECT_EQ(frameAsDot(renderer, FrameDotOptions()), plain);
    const QByteArray text = frameAsDot(renderer, labelled);
    EXPECT_EQ(edgeLabels(text), QStringList({"A.out0 -> B.in0: 1\u21922 read after write",
                                             "A.out0 -> E.in0: 2\u21923 usage change"}));
    EXPECT_TRUE(
        text.contains("tooltip=\"A.out0 -> E.in0\\nusage change: E reads A.out0 in "
                      "another usage; waits for step 2; usage 2 \u2192 3\""));
    EXPECT_TRUE(dotAccepts(text)) << text.toStdString();
}

//   Y -> G.in;  G[ G.in -> X.0;  Q -> X.1;  X -> G.out ];  G.out -> Y;  Y -> T (target).
// Through a group's ports each edge into a pass is labelled with what its reader needs of the
// pass output behind it: X reads Y's value of the frame before, and Y's write after it is on
// no edge.
TEST_F(DotTest, LabelsFollowTheValueThroughGroupsAndTheFrameBefore) {
    loopThroughGroup();
    renderer.setSyncPlanning(true);
    ASSERT_TRUE(renderer.setPortUsage(node("Y"), PortSide::Output, 0, 1));
    ASSERT_TRUE(renderer.setPortUsage(node("X"), PortSide::Input, 0, 2));
    ASSERT_TRUE(renderer.setPortUsage(node("T"), PortSide::Input, 0, 3));
    EXPECT_TRUE(render());
    FrameDotOptions labelled;
    labelled.transitions = true;
    const QByteArray text = frameAsDot(renderer, labelled);
    EXPECT_EQ(edgeLabels(text), QStringList({"G.input 0 -> G/X.in0: 3\u21922 history read",
                                             "G/Q.out0 -> G/X.in1: 0\u21920 read after write",
                                             "G.output 0 -> Y.in0: 0\u21920 read after write",
                                             "Y.out0 -> T.in0: 1\u21923 read after write"}))
        << text.toStdString();
    EXPECT_TRUE(dotAccepts(text)) << text.toStdString();
}

// A history input has no edge in the graph; the picture draws its read of the frame before,
// from the producer's output to the input, hover text by path, and only for such inputs.
//   S -> T.0 -> output;  T.1 reads T.0 of the frame before.
TEST_F(DotTest, AHistoryInputIsDrawnReadingTheFrameBefore) {
    add("S", 0, 1);
    add("T", 2, 1);
    link("S", "T");
    up(renderer.addOutput("image"), "T");
    EXPECT_TRUE(render());
    const QByteArray without = frameAsDot(renderer);
    EXPECT_FALSE(without.contains("frame before"));
    ASSERT_TRUE(renderer.setHistoryInput(node("T"), 1, node("T"), 0));
    int producer = -1, output = -1;
    ASSERT_TRUE(renderer.historySource(node("T"), 1, &producer, &output));
    EXPECT_EQ(producer, node("T"));
    EXPECT_EQ(output, 0);
    EXPECT_FALSE(renderer.historySource(node("T"), 0, &producer, &output));
    EXPECT_TRUE(render());
    const QByteArray text = frameAsDot(renderer);
    const QByteArray edge =
        QString(
            "  \"n%1\":o0 -> \"n%1\":i1 [style=dashed, color=\"#8a8a8a\", constraint=false, "
            "tooltip=\"T.out0 -> T.in1\\nframe before\", label=\"frame before\"")
            .arg(node("T"))
            .toUtf8();
    EXPECT_TRUE(text.contains(edge)) << text.toStdString();
    EXPECT_EQ(text.count("frame before\""), 2);
    EXPECT_TRUE(dotAccepts(text)) << text.toStdString();
}
