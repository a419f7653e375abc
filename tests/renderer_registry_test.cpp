#include <Orv/Graph.h>
#include <Orv/Renderer.h>

#include "recording_pass.h"

#include <gtest/gtest.h>

using namespace Vantrel::Orv;

namespace {
const int kRoot = Graph::kRootNodeRef;
}

TEST(RendererRegistryTest, ParametersAndOutputsAreRootPortsKeptInStep) {
    Renderer renderer;
    EXPECT_EQ(renderer.numParameters(), 0);
    EXPECT_EQ(renderer.getNumPasses(), 0);
    EXPECT_EQ(renderer.getGraph()->numNodesGlobal(), 1);

    EXPECT_EQ(renderer.addParameter("exposure", 1.5), 0);
    EXPECT_EQ(renderer.addOutput("image"), 0);
    EXPECT_EQ(renderer.addParameter("exposure", 3), 1);
    EXPECT_EQ(renderer.addOutput("depth"), 1);
    EXPECT_EQ(renderer.getGraph()->numInputs(kRoot), 2);
    EXPECT_EQ(renderer.getGraph()->outputName(kRoot, 1), "depth");
    EXPECT_EQ(renderer.findParameter("exposure"), 0);
    EXPECT_EQ(renderer.findOutput("depth"), 1);
    EXPECT_EQ(renderer.findOutput("Depth"), -1);

    EXPECT_EQ(renderer.parameterType(0), QMetaType::Double);
    renderer.setParameter(0, QString("bright"));
    EXPECT_EQ(renderer.parameterType(0), QMetaType::QString);
    EXPECT_EQ(renderer.parameterValue(0), QVariant(QString("bright")));
    EXPECT_EQ(renderer.outputType(0), QMetaType::UnknownType);
    EXPECT_FALSE(renderer.output(0).isValid());

    for (int index : {-1, 2, 50}) {
        renderer.setParameter(index, 2);
        EXPECT_EQ(renderer.parameterType(index), QMetaType::UnknownType);
        EXPECT_FALSE(renderer.parameterValue(index).isValid());
        EXPECT_EQ(renderer.outputType(index), QMetaType::UnknownType);
        EXPECT_FALSE(renderer.output(index).isValid());
    }
    EXPECT_EQ(renderer.numParameters(), 2);
}

TEST(RendererRegistryTest, PassNodesMirrorTheirPasses) {
    QStringList log;
    Renderer renderer;
    auto* a = new RecordingPass("A", &log, 2, 1);
    const int aNode = renderer.addPass("A", a, kRoot);
    const int group = renderer.addGroup("G", 1, 1, kRoot);
    const int bNode = renderer.addPass("B", new RecordingPass("B", &log, 1, 3), group);
    const Graph* graph = renderer.getGraph();

    EXPECT_EQ(graph->parentNode(bNode), group);
    EXPECT_EQ(graph->numInputs(aNode), 2);
    EXPECT_EQ(graph->inputName(aNode, 1), "in1");
    EXPECT_EQ(graph->numOutputs(bNode), 3);
    EXPECT_EQ(graph->outputName(bNode, 2), "out2");
    EXPECT_EQ(graph->nodeValue(aNode), 0);
    EXPECT_EQ(graph->nodeValue(bNode), 1);
    EXPECT_EQ(graph->nodeValue(group), -1);

    EXPECT_EQ(renderer.renderPass(aNode), a);
    EXPECT_TRUE(renderer.enabled(bNode));
    EXPECT_EQ(renderer.findPass("A"), aNode);
    EXPECT_EQ(renderer.findPass("G"), group);
    EXPECT_EQ(renderer.findPass("B"), -1) << "nested passes are not found";
    EXPECT_TRUE(log.isEmpty()) << "adding calls nothing but the port queries";

    renderer.setEnabled(bNode, false);
    EXPECT_FALSE(renderer.enabled(bNode));
    EXPECT_TRUE(renderer.enabled(aNode));

    const int stray = renderer.getGraph()->addNode("stray", 0, 0, kRoot);
    renderer.getGraph()->setNodeValue(stray, 2);  // one past the last pass
    for (int node : {kRoot, group, stray, -1, 999}) {
        EXPECT_EQ(renderer.renderPass(node), nullptr) << node;
        renderer.setEnabled(node, true);
        EXPECT_FALSE(renderer.enabled(node)) << node;
    }
}

TEST(RendererRegistryTest, RefusedPassesAreDeletedUnlessAlreadyOwned) {
    QStringList log;
    Renderer renderer;
    auto* a = new RecordingPass("A", &log);
    const int aNode = renderer.addPass("A", a, kRoot);
    EXPECT_EQ(renderer.addPass("null", nullptr, kRoot), -1);
    EXPECT_EQ(renderer.addPass("orphan", new RecordingPass("orphan", &log), 999), -1);
    EXPECT_EQ(renderer.addPass("twice", a, kRoot), -1);
    EXPECT_EQ(renderer.addGroup("lost", 1, 1, -1), -1);
    EXPECT_EQ(log, QStringList({"orphan.deleted"}));
    EXPECT_EQ(renderer.getGraph()->numNodesGlobal(), 2);
    EXPECT_EQ(renderer.renderPass(aNode), a);
}

TEST(RendererRegistryTest, DestructionDeletesPassesInPassOrderWithoutTeardown) {
    QStringList log;
    {
        Renderer renderer;
        const int group = renderer.addGroup("G", 0, 0, kRoot);
        renderer.addPass("X", new RecordingPass("X", &log), group);
        renderer.addPass("Y", new RecordingPass("Y", &log), kRoot);
        renderer.addPass("Z", new RecordingPass("Z", &log), group);
    }
    EXPECT_EQ(log, QStringList({"X.deleted", "Y.deleted", "Z.deleted"}));
}
