// The render pass helper's port tables, as a derived pass sees them, and its copies.
#include <Orv/RenderPassHelper.h>

#include <gtest/gtest.h>

using namespace Vantrel::Orv;

namespace {

// Exposes the protected tables; inputs "a", "b", "a" and outputs "x", "y", "z".
class Pass : public RenderPassHelper {
public:
    using RenderPassHelper::_defaultValues;
    using RenderPassHelper::_inputs;
    using RenderPassHelper::_outputUsers;

    static Pass make() {
        Pass pass;
        const QVector<int> indexes = {
            pass.addInput("a", 1),          pass.addOutput("x"), pass.addInput("b", QString("two")),
            pass.addInput("a", QVariant()), pass.addOutput("y"), pass.addOutput("z")};
        EXPECT_EQ(indexes, QVector<int>({0, 0, 1, 2, 1, 2}));
        return pass;
    }
};

}  // namespace

TEST(RenderPassHelperTest, TablesGrowInStepFindTheFirstNameAndIgnoreOtherIndexes) {
    Pass empty;
    EXPECT_TRUE(empty.findInput("") == -1 && empty.errorCode() == 0u && empty.isFinished());

    Pass pass = Pass::make();
    EXPECT_EQ(pass.numInputs(), 3);
    EXPECT_EQ(pass._defaultValues, QVector<QVariant>({1, QString("two"), QVariant()}));
    EXPECT_EQ(pass.findInput("a"), 0);
    EXPECT_EQ(pass.findInput("A"), -1);
    EXPECT_EQ(pass.findOutput("z"), 2);
    EXPECT_EQ(pass.findOutput("a"), -1);
    EXPECT_EQ(pass.inputName(1) + pass.outputName(1), "by");
    EXPECT_FALSE(pass.output(0).isValid());

    pass.setNumOutputUsers(2, 5);
    EXPECT_EQ(pass._outputUsers, QVector<int>({0, 0, 5}));
    pass.resetNumOutputUsers();
    EXPECT_EQ(pass._outputUsers, QVector<int>({0, 0, 0}));

    // Indexes outside the tables change nothing.
    Pass probed = Pass::make();
    for (int index : {-1, 3, 1000}) {
        probed.setInput(index, 1);
        probed.setDefaultValue(index, 1);
        probed.setNumOutputUsers(index, 1);
        EXPECT_TRUE(probed.inputName(index).isEmpty() && probed.outputName(index).isEmpty());
        EXPECT_FALSE(probed.defaultValue(index).isValid() || probed.output(index).isValid());
    }
    EXPECT_EQ(probed._defaultValues, Pass::make()._defaultValues);
    EXPECT_EQ(probed._outputUsers, QVector<int>(3, 0));
    EXPECT_EQ(probed.numInputs(), 3);
}

TEST(RenderPassHelperTest, CopiesAreIndependentValuesWithTheirTimer) {
    Pass pass = Pass::make();
    pass.setInput(0, 11);
    pass.setErrorCode(9);
    pass.beginFrame(nullptr);
    pass.endFrame(nullptr);

    Pass copy(pass);
    EXPECT_EQ(copy.errorCode(), 9u);
    EXPECT_EQ(copy.frameTimer().count(), 1);
    EXPECT_EQ(copy.frameTimer().sum(), pass.frameTimer().sum());
    pass.setInput(0, 12);
    pass.addInput("late", 0);
    EXPECT_EQ(copy._inputs.at(0).value, QVariant(11));
    EXPECT_EQ(copy.numInputs(), 3);

    Pass assigned;
    assigned = pass;
    EXPECT_EQ(assigned._inputs.at(0).value, QVariant(12));
    assigned.setDefaultValue(0, 99);
    EXPECT_EQ(pass.defaultValue(0), QVariant(1));
}
