#pragma once

#include "image.h"

#include <Orv/Renderer.h>

#include <QHash>
#include <QPair>

#include <memory>

namespace OrvDemo {

// One block of memory for the frame's intermediate images, laid out by the renderer's memory
// plan: an image goes where the plan placed its pass's output, so images whose passes are done
// with them share bytes. Outside the plan (planning off, or an image larger than planned) an
// image gets memory of its own. Used on the thread that renders.
class ImageArena {
public:
    explicit ImageArena(const Vantrel::Orv::Renderer& renderer) : _renderer(renderer) {}

    static qint64 bytesOf(int width, int height);  // what an image of that size needs

    void setEnabled(bool enabled) { _enabled = enabled; }
    bool enabled() const { return _enabled; }
    // Answers the renderer's size function for one output, remembering what was planned.
    Vantrel::Orv::OutputMemory planned(int node, int output, qint64 bytes);
    // A black image for output `output` of the pass at `node`.
    FloatImage image(int node, int output, int width, int height);

private:
    const Vantrel::Orv::Renderer& _renderer;
    bool _enabled = false;
    // Images hold the block too, so a larger block for a new plan leaves them valid.
    std::shared_ptr<unsigned char> _block;
    qint64 _blockSize = 0;
    QHash<QPair<int, int>, qint64> _planned;  // bytes by (node, output)
};

}  // namespace OrvDemo
