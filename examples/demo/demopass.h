#pragma once

#include <Orv/RenderPassHelper.h>

#include <QVariant>

namespace OrvDemo {

// The demo's passes read inputs and write outputs through these, by index, in their own
// types. A value of another type reads as the input's default, so a miswired graph shows up
// as defaults rather than as a crash.
class DemoPass : public Vantrel::Orv::RenderPassHelper {
protected:
    template <typename T>
    T input(int index) const {
        const QVariant& value = _inputs.at(index).value;
        return value.canConvert<T>() ? value.value<T>() : _defaultValues.at(index).value<T>();
    }
    void setOutput(int index, const QVariant& value) { _outputs[index].value = value; }
};

}  // namespace OrvDemo
