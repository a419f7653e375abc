#include <Orv/Graph.h>
#include <Orv/Renderer.h>

#include "recording_pass.h"

#include <QHash>

#include <functional>

#include <gtest/gtest.h>

using namespace Vantrel::Orv;

namespace {

const int kRoot = Graph::kRootNodeRef;

// Builds renderers of RecordingPasses by name and wires them through the graph.
class RendererFrameTest : public ::testing::Test {
protected:
    RecordingPass* add(const QString& name, int numInputs = 1, int numOutputs = 1,
                       int parent = kRoot) {
        passes[name] = new RecordingPass(name, &log, numInputs, numOutputs);
        nodes[name] = renderer.addPass(name, passes[name], parent);
        return passes[name];
    }
    int group(const QString& name, int numInputs, int numOutputs, int parent = kRoot) {
        return nodes[name] = renderer.addGroup(name, numInputs, numOutputs, parent);
    }
    int node(const QString& name) const { return nodes.value(name, -1); }
    Graph* graph() { return renderer.getGraph(); }
    void connect(const QString& src, int output, const QString& dst, int input) {
        ASSERT_NE(graph()->addEdge(node(src), output, node(dst), input), -1);
    }
    void connectDown(int parentInput, const QString& child, int childInput) {
        ASSERT_NE(graph()->addDownEdge(parentInput, node(child), childInput), -1);
    }
    void connectUp(int parentOutput, const QString& child, int childOutput) {
        ASSERT_NE(graph()->addUpEdge(parentOutput, node(child), childOutput), -1);
    }

    //   X -> Y -> Z -> output 0
    void buildChain() {
        add("X"), add("Y"), add("Z");
        renderer.addOutput("image");
        connect("X", 0, "Y", 0);
        connect("Y", 0, "Z", 0);
        connectUp(0, "Z", 0);
    }
    bool render() {
        log.clear();
        return renderer.render(&callbacks);
    }
    QStringList runs() const { return passesThat(log, "start"); }
    QString output(int index) const { return renderer.output(index).toString(); }

    QStringList log;
    RenderCallbacks callbacks;
    RecordingRenderer renderer{&log};
    QHash<QString, int> nodes;
    QHash<QString, RecordingPass*> passes;
};

}  // namespace

TEST_F(RendererFrameTest, WithoutRootsAFrameOnlyTimesItself) {
    add("X");
    renderer.addOutput("unfed");
    EXPECT_TRUE(render());
    EXPECT_EQ(log, QStringList({"renderer.beginFrame", "renderer.endFrame"}));
    EXPECT_EQ(renderer.getNumPasses(), 0);
    EXPECT_FALSE(renderer.output(0).isValid());
    EXPECT_EQ(renderer.frameTimer().count(), 1);
}

TEST_F(RendererFrameTest, ChainRunsProducersFirstWithTheExactCallSequence) {
    buildChain();
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), QStringList({"X", "Y", "Z"}));
    EXPECT_EQ(renderer.getNumPasses(), 3);
    EXPECT_EQ(log.first(), "renderer.beginFrame");
    EXPECT_EQ(log.last(), "renderer.endFrame");
    const QStringList frame = {"setInput(0)",
                               "resetNumOutputUsers",
                               "setNumOutputUsers(0,1)",
                               "setErrorCode(0)",
                               "beginFrame",
                               "start",
                               "isFinished",
                               "endFrame",
                               "errorCode"};
    EXPECT_EQ(callsOf(log, "Y"), frame);
    QStringList zFrame = frame;  // a renderer output is not a user
    zFrame.removeAll("setNumOutputUsers(0,1)");
    EXPECT_EQ(callsOf(log, "Z"), zFrame);
    EXPECT_EQ(passes["Z"]->seenCallbacks, &callbacks);
    EXPECT_EQ(output(0), "Z(Y(X(default)))");
    EXPECT_EQ(renderer.outputType(0), QMetaType::QString);

    // An unfinished pass is polled until it finishes; endFrame follows the last poll.
    passes["Y"]->unfinishedPolls = 2;
    EXPECT_TRUE(render());
    const QStringList calls = callsOf(log, "Y");
    EXPECT_EQ(
        calls.mid(calls.indexOf("start")),
        QStringList({"start", "isFinished", "isFinished", "isFinished", "endFrame", "errorCode"}));
    EXPECT_EQ(runs(), QStringList({"X", "Y", "Z"}));
    EXPECT_EQ(renderer.frameTimer().count(), 2);
    EXPECT_EQ(passes["Y"]->frameTimer().count(), 2);
}

//        +-> Y1 -+
//   X ---+       +-> Z -> output 0
//        +-> Y2 -+
TEST_F(RendererFrameTest, DiamondRunsTheSharedProducerOnceWithTwoUsers) {
    add("X"), add("Y1"), add("Y2"), add("Z", 2, 1);
    renderer.addOutput("image");
    connect("X", 0, "Y1", 0);
    connect("X", 0, "Y2", 0);
    connect("Y1", 0, "Z", 0);
    connect("Y2", 0, "Z", 1);
    connectUp(0, "Z", 0);

    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), QStringList({"X", "Y1", "Y2", "Z"}));
    EXPECT_TRUE(callsOf(log, "X").contains("setNumOutputUsers(0,2)"));
    EXPECT_EQ(output(0), "Z(Y1(X(default)),Y2(X(default)))");
}

// Parameter 0 reaches P through groups G and H; H's second input is fed by nothing.
TEST_F(RendererFrameTest, ParametersReachPassesThroughNestedGroups) {
    renderer.addParameter("exposure", 7);
    renderer.addParameter("direct", QString("d"));
    renderer.addOutput("image");
    renderer.addOutput("plain");
    const int g = group("G", 1, 1);
    const int h = group("H", 2, 1, g);
    add("P", 2, 1, h), add("Q");
    ASSERT_NE(graph()->addDownEdge(0, g, 0), -1);
    ASSERT_NE(graph()->addDownEdge(0, h, 0), -1);
    connectDown(0, "P", 0);
    connectDown(1, "P", 1);
    connectUp(0, "P", 0);
    ASSERT_NE(graph()->addUpEdge(0, h, 0), -1);
    ASSERT_NE(graph()->addUpEdge(0, g, 0), -1);
    connectDown(1, "Q", 0);
    connectUp(1, "Q", 0);

    EXPECT_TRUE(render());
    EXPECT_EQ(output(0), "P(7,default)");
    EXPECT_EQ(output(1), "Q(d)");

    renderer.setParameter(0, 8);
    passes["P"]->setDefaultValue(1, QString("new default"));
    EXPECT_TRUE(render());
    EXPECT_EQ(output(0), "P(8,new default)");
    EXPECT_FALSE(log.join(' ').contains("teardownContextData"));
}

//   X -> G[ -> I (needed), -> U (not needed); I -> ] -> C -> output 0
TEST_F(RendererFrameTest, GroupOutputsFeedSiblingsAndOnlyNeededInnerConsumersCount) {
    add("X");
    const int g = group("G", 1, 1);
    add("I", 1, 1, g), add("U", 1, 1, g), add("C");
    renderer.addOutput("image");
    ASSERT_NE(graph()->addEdge(node("X"), 0, g, 0), -1);
    connectDown(0, "I", 0);
    connectDown(0, "U", 0);
    connectUp(0, "I", 0);
    ASSERT_NE(graph()->addEdge(g, 0, node("C"), 0), -1);
    connectUp(0, "C", 0);

    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), QStringList({"X", "I", "C"}));
    EXPECT_EQ(passes["X"]->users(0), 1) << "I counts; U and the group itself are not needed";
    EXPECT_EQ(passes["I"]->users(0), 0) << "an up edge counts only a needed container";
    EXPECT_EQ(output(0), "C(I(X(default)))");
}

TEST_F(RendererFrameTest, DisabledPassIsSkippedButStillCountsAndFeedsTheOutputs) {
    buildChain();
    renderer.setEnabled(node("Y"), false);
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), QStringList({"X", "Z"}));
    EXPECT_EQ(renderer.getNumPasses(), 2);
    EXPECT_TRUE(callsOf(log, "Y").isEmpty());
    EXPECT_EQ(passes["X"]->users(0), 1);
    EXPECT_EQ(output(0), "Z(default)");

    renderer.setEnabled(node("Y"), true);
    renderer.setEnabled(node("Z"), false);
    passes["Z"]->setOutput(0, QString("left over"));
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), QStringList({"X", "Y"}));
    EXPECT_EQ(output(0), "left over");
}

//   X -> Y --+
//            +-> Z -> output 0
//   V -------+
TEST_F(RendererFrameTest, FirstErrorStopsTheFrameButOutputsAreCollected) {
    add("X"), add("Y"), add("V"), add("Z", 2, 1);
    renderer.addOutput("image");
    connect("X", 0, "Y", 0);
    connect("Y", 0, "Z", 0);
    connect("V", 0, "Z", 1);
    connectUp(0, "Z", 0);
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), QStringList({"X", "Y", "V", "Z"}));

    passes["Y"]->failWith = 3;
    passes["Z"]->setOutput(0, QString("kept from before"));
    EXPECT_FALSE(render());
    EXPECT_EQ(runs(), QStringList({"X", "Y"})) << "neither Z's further input V nor Z runs";
    EXPECT_EQ(callsOf(log, "Y").mid(7), QStringList({"endFrame", "errorCode"}));
    EXPECT_EQ(output(0), "kept from before");
    EXPECT_EQ(log.last(), "renderer.endFrame");

    passes["Y"]->failWith = 0;  // the code is cleared before each run
    EXPECT_TRUE(render());
    EXPECT_EQ(runs().size(), 4);
}

TEST_F(RendererFrameTest, TargetRunsAfterItsProducersBesidesTheOutputs) {
    buildChain();
    add("S"), add("T");
    connect("S", 0, "T", 0);

    renderer.setTarget(node("T"));
    EXPECT_TRUE(render());
    const QStringList order = runs();
    EXPECT_EQ(order.size(), 5);
    EXPECT_LT(order.indexOf("S"), order.indexOf("T"));
    EXPECT_LT(order.indexOf("X"), order.indexOf("Y"));
    EXPECT_LT(order.indexOf("Y"), order.indexOf("Z"));

    for (int ignored : {Graph::kInvalidNodeRef, 1000}) {
        renderer.setTarget(ignored);
        EXPECT_TRUE(render());
        EXPECT_EQ(runs(), QStringList({"X", "Y", "Z"}));
    }
    graph()->removeNode(node("T"));
    renderer.setTarget(node("T"));  // a removed node is ignored like a ref outside the graph
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), QStringList({"X", "Y", "Z"}));

    renderer.setTarget(kRoot);  // the root is needed only as the target
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), QStringList({"X", "Y", "Z"}));
    EXPECT_EQ(passes["Z"]->users(0), 1);
}

TEST_F(RendererFrameTest, TargetGroupRunsItsFeedersAndPortlessPassesRunToo) {
    add("X"), add("E", 0, 0);
    const int g = group("G", 1, 0);
    add("I", 1, 1, g);
    ASSERT_NE(graph()->addEdge(node("X"), 0, g, 0), -1);
    connectDown(0, "I", 0);

    renderer.setTarget(g);
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), QStringList({"X"}));
    EXPECT_EQ(passes["X"]->users(0), 1) << "the needed group counts; I, not needed, does not";

    renderer.setTarget(node("E"));
    EXPECT_TRUE(render());
    EXPECT_EQ(callsOf(log, "E"),
              QStringList({"resetNumOutputUsers", "setErrorCode(0)", "beginFrame", "start",
                           "isFinished", "endFrame", "errorCode"}));
}

TEST_F(RendererFrameTest, OutputEndingAtAGroupKeepsItsValue) {
    const int g = group("G", 0, 1);
    add("P", 0, 1, g);
    renderer.addOutput("image");
    ASSERT_NE(graph()->addUpEdge(0, g, 0), -1);
    connectUp(0, "P", 0);
    EXPECT_TRUE(render());
    EXPECT_EQ(output(0), "P()");

    graph()->removeEdge(graph()->outputSource(g, 0));
    EXPECT_TRUE(render());
    EXPECT_TRUE(runs().isEmpty());
    EXPECT_EQ(output(0), "P()");
}

TEST_F(RendererFrameTest, SetupAndTeardownReachEveryPassInPassOrder) {
    buildChain();
    renderer.setEnabled(node("Y"), false);
    log.clear();
    renderer.setup(&callbacks);
    EXPECT_EQ(log, QStringList({"X.setup", "Y.setup", "Z.setup"}));
    EXPECT_EQ(passes["Y"]->seenCallbacks, &callbacks);
    log.clear();
    renderer.teardown(nullptr);
    EXPECT_EQ(log, QStringList({"X.teardown", "Y.teardown", "Z.teardown"}));
    EXPECT_EQ(passes["Y"]->seenCallbacks, nullptr);
}

namespace {

// Adds one to its input, so the end of a chain tells how many passes ran in order.
class CountingPass : public RenderPassHelper {
public:
    CountingPass() { addInput("in", 0), addOutput("out"); }
    void start(RenderCallbacks*) override { _outputs[0].value = _inputs.at(0).value.toInt() + 1; }
};

// Tries to start a nested frame of its own renderer, which is refused.
class NestingPass : public RenderPassHelper {
public:
    explicit NestingPass(Renderer* renderer) : _renderer(renderer) { addOutput("out"); }
    void start(RenderCallbacks* callbacks) override {
        _outputs[0].value = _renderer->render(callbacks);
    }

private:
    Renderer* _renderer;
};

}  // namespace

// Frames reuse what they derive from the set-up until it changes: every kind of edit between
// frames must show in the next frame, and again in the one after (which reuses it).
//   W (-> X, then output 1, as the steps say);  X -> Y -> Z -> output 0
TEST_F(RendererFrameTest, EditsBetweenFramesShowInTheNextFrames) {
    add("W");
    buildChain();
    struct Step {
        const char* edit;
        std::function<void()> apply;
        QStringList runs;
        QStringList outputs;
        bool result = true;
        int usersOfW = 0;
    };
    const QString chain = "Z(Y(X(default)))";
    const QString fromParameter = "Z(Y(X(p2)))";
    const Step steps[] = {
        {"none", [] {}, {"X", "Y", "Z"}, {chain}},
        {"disable Y", [&] { renderer.setEnabled(node("Y"), false); }, {"X", "Z"}, {"Z(default)"}},
        {"enable Y", [&] { renderer.setEnabled(node("Y"), true); }, {"X", "Y", "Z"}, {chain}},
        {"target W", [&] { renderer.setTarget(node("W")); }, {"X", "Y", "Z", "W"}, {chain}},
        {"W feeds X",
         [&] { connect("W", 0, "X", 0); },
         {"W", "X", "Y", "Z"},
         {"Z(Y(X(W(default))))"},
         true,
         1},
        {"no target; a parameter feeds X",
         [&] {
             renderer.setTarget(Graph::kInvalidNodeRef);
             graph()->disconnectInput(node("X"), 0);
             renderer.addParameter("p", QString("p1"));
             connectDown(0, "X", 0);
         },
         {"X", "Y", "Z"},
         {"Z(Y(X(p1)))"}},
        {"parameter value",
         [&] { renderer.setParameter(0, QString("p2")); },
         {"X", "Y", "Z"},
         {fromParameter}},
        {"a second output fed by W",
         [&] {
             renderer.addOutput("second");
             connectUp(1, "W", 0);
         },
         {"X", "Y", "Z", "W"},
         {fromParameter, "W(default)"}},
        {"remove W",
         [&] { graph()->removeNode(node("W")); },
         {"X", "Y", "Z"},
         {fromParameter, "W(default)"}},
        {"purge", [&] { graph()->purge(); }, {"X", "Y", "Z"}, {fromParameter, "W(default)"}},
        {"Y fails",
         [&] { passes["Y"]->failWith = 3; },
         {"X", "Y"},
         {fromParameter, "W(default)"},
         false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.edit);
        step.apply();
        for (int frame = 0; frame < 2; ++frame) {
            EXPECT_EQ(render(), step.result);
            EXPECT_EQ(runs(), step.runs);
            EXPECT_EQ(renderer.getNumPasses(), step.runs.size());
            QStringList outputs;
            for (int o = 0; o < renderer.numOutputs(); ++o) outputs << output(o);
            EXPECT_EQ(outputs, step.outputs);
            if (step.runs.contains("W")) {
                EXPECT_EQ(passes["W"]->users(0), step.usersOfW);
            }
        }
    }
}

TEST(RendererLongChainTest, HundredThousandPassesRunProducersFirst) {
    const int kLength = 100000;
    Renderer renderer;
    renderer.addOutput("count");
    int previous = -1;
    for (int i = 0; i < kLength; ++i) {
        const int node = renderer.addPass("step", new CountingPass, kRoot);
        if (previous != -1 && renderer.getGraph()->addEdge(previous, 0, node, 0) == -1) break;
        previous = node;
    }
    ASSERT_NE(renderer.getGraph()->addUpEdge(0, previous, 0), -1);
    EXPECT_TRUE(renderer.render(nullptr));
    EXPECT_EQ(renderer.getNumPasses(), kLength);
    EXPECT_EQ(renderer.output(0), QVariant(kLength));
}

TEST(RendererNestingTest, FrameStartedFromInsideAFrameIsRefused) {
    Renderer renderer;
    renderer.addOutput("nested");
    const int node = renderer.addPass("nesting", new NestingPass(&renderer), kRoot);
    ASSERT_NE(renderer.getGraph()->addUpEdge(0, node, 0), -1);
    EXPECT_TRUE(renderer.render(nullptr));
    EXPECT_EQ(renderer.output(0), QVariant(false));
    EXPECT_EQ(renderer.frameTimer().count(), 1);
    EXPECT_TRUE(renderer.render(nullptr)) << "the guard is released after the frame";
}
