// The renderer's memory plan, the waits that keep reused memory safe with passes in flight, and
// release at last use.
#include <Orv/Renderer.h>

#include "renderer_fixture.h"

#include <random>

using namespace Vantrel::Orv;

namespace {

class RendererMemoryTest : public RendererFixture {
protected:
    OutputMemory bytes(qint64 size, qint64 alignment = 1) {
        OutputMemory memory;
        memory.size = size;
        memory.alignment = alignment;
        return memory;
    }
    // Writes "<pass>.free<output>" into the log when an output is handed back.
    void logReleases() {
        renderer.setOutputReleased([this](RenderPass* pass, int output) {
            for (auto it = passes.begin(); it != passes.end(); ++it) {
                if (it.value() == pass) log << it.key() + QString(".free%1").arg(output);
            }
        });
    }
    // A random graph of `count` passes, each reading up to three outputs of earlier passes,
    // the last two feeding renderer outputs; passes finish after 0 to 3 polls.
    void randomGraph(std::mt19937& random, int count) {
        for (int p = 0; p < count; ++p) {
            const QString name = QString("P%1").arg(p);
            const int inputs = p == 0 ? 0 : 1 + int(random() % 3);
            RecordingPass* pass = add(name, inputs, 1 + int(random() % 2));
            pass->unfinishedPolls = int(random() % 4);
            for (int i = 0; i < inputs; ++i) {
                const QString producer = QString("P%1").arg(random() % unsigned(p));
                const int output = int(random() % unsigned(passes[producer]->numOutputs()));
                link(producer, name, output, i);
            }
        }
        up(renderer.addOutput("a"), QString("P%1").arg(count - 1));
        up(renderer.addOutput("b"), QString("P%1").arg(count - 2));
    }
    int at(const QString& entry) const { return log.indexOf(entry); }
};

}  // namespace

//   A -> B -> C -> D -> output 0, 100 bytes each.
TEST_F(RendererMemoryTest, TheRendererPlansTheOutputsThatDoNotOutliveTheFrame) {
    chain("A B C D");
    for (const char* pass : {"A", "B", "C", "D"})
        EXPECT_TRUE(renderer.setOutputMemory(nodes[pass], 0, bytes(100, 4)));
    EXPECT_FALSE(renderer.setOutputMemory(nodes["A"], 1, bytes(100)));
    EXPECT_FALSE(renderer.setOutputMemory(nodes["A"], -1, bytes(100)));
    EXPECT_FALSE(renderer.setOutputMemory(kRoot, 0, bytes(100)));
    EXPECT_FALSE(renderer.setOutputMemory(99, 0, bytes(100)));
    EXPECT_FALSE(renderer.setOutputMemory(nodes["A"], 0, bytes(-1)));
    EXPECT_FALSE(renderer.setOutputMemory(nodes["A"], 0, bytes(100, 3)));

    EXPECT_TRUE(render());
    EXPECT_FALSE(renderer.memoryPlanning());
    EXPECT_TRUE(renderer.memoryPlan().offsets.isEmpty());
    EXPECT_EQ(renderer.memoryOffset(nodes["A"], 0), -1);

    renderer.setMemoryPlanning(true);
    EXPECT_TRUE(render());
    MemoryPlan plan = renderer.memoryPlan();
    EXPECT_TRUE(plan.error.isEmpty());
    EXPECT_EQ(plan.offsets.size(), 4);
    EXPECT_EQ(plan.totalSize, 300);  // D feeds the renderer output: not placed
    EXPECT_EQ(plan.lowerBound, 200);
    EXPECT_EQ(plan.heapSize, 200);
    EXPECT_EQ(renderer.memoryOffset(nodes["A"], 0), renderer.memoryOffset(nodes["C"], 0));
    EXPECT_NE(renderer.memoryOffset(nodes["A"], 0), renderer.memoryOffset(nodes["B"], 0));
    EXPECT_EQ(renderer.memoryOffset(nodes["D"], 0), -1);
    EXPECT_EQ(renderer.memoryOffset(nodes["D"], 1), -1);

    // A function replaces the table; a bad answer places nothing and says where.
    renderer.setOutputMemoryFunction([this](int node, int) {
        return bytes(node == nodes["B"] ? 8 : 50, node == nodes["C"] ? 3 : 1);
    });
    EXPECT_TRUE(render());
    plan = renderer.memoryPlan();
    EXPECT_EQ(plan.error, "output 0 of C: alignment 3 is not a power of two");
    EXPECT_TRUE(plan.offsets.isEmpty());
    EXPECT_EQ(renderer.memoryOffset(nodes["A"], 0), -1);
    EXPECT_EQ(runs(), "A B C D");

    // A resize: the function's answers change, and one call has them asked again.
    qint64 size = 50;
    renderer.setOutputMemoryFunction(
        [this, &size](int node, int) { return bytes(node == nodes["B"] ? 8 : size); });
    EXPECT_TRUE(render());
    EXPECT_EQ(renderer.memoryPlan().totalSize, 108);
    size = 70;
    EXPECT_TRUE(render());
    EXPECT_EQ(renderer.memoryPlan().totalSize, 108) << "nothing told the renderer";
    renderer.invalidateOutputSizes();
    EXPECT_TRUE(render());
    EXPECT_EQ(renderer.memoryPlan().totalSize, 148);
    EXPECT_EQ(renderer.memoryPlan().heapSize, 78);

    // The target's outputs are read after the frame, so they stay out of the heap.
    renderer.setTarget(nodes["C"]);
    EXPECT_TRUE(render());
    EXPECT_EQ(renderer.memoryPlan().totalSize, 78);
    EXPECT_EQ(renderer.memoryOffset(nodes["C"], 0), -1);
    renderer.setTarget(-1);
    renderer.setOutputMemoryFunction(nullptr);
    EXPECT_TRUE(render());
    EXPECT_EQ(renderer.memoryPlan().totalSize, 300);

    renderer.setMemoryPlanning(false);
    EXPECT_TRUE(render());
    EXPECT_TRUE(renderer.memoryPlan().offsets.isEmpty());
}

// On random graphs, one pass at a time and in flight: no two outputs share bytes while both
// are live, and no pass starts while a reader of the memory it overwrites is in flight. One
// pass at a time, planning changes no call.
class RendererMemoryRandomTest : public RendererMemoryTest,
                                 public ::testing::WithParamInterface<int> {};

TEST_P(RendererMemoryRandomTest, ReusedMemoryIsNeverWrittenWhileItsReadersAreInFlight) {
    std::mt19937 random{unsigned(GetParam())};
    randomGraph(random, 24 + int(random() % 24));
    auto sizeOf = [](int node, int output) { return 64 * (1 + (node * 7 + output * 3) % 5); };
    renderer.setOutputMemoryFunction(
        [&](int node, int output) { return bytes(sizeOf(node, output)); });
    ASSERT_TRUE(render());
    const QStringList plain = log;
    renderer.setMemoryPlanning(true);
    ASSERT_TRUE(render());
    EXPECT_EQ(log, plain);

    ASSERT_TRUE(renderer.setMaxPassesInFlight(8));
    ASSERT_TRUE(render());
    const QVector<OutputLifetime> lifetimes = renderer.outputLifetimes();
    const MemoryPlan plan = renderer.memoryPlan();
    ASSERT_EQ(plan.offsets.size(), lifetimes.size());
    EXPECT_GE(plan.heapSize, plan.lowerBound);
    EXPECT_LT(plan.heapSize, plan.totalSize);  // some memory is reused
    // The passes that touch each output: its own and its readers.
    QHash<QPair<int, int>, QStringList> touching;
    for (const QString& name : passes.keys()) {
        for (int o = 0; o < passes[name]->numOutputs(); ++o) touching[{nodes[name], o}] << name;
        for (int i = 0; i < passes[name]->numInputs(); ++i) {
            int node = nodes[name], port = i;
            if (graph()->walkToSourceNode(node, port)) touching[{node, port}] << name;
        }
    }
    for (int a = 0; a < lifetimes.size(); ++a) {
        for (int b = 0; b < lifetimes.size(); ++b) {
            const OutputLifetime& x = lifetimes[a];
            const OutputLifetime& y = lifetimes[b];
            if (a == b || plan.offsets[a] < 0 || plan.offsets[b] < 0 ||
                plan.offsets[b] < plan.offsets[a] ||
                plan.offsets[b] >= plan.offsets[a] + sizeOf(x.node, x.output))
                continue;
            // x's bytes hold y's first byte: whichever of them comes second starts only after
            // every pass touching the first has ended.
            const bool xFirst = std::max(x.producerStep, x.lastReaderStep) < y.producerStep;
            ASSERT_TRUE(xFirst || std::max(y.producerStep, y.lastReaderStep) < x.producerStep);
            const OutputLifetime& early = xFirst ? x : y;
            const int start = at(nodes.key((xFirst ? y : x).node) + ".start");
            for (const QString& pass : touching[{early.node, early.output}])
                EXPECT_LT(at(pass + ".end"), start) << pass.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RendererMemoryRandomTest, ::testing::Range(1, 13));

//   X -> Y -> Z -> output 0;  X.1 is read by nobody;  X -> W (target).
TEST_F(RendererMemoryTest, OutputsAreHandedBackAfterTheirLastReaderEnds) {
    add("X", 1, 2);
    chain("X Y Z");
    add("W");
    link("X", "W");
    renderer.setTarget(nodes["W"]);
    logReleases();
    for (int limit : {1, 3}) {
        ASSERT_TRUE(renderer.setMaxPassesInFlight(limit));
        passes["Y"]->unfinishedPolls = limit == 1 ? 0 : 3;
        EXPECT_TRUE(render());
        // Z's output feeds the renderer output and W's is the target's: both are kept.
        QStringList freed = passesThat(log, "free0").split(' ');
        freed.sort();
        EXPECT_EQ(freed.join(' ') + " | " + passesThat(log, "free1"), "X Y | X");
        EXPECT_LT(at("X.free1"), at("Y.start"));
        EXPECT_LT(at("Y.end"), at("X.free0"));
        EXPECT_LT(at("W.end"), at("X.free0"));
        EXPECT_LT(at("Z.end"), at("Y.free0"));
    }

    // A disabled reader is not waited for; a disabled producer hands back nothing.
    renderer.setEnabled(nodes["Y"], false);
    renderer.setEnabled(nodes["W"], false);
    EXPECT_TRUE(render());
    EXPECT_EQ(passesThat(log, "free0") + " | " + passesThat(log, "free1"), "X | X");
    EXPECT_LT(at("X.end"), at("X.free0"));

    // When a failure stops the frame, what is still held goes back as the frame ends.
    renderer.setEnabled(nodes["Y"], true);
    ASSERT_TRUE(renderer.setMaxPassesInFlight(1));
    passes["Y"]->failWith = 5;
    EXPECT_FALSE(render());
    EXPECT_EQ(passesThat(log, "free0"), "X Y");
    EXPECT_LT(at("Y.end"), at("X.free0"));

    // Switching the function off, even from inside it, is safe and takes effect next frame.
    passes["Y"]->failWith = 0;
    int calls = 0;
    renderer.setOutputReleased([&](RenderPass*, int) {
        ++calls;
        renderer.setOutputReleased(nullptr);
    });
    EXPECT_TRUE(render());
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(render());
    EXPECT_EQ(calls, 3);
}
