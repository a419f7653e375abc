#include <Orv/RenderPassHelper.h>

#include "render/inrange_p.h"

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
// begin() detaches and returns the first element, which is all that Qt's inline data() does.
template <>
Vantrel::Orv::NamedValue* QVector<Vantrel::Orv::NamedValue>::data() {
    return begin();
}
#endif

namespace Vantrel {
namespace Orv {

namespace {

int findByName(const QVector<NamedValue>& table, const QString& name) {
    for (int i = 0; i < table.size(); ++i) {
        if (table.at(i).name == name) return i;
    }
    return -1;
}

}  // namespace

RenderPassHelper::RenderPassHelper() : _errorCode(0) {}

RenderPassHelper::RenderPassHelper(const RenderPassHelper& other) = default;

RenderPassHelper& RenderPassHelper::operator=(const RenderPassHelper& other) = default;

RenderPassHelper::~RenderPassHelper() = default;

int RenderPassHelper::addInput(const QString& name, const QVariant& defaultValue) {
    _inputs.append(NamedValue{name, QVariant()});
    _defaultValues.append(defaultValue);
    return _inputs.size() - 1;
}

int RenderPassHelper::addOutput(const QString& name) {
    _outputs.append(NamedValue{name, QVariant()});
    _outputUsers.append(0);
    return _outputs.size() - 1;
}

int RenderPassHelper::findInput(const QString& name) const {
    return findByName(_inputs, name);
}

int RenderPassHelper::findOutput(const QString& name) const {
    return findByName(_outputs, name);
}

FrameTimer<100>& RenderPassHelper::frameTimer() {
    return _frameTimer;
}

const FrameTimer<100>& RenderPassHelper::frameTimer() const {
    return _frameTimer;
}

void RenderPassHelper::setup(RenderCallbacks*) {}

void RenderPassHelper::beginFrame(RenderCallbacks*) {
    _frameTimer.start();
}

void RenderPassHelper::start(RenderCallbacks*) {}

void RenderPassHelper::endFrame(RenderCallbacks*) {
    _frameTimer.stop();
}

void RenderPassHelper::teardown(RenderCallbacks*) {}

void RenderPassHelper::teardownContextData(RenderCallbacks*) {}

int RenderPassHelper::numInputs() const {
    return _inputs.size();
}

int RenderPassHelper::numOutputs() const {
    return _outputs.size();
}

QString RenderPassHelper::inputName(int index) const {
    return detail::inRange(_inputs, index) ? _inputs.at(index).name : QString();
}

QString RenderPassHelper::outputName(int index) const {
    return detail::inRange(_outputs, index) ? _outputs.at(index).name : QString();
}

void RenderPassHelper::setInput(int index, const QVariant& value) {
    if (detail::inRange(_inputs, index)) _inputs[index].value = value;
}

QVariant RenderPassHelper::defaultValue(int index) const {
    return detail::inRange(_defaultValues, index) ? _defaultValues.at(index) : QVariant();
}

void RenderPassHelper::setDefaultValue(int index, const QVariant& value) {
    if (detail::inRange(_defaultValues, index)) _defaultValues[index] = value;
}

QVariant RenderPassHelper::output(int index) const {
    return detail::inRange(_outputs, index) ? _outputs.at(index).value : QVariant();
}

void RenderPassHelper::setNumOutputUsers(int index, int users) {
    if (detail::inRange(_outputUsers, index)) _outputUsers[index] = users;
}

void RenderPassHelper::resetNumOutputUsers() {
    _outputUsers.fill(0);
}

unsigned int RenderPassHelper::errorCode() const {
    return _errorCode;
}

void RenderPassHelper::setErrorCode(unsigned int code) {
    _errorCode = code;
}

}  // namespace Orv
}  // namespace Vantrel
