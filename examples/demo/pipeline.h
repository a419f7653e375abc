#pragma once

#include "tonemap.h"

#include <Orv/Renderer.h>

#include <QImage>
#include <QString>
#include <QVector>

namespace OrvDemo {

class LuminanceStatsPass;

// The demo's render graph, built once:
//
//   scene ---color---+-----------------------------> composite --> tonemap --+--> stats (target)
//                    +--> bloom [bright -> blur] ------^                     +--> output "image"
//   vignette -------------------------------------------^
//   present (the previous frame, to a simulated display) -----------------------> output
//   "presented"
//
// Every edge is made by name. Parameters on the root, which reach the passes through down
// edges: time, frame, failAt, width, height, exposure, bloomThreshold, bloomRadius,
// bloomStrength, previous, presentMs. Outputs on the root: image (a QImage), presented.
class Pipeline {
public:
    struct Node {
        QString path;  // "bloom/blur" for a pass inside the bloom group
        int ref;
    };

    explicit Pipeline(const ToneCurve& curve);

    Vantrel::Orv::Renderer& renderer() { return _renderer; }
    const Vantrel::Orv::Renderer& renderer() const { return _renderer; }

    void setFrame(int frame, double time);
    void setSize(int width, int height);
    void setFailAt(int frame);  // -1 for none
    // The picture the present pass shows during the next frame, and how long the simulated
    // display takes to scan it out.
    void setPrevious(const QImage& image, int presentMs);
    int presented() const;  // frames the present pass has shown

    // Every node below the root, depth first in the order added, groups before their passes.
    const QVector<Node>& nodes() const { return _nodes; }
    // The node of that path or bare name ("blur" finds "bloom/blur"); -1 when there is none.
    int findNode(const QString& name) const;
    // Enables or disables a pass, or every pass inside a group.
    void setEnabled(int node, bool enabled);

    int vignetteNode() const { return _vignette; }
    QImage image() const;  // the latest frame as collected on the output; null before one
    const LuminanceStatsPass& stats() const { return *_stats; }

private:
    int addPass(const QString& name, Vantrel::Orv::RenderPass* pass, int parent);
    int addGroup(const QString& name, int numInputs, int numOutputs);

    Vantrel::Orv::Renderer _renderer;
    QVector<Node> _nodes;
    int _vignette = -1;
    LuminanceStatsPass* _stats = nullptr;  // owned by the renderer
};

}  // namespace OrvDemo
