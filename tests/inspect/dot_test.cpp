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

// Hostile names and every edge kind, nested: the text stays something `dot` lays out.
TEST_F(DotTest, DotDrawsEveryLevelAndColoursTheLatestOutcomes) {
    renderer.addParameter("p <&>", 1);
    group("G {\"|}", 1, 1);
    add("in\\side %s é", 1, 1, "G {\"|}"), add("off"), add("unused"), add("spare");
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
    EXPECT_TRUE(dotAccepts(frame)) << frame.toStdString();
}

// Each name as the label's markup and as the hover text's DOT string: the same characters, with
// only what the two syntaxes reserve escaped.
TEST_F(DotTest, NamesAreQuotedAsTheyAreWhateverTheyHold) {
    for (const QString& name : hostileNames()) add(name);
    EXPECT_TRUE(render());
    const QByteArray text = frameAsDot(renderer);
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
        EXPECT_TRUE(text.contains(QByteArray("<B>") + name.label + "</B>")) << name.label;
        EXPECT_TRUE(text.contains(QByteArray("tooltip=\"") + name.tooltip + ": not needed\""))
            << name.tooltip;
    }
    EXPECT_TRUE(dotAccepts(text)) << text.toStdString();
}
