#pragma once

/// @file
/// The ready-made base class for host render passes.

#include <Orv/FrameTimer.h>
#include <Orv/OrvCoreExport.h>
#include <Orv/RenderPass.h>

#include <QString>
#include <QVariant>
#include <QVector>

namespace Vantrel {
namespace Orv {

/// A named value: one input or output of a RenderPassHelper.
struct NamedValue {
    QString name;    ///< The port's name.
    QVariant value;  ///< The port's current value.
};

}  // namespace Orv
}  // namespace Vantrel

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
/// @cond internal
// Qt 5's QVector::operator[] reaches the element through data(). Inlined into a host's pass, as in
// `_outputs[1].value = 42`, GCC 12 at -O2 takes the element for a write past the vector's header
// (-Wstringop-overflow), which breaks hosts built with -Werror. Compiled once in the library,
// data() keeps that arithmetic out of the host's code; it does what Qt's own does.
template <>
ORVCORE_EXPORT Vantrel::Orv::NamedValue* QVector<Vantrel::Orv::NamedValue>::data();
/// @endcond
#endif

namespace Vantrel {
namespace Orv {

/// The ready-made base for host passes: tables of named inputs (with default values) and outputs
/// (with per-frame user counts), an error code and a frame timer that spans beginFrame to
/// endFrame. A derived pass declares its ports in its constructor, overrides start, and reads and
/// writes the protected tables directly while it runs.
//
/// An index outside its table is harmless: setters do nothing, getters return an empty name or an
/// invalid QVariant.
class ORVCORE_EXPORT RenderPassHelper : public RenderPass {
public:
    RenderPassHelper();  ///< No ports, error code 0, an idle frame timer.
    RenderPassHelper(const RenderPassHelper& other);  ///< Tables, timer and error code by value.
    RenderPassHelper& operator=(const RenderPassHelper& other);  ///< Tables, timer and error code.
    ~RenderPassHelper() override;

    /// Appends an input (any name, duplicates allowed) and returns its index.
    int addInput(const QString& name, const QVariant& defaultValue);
    /// Appends an output with user count 0 and returns its index.
    int addOutput(const QString& name);
    int findInput(const QString& name) const;   ///< First input of that name, or -1.
    int findOutput(const QString& name) const;  ///< First output of that name, or -1.

    FrameTimer<100>& frameTimer();              ///< Spans beginFrame to endFrame of each run.
    const FrameTimer<100>& frameTimer() const;  ///< Spans beginFrame to endFrame of each run.

    void setup(RenderCallbacks* callbacks) override;                ///< Nothing.
    void beginFrame(RenderCallbacks* callbacks) override;           ///< Starts the frame timer.
    void start(RenderCallbacks* callbacks) override;                ///< Nothing.
    void endFrame(RenderCallbacks* callbacks) override;             ///< Stops the frame timer.
    void teardown(RenderCallbacks* callbacks) override;             ///< Nothing.
    void teardownContextData(RenderCallbacks* callbacks) override;  ///< Nothing.

    int numInputs() const override;
    int numOutputs() const override;
    QString inputName(int index) const override;
    QString outputName(int index) const override;
    void setInput(int index, const QVariant& value) override;
    QVariant defaultValue(int index) const override;
    void setDefaultValue(int index, const QVariant& value) override;
    QVariant output(int index) const override;
    void setNumOutputUsers(int index, int users) override;
    void resetNumOutputUsers() override;
    unsigned int errorCode() const override;
    void setErrorCode(unsigned int code) override;

protected:
    QVector<NamedValue> _inputs;       ///< Name and this frame's value, by input index.
    QVector<QVariant> _defaultValues;  ///< By input index.
    QVector<NamedValue> _outputs;      ///< Name and current value, by output index.
    QVector<int> _outputUsers;         ///< Needed consumers this frame, by output index.
    FrameTimer<100> _frameTimer;       ///< Started by beginFrame, stopped by endFrame.
    unsigned int _errorCode;           ///< 0 for success.
};

}  // namespace Orv
}  // namespace Vantrel
