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
        EXPECT_EQ(pass.addInput("a", 1), 0);
        EXPECT_EQ(pass.addOutput("x"), 0);
        EXPECT_EQ(pass.addInput("b", QString("two")), 1);
        EXPECT_EQ(pass.addInput("a", QVariant()), 2);
        EXPECT_EQ(pass.addOutput("y"), 1);
        EXPECT_EQ(pass.addOutput("z"), 2);
        return pass;
    }
};

}  // namespace

TEST(RenderPassHelperTest, TablesGrowInStepAndFindTheFirstName) {
    Pass empty;
    EXPECT_EQ(empty.findInput(""), -1);
    EXPECT_EQ(empty.errorCode(), 0u);
    EXPECT_TRUE(empty.isFinished());

    Pass pass = Pass::make();
    EXPECT_EQ(pass.numInputs(), 3);
    EXPECT_EQ(pass._defaultValues, QVector<QVariant>({1, QString("two"), QVariant()}));
    EXPECT_EQ(pass.findInput("a"), 0);
    EXPECT_EQ(pass.findInput("A"), -1);
    EXPECT_EQ(pass.findOutput("z"), 2);
    EXPECT_EQ(pass.findOutput("a"), -1);
    EXPECT_EQ(pass.outputName(1), "y");
    EXPECT_EQ(pass.inputName(1), "b");
    EXPECT_FALSE(pass.output(0).isValid());

    pass.setInput(1, 42);
    EXPECT_EQ(pass._inputs.at(1).value, QVariant(42));
    EXPECT_FALSE(pass._inputs.at(0).value.isValid());
    pass.setDefaultValue(2, 5);
    EXPECT_EQ(pass.defaultValue(2), QVariant(5));
    pass.setNumOutputUsers(2, 5);
    EXPECT_EQ(pass._outputUsers, QVector<int>({0, 0, 5}));
    pass.resetNumOutputUsers();
    EXPECT_EQ(pass._outputUsers, QVector<int>({0, 0, 0}));
}

TEST(RenderPassHelperTest, IndexesOutsideTheTablesChangeNothing) {
    Pass pass = Pass::make();
    for (int index : {-1, 3, 1000}) {
        pass.setInput(index, 1);
        pass.setDefaultValue(index, 1);
        pass.setNumOutputUsers(index, 1);
        EXPECT_TRUE(pass.inputName(index).isEmpty() && pass.outputName(index).isEmpty());
        EXPECT_FALSE(pass.defaultValue(index).isValid() || pass.output(index).isValid());
    }
    const Pass fresh = Pass::make();
    EXPECT_EQ(pass._defaultValues, fresh._defaultValues);
    EXPECT_EQ(pass._outputUsers, fresh._outputUsers);
    EXPECT_EQ(pass.numInputs(), fresh.numInputs());
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
