#include <Orv/RenderPassHelper.h>

#include <QThread>

#include <gtest/gtest.h>

using namespace Vantrel::Orv;

namespace {

// Exposes the protected tables, as a derived pass sees them.
class Pass : public RenderPassHelper {
public:
    using RenderPassHelper::_defaultValues;
    using RenderPassHelper::_errorCode;
    using RenderPassHelper::_inputs;
    using RenderPassHelper::_outputs;
    using RenderPassHelper::_outputUsers;

    void start(RenderCallbacks*) override { _outputs[0].value = _inputs.at(0).value.toInt() * 2; }
};

// A pass with inputs "a", "b", "a" and outputs "x", "y", "z".
class RenderPassHelperTest : public ::testing::Test {
protected:
    void SetUp() override {
        pass.addInput("a", 1);
        pass.addInput("b", QString("two"));
        pass.addInput("a", QVariant());
        pass.addOutput("x");
        pass.addOutput("y");
        pass.addOutput("z");
    }

    // The tables that must stay in step, and the names the renderer reads.
    void expectConsistent(const Pass& p) {
        EXPECT_EQ(p._inputs.size(), p._defaultValues.size());
        EXPECT_EQ(p._outputs.size(), p._outputUsers.size());
        EXPECT_EQ(p.numInputs(), p._inputs.size());
        EXPECT_EQ(p.numOutputs(), p._outputs.size());
        for (int i = 0; i < p.numInputs(); ++i) EXPECT_EQ(p.inputName(i), p._inputs.at(i).name);
        for (int o = 0; o < p.numOutputs(); ++o) EXPECT_EQ(p.outputName(o), p._outputs.at(o).name);
    }

    Pass pass;
};

}  // namespace

TEST(RenderPassHelperNewTest, StartsEmptyWithErrorCodeZero) {
    Pass pass;
    EXPECT_EQ(pass.numInputs(), 0);
    EXPECT_EQ(pass.numOutputs(), 0);
    EXPECT_EQ(pass.findInput(""), -1);
    EXPECT_EQ(pass.findOutput("x"), -1);
    EXPECT_EQ(pass.errorCode(), 0u);
    EXPECT_EQ(pass.frameTimer().count(), 0);
    EXPECT_TRUE(pass.isFinished());
    pass.resetNumOutputUsers();
    EXPECT_TRUE(pass._outputUsers.isEmpty());

    const NamedValue blank;
    EXPECT_TRUE(blank.name.isEmpty());
    EXPECT_FALSE(blank.value.isValid());
}

TEST_F(RenderPassHelperTest, PortsAreNumberedPerKindAndFoundByFirstName) {
    Pass fresh;
    EXPECT_EQ(fresh.addInput("in", 0), 0);
    EXPECT_EQ(fresh.addOutput("out"), 0);
    EXPECT_EQ(fresh.addInput("in", 0), 1);
    EXPECT_EQ(fresh.addOutput(""), 1);
    EXPECT_EQ(fresh.addInput("", 0), 2);
    expectConsistent(fresh);

    expectConsistent(pass);
    EXPECT_EQ(pass.findInput("a"), 0);
    EXPECT_EQ(pass.findInput("b"), 1);
    EXPECT_EQ(pass.findInput("A"), -1);
    EXPECT_EQ(pass.findOutput("z"), 2);
    EXPECT_EQ(pass.findOutput("a"), -1);
    EXPECT_EQ(pass.defaultValue(0), QVariant(1));
    EXPECT_EQ(pass.defaultValue(1), QVariant(QString("two")));
    EXPECT_FALSE(pass.defaultValue(2).isValid());
}

TEST_F(RenderPassHelperTest, ValuesAreInvalidUntilSetAndNamesSurviveSetInput) {
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(pass._inputs.at(i).value.isValid());
    for (int o = 0; o < 3; ++o) {
        EXPECT_FALSE(pass.output(o).isValid());
        EXPECT_EQ(pass._outputUsers.at(o), 0);
    }

    pass.setInput(1, 42);
    EXPECT_EQ(pass._inputs.at(1).value, QVariant(42));
    EXPECT_EQ(pass.inputName(1), "b");

    pass.setDefaultValue(0, QString("changed"));
    EXPECT_EQ(pass.defaultValue(0), QVariant(QString("changed")));
    EXPECT_EQ(pass._inputs.at(0).value.isValid(), false);

    pass.setInput(0, 5);
    pass.start(nullptr);
    EXPECT_EQ(pass.output(0), QVariant(10));
    expectConsistent(pass);
}

TEST_F(RenderPassHelperTest, UserCountsAreSetAndResetKeepingTheirEntries) {
    pass.setNumOutputUsers(0, 2);
    pass.setNumOutputUsers(2, 5);
    EXPECT_EQ(pass._outputUsers, QVector<int>({2, 0, 5}));
    pass.resetNumOutputUsers();
    EXPECT_EQ(pass._outputUsers, QVector<int>({0, 0, 0}));

    pass.setErrorCode(7);
    EXPECT_EQ(pass.errorCode(), 7u);
    pass.setErrorCode(0xFFFFFFFFu);
    EXPECT_EQ(pass.errorCode(), 0xFFFFFFFFu);
}

TEST_F(RenderPassHelperTest, IndexesOutsideTheTablesChangeNothing) {
    const Pass before = pass;
    for (int index : {-1, 3, 1000}) {
        pass.setInput(index, 1);
        pass.setDefaultValue(index, 1);
        pass.setNumOutputUsers(index, 1);
        EXPECT_TRUE(pass.inputName(index).isEmpty());
        EXPECT_TRUE(pass.outputName(index).isEmpty());
        EXPECT_FALSE(pass.defaultValue(index).isValid());
        EXPECT_FALSE(pass.output(index).isValid());
    }
    EXPECT_EQ(pass._defaultValues, before._defaultValues);
    EXPECT_EQ(pass._outputUsers, before._outputUsers);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(pass._inputs.at(i).value.isValid());
    expectConsistent(pass);
}

TEST_F(RenderPassHelperTest, CopiesAreIndependentValues) {
    pass.setInput(0, 11);
    pass.setNumOutputUsers(1, 3);
    pass.setErrorCode(9);
    pass.beginFrame(nullptr);
    pass.endFrame(nullptr);

    Pass copy(pass);
    EXPECT_EQ(copy._inputs.at(0).value, QVariant(11));
    EXPECT_EQ(copy._outputUsers, pass._outputUsers);
    EXPECT_EQ(copy.errorCode(), 9u);
    EXPECT_EQ(copy.frameTimer().count(), 1);
    EXPECT_EQ(copy.frameTimer().sum(), pass.frameTimer().sum());
    expectConsistent(copy);

    pass.setInput(0, 12);
    pass.addInput("late", 0);
    EXPECT_EQ(copy._inputs.at(0).value, QVariant(11));
    EXPECT_EQ(copy.numInputs(), 3);

    Pass assigned;
    assigned = pass;
    EXPECT_EQ(assigned.numInputs(), 4);
    EXPECT_EQ(assigned._inputs.at(0).value, QVariant(12));
    assigned.setDefaultValue(0, 99);
    EXPECT_EQ(pass.defaultValue(0), QVariant(1));
}

TEST_F(RenderPassHelperTest, BeginAndEndFrameTimeOneFrame) {
    pass.beginFrame(nullptr);
    EXPECT_TRUE(pass.frameTimer().isRunning());
    QThread::usleep(1000);
    pass.endFrame(nullptr);
    EXPECT_FALSE(pass.frameTimer().isRunning());
    EXPECT_EQ(pass.frameTimer().count(), 1);
    EXPECT_GE(pass.frameTimer().latest(), 1.0);

    // Only the host's own setup, teardown and context calls; the base does nothing with them.
    const Pass before = pass;
    pass.setup(nullptr);
    pass.teardown(nullptr);
    pass.teardownContextData(nullptr);
    EXPECT_EQ(pass._defaultValues, before._defaultValues);
    EXPECT_EQ(pass.frameTimer().count(), 1);
}
