#pragma once

#include "arena.h"

#include <Orv/RenderPassHelper.h>

#include <QVariant>

namespace OrvDemo {

// The demo's passes read inputs and write outputs through these, by index, in their own
// types. A value of another type reads as the input's default, so a miswired graph shows up
// as defaults rather than as a crash.
class DemoPass : public Vantrel::Orv::RenderPassHelper {
public:
    // Where the pass's output images come from: the arena, for the pass at `node`.
    void setImageArena(ImageArena* arena, int node) {
        _arena = arena;
        _node = node;
    }

protected:
    // A black image for output `output`, placed in the arena when there is one.
    FloatImage newImage(int output, int width, int height) const {
        return _arena ? _arena->image(_node, output, width, height) : FloatImage(width, height);
    }
    template <typename T>
    T input(int index) const {
        const QVariant& value = _inputs.at(index).value;
        return value.canConvert<T>() ? value.value<T>() : _defaultValues.at(index).value<T>();
    }
    void setOutput(int index, const QVariant& value) { _outputs[index].value = value; }

private:
    ImageArena* _arena = nullptr;
    int _node = -1;
};

}  // namespace OrvDemo
