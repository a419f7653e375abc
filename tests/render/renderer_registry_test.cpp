#include <Orv/Graph.h>
#include <Orv/Renderer.h>

#include "renderer_fixture.h"

using namespace Vantrel::Orv;

namespace {
using RendererRegistryTest = RendererFixture;
struct HostFirst {};
struct HostColour {
    int rgb;
};
}  // namespace

Q_DECLARE_METATYPE(HostFirst)
Q_DECLARE_METATYPE(HostColour)

TEST_F(RendererRegistryTest, ParametersAndOutputsAreRootPortsKeptInStep) {
    EXPECT_EQ(renderer.addParameter("exposure", 1.5), 0);
    EXPECT_EQ(renderer.addOutput("image"), 0);
    EXPECT_EQ(renderer.addParameter("exposure", 3), 1);
    EXPECT_EQ(renderer.addOutput("depth"), 1);
    EXPECT_TRUE(graph()->numNodesGlobal() == 1 && graph()->numInputs(kRoot) == 2);
    EXPECT_EQ(graph()->outputName(kRoot, 1), "depth");
    EXPECT_EQ(renderer.findParameter("exposure"), 0);
    EXPECT_EQ(renderer.findOutput("depth"), 1);
    EXPECT_EQ(renderer.findOutput("Depth"), -1);

    renderer.setParameter(0, QString("bright"));
    EXPECT_EQ(renderer.parameterType(0), QMetaType::QString);
    EXPECT_EQ(renderer.parameterValue(0), QVariant(QString("bright")));
    const Renderer& readOnly = renderer;
    EXPECT_EQ(readOnly.parameterValue(0), QVariant(QString("bright")));
    EXPECT_FALSE(readOnly.parameterValue(2).isValid());
    EXPECT_EQ(renderer.outputType(0), QMetaType::UnknownType);
    EXPECT_FALSE(renderer.output(0).isValid());
    for (int index : {-1, 2, 50}) {
        renderer.setParameter(index, 2);
        EXPECT_TRUE(renderer.parameterType(index) == QMetaType::UnknownType &&
                    renderer.outputType(index) == QMetaType::UnknownType &&
                    !renderer.parameterValue(index).isValid() && !renderer.output(index).isValid())
            << index;
    }
    EXPECT_EQ(renderer.numParameters(), 2);

    // Every type the host registers reports as QMetaType::User, whatever id it was given.
    qMetaTypeId<HostFirst>();
    ASSERT_GT(qMetaTypeId<HostColour>(), int(QMetaType::User));
    renderer.setParameter(1, QVariant::fromValue(HostColour{7}));
    EXPECT_EQ(renderer.parameterType(1), QMetaType::User);
    add("P")->setOutput(0, QVariant::fromValue(HostColour{9}));
    renderer.setEnabled(node("P"), false);
    up(0, "P");
    render();
    EXPECT_EQ(renderer.outputType(0), QMetaType::User);
    EXPECT_EQ(renderer.output(0).value<HostColour>().rgb, 9);
}

TEST_F(RendererRegistryTest, PassNodesMirrorTheirPasses) {
    RecordingPass* a = add("A", 2, 1);
    group("G", 1, 1);
    add("B", 1, 3, "G");
    const int aNode = node("A"), groupNode = node("G"), bNode = node("B");
    EXPECT_EQ(graph()->parentNode(bNode), groupNode);
    EXPECT_EQ(graph()->inputName(aNode, 1) + graph()->outputName(bNode, 2), "in1out2");
    EXPECT_TRUE(graph()->numInputs(aNode) == 2 && graph()->numOutputs(bNode) == 3);
    EXPECT_TRUE(graph()->nodeValue(aNode) == 0 && graph()->nodeValue(bNode) == 1);
    EXPECT_EQ(graph()->nodeValue(groupNode), -1);
    EXPECT_EQ(renderer.renderPass(aNode), a);
    EXPECT_EQ(renderer.findPass("G"), groupNode);
    EXPECT_EQ(renderer.findPass("B"), -1) << "nested passes are not found";
    EXPECT_TRUE(log.isEmpty()) << "adding calls nothing but the port queries";

    EXPECT_TRUE(renderer.enabled(aNode));
    const int stray = graph()->addNode("stray", 0, 0, kRoot);
    graph()->setNodeValue(stray, 2);  // one past the last pass
    for (int ref : {kRoot, groupNode, stray, -1, 999}) {
        renderer.setEnabled(ref, true);
        EXPECT_TRUE(renderer.renderPass(ref) == nullptr && !renderer.enabled(ref)) << ref;
    }
}

TEST_F(RendererRegistryTest, AGroupWithNamedPortsTakesTheNamesGiven) {
    EXPECT_EQ(renderer.addGroup("lost", QStringList{"in0"}, QStringList{}, 999), -1);
    const int before = graph()->numNodesGlobal();
    const int group = renderer.addGroup("G", {"in0", "extra"}, {"out0"}, kRoot);
    EXPECT_EQ(graph()->numNodesGlobal(), before + 1);
    ASSERT_TRUE(graph()->numInputs(group) == 2 && graph()->numOutputs(group) == 1);
    EXPECT_EQ(
        graph()->inputName(group, 0) + graph()->inputName(group, 1) + graph()->outputName(group, 0),
        "in0extraout0");
}

// Destruction deletes every pass, in pass order, without a teardown.
TEST(RendererOwnershipTest, RefusedPassesAreDeletedUnlessAlreadyOwnedAndTheRestAtTheEnd) {
    QStringList log;
    {
        Renderer renderer;
        const int group = renderer.addGroup("G", 0, 0, kRoot);
        auto* x = new RecordingPass("X", &log);
        const int xNode = renderer.addPass("X", x, group);
        EXPECT_EQ(renderer.addPass("null", nullptr, kRoot), -1);
        EXPECT_EQ(renderer.addPass("orphan", new RecordingPass("orphan", &log), 999), -1);
        EXPECT_EQ(renderer.addPass("twice", x, kRoot), -1);
        EXPECT_EQ(renderer.addGroup("lost", 1, 1, -1), -1);
        EXPECT_EQ(grouped(log), "orphan{deleted}");
        EXPECT_EQ(renderer.getGraph()->numNodesGlobal(), 3);
        EXPECT_EQ(renderer.renderPass(xNode), x);
        renderer.addPass("Y", new RecordingPass("Y", &log), kRoot);
        renderer.addPass("Z", new RecordingPass("Z", &log), group);
        log.clear();
    }
    EXPECT_EQ(grouped(log), "X{deleted} Y{deleted} Z{deleted}");
}

// Graph::purge renumbers nodes but leaves the target's ref alone; purgeGraph moves the target
// with its node, and clears it when the node is gone.
TEST_F(RendererRegistryTest, PurgeGraphKeepsTheTargetOnItsNode) {
    add("a"), add("b"), add("c");
    const int c = node("c");
    graph()->removeNode(node("a"));
    renderer.setTarget(c);
    renderer.purgeGraph();
    ASSERT_EQ(renderer.target(), c - 1);
    EXPECT_EQ(graph()->nodeName(renderer.target()), "c");
    ASSERT_TRUE(render());
    EXPECT_EQ(runs(), "c");

    // The target's own node removed: nothing is left to name.
    renderer.setTarget(graph()->findNode("b", kRoot));
    graph()->removeNode(renderer.target());
    renderer.purgeGraph();
    EXPECT_EQ(renderer.target(), -1);
    EXPECT_EQ(graph()->numNodesGlobal(), 2);

    // For contrast, Graph::purge alone: the old ref now names no node at all.
    renderer.setTarget(graph()->findNode("c", kRoot));
    graph()->removeNode(renderer.target());
    graph()->purge();
    EXPECT_EQ(renderer.target(), 1);
    EXPECT_FALSE(graph()->isValidNode(renderer.target()));
}
