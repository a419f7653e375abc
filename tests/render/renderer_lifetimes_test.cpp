// Output lifetimes: which step produces each output, which step reads it last, and which
// outputs must outlive the frame.
#include <Orv/Renderer.h>

#include "renderer_fixture.h"

using namespace Vantrel::Orv;

namespace {

class RendererLifetimesTest : public RendererFixture {
protected:
    // "X0:0-1" per output in schedule order: pass, output, producer step, last reader step
    // ("-" for none), then "*" when it outlives the frame; also checks the reader's node.
    QString lifetimes() const {
        QStringList text;
        for (const OutputLifetime& lifetime : renderer.outputLifetimes()) {
            QString name = nodes.key(lifetime.node);
            name += QString("%1:%2-").arg(lifetime.output).arg(lifetime.producerStep);
            name += lifetime.lastReaderStep < 0 ? QString("-")
                                                : QString::number(lifetime.lastReaderStep);
            if (lifetime.outlivesFrame) name += '*';
            text << name;
            const int readerNode = lifetime.lastReaderNode;
            EXPECT_EQ(readerNode < 0, lifetime.lastReaderStep < 0) << name.toStdString();
        }
        return text.join(' ');
    }
};

}  // namespace

//   X -> Y1, X -> Y2;  Y1 -> Z.0, Y2 -> Z.1;  Z -> output 0;  X has a second output nobody reads.
TEST_F(RendererLifetimesTest, ADiamondKeepsTheSharedOutputUntilItsLastReader) {
    EXPECT_TRUE(renderer.outputLifetimes().isEmpty());  // no frame yet
    add("X", 1, 2), add("Y1"), add("Y2"), add("Z", 2, 1);
    link("X", "Y1");
    link("X", "Y2");
    link("Y1", "Z", 0, 0);
    link("Y2", "Z", 0, 1);
    up(renderer.addOutput("image"), "Z");
    EXPECT_TRUE(renderer.outputLifetimes().isEmpty());
    EXPECT_TRUE(render());
    // Z feeds the renderer output, which keeps it past the frame.
    EXPECT_EQ(lifetimes(), "X0:0-2 X1:0-- Y10:1-3 Y20:2-3 Z0:3--*");
    EXPECT_EQ(renderer.outputLifetimes()[0].lastReaderNode, nodes["Y2"]);

    // A disabled reader still counts: it may be switched on again.
    renderer.setEnabled(nodes["Y2"], false);
    EXPECT_TRUE(render());
    EXPECT_EQ(lifetimes(), "X0:0-2 X1:0-- Y10:1-3 Y20:2-3 Z0:3--*");
}

//   X -> G.in;  G[ G.in -> C;  C -> G.out ];  G.out -> W;  W -> output 0;  X -> output 1.
TEST_F(RendererLifetimesTest, ReadersInsideGroupsCountAndCollectedOutputsOutliveTheFrame) {
    add("X");
    group("G", 1, 1);
    add("C", 1, 1, "G");
    add("W");
    link("X", "G");
    down(0, "C");
    up(0, "C");
    link("G", "W");
    up(renderer.addOutput("image"), "W");
    up(renderer.addOutput("raw"), "X");
    EXPECT_TRUE(render());
    // X is read by C and also collected; C is read by W through the group's output.
    EXPECT_EQ(lifetimes(), "X0:0-1* C0:1-2 W0:2--*");
}

//   loopThroughGroup(): Y -> G.in;  G[ G.in -> X.0;  Q -> X.1;  X -> G.out ];  G.out -> Y;  Y -> T.
// The frame meets Y first and cuts the loop at X's input: X reads Y's value of the frame
// before, so Y's output must outlive the frame even if no renderer output took it. T's, the
// target's, outlives it too: the host reads it after the frame.
TEST_F(RendererLifetimesTest, AProducerLoopKeepsTheOutputReadBeforeItIsWritten) {
    loopThroughGroup();
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "Q X Y T");
    EXPECT_EQ(lifetimes(), "Q0:0-1 X0:1-2 Y0:2-3* T0:3--*");
}
