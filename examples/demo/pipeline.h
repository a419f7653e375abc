#pragma once

#include "arena.h"
#include "tonemap.h"

#include <Orv/Renderer.h>

#include <QImage>
#include <QString>
#include <QVector>

namespace OrvDemo {

class LuminanceStatsPass;
class PresentPass;

// The demo's render graph, loaded from a description (Resources/pipeline.json by default):
//
//   scene --> accumulate --color--+--------------------> composite --> tonemap --+--> stats
//   (target)
//             ^ history   |       +--> bloom [bright -> blur] --^                +--> output
//             "image"
//             +-----------+ (its own output of the frame before)
//   vignette ---------------------------------------------------^
//   present (the previous frame, to a simulated display) ------------> output "presented"
//
// Parameters on the root, which reach the passes through down edges: time, frame, failAt, width,
// height, camera, accumulateFrames, exposure, bloomThreshold, bloomRadius, bloomStrength,
// presentMs. Outputs on the root: image (a QImage), presented.
class Pipeline {
public:
    struct Node {
        QString path;  // "bloom/blur" for a pass inside the bloom group
        int ref;
    };

    explicit Pipeline(const ToneCurve& curve);  // empty until load()

    // Builds the renderer from a description, creating its passes by type name; false with the
    // reason when the description does not load. Only the first successful load takes effect.
    bool load(const QByteArray& description, QString* error);
    // The current renderer as a description, disabled passes included.
    bool save(QByteArray* description, QString* error) const;
    // The type name under which createPass makes a pass like this one; empty for others.
    static QString typeName(const Vantrel::Orv::RenderPass& pass);
    Vantrel::Orv::RenderPass* createPass(const QString& type) const;

    Vantrel::Orv::Renderer& renderer() { return _renderer; }
    const Vantrel::Orv::Renderer& renderer() const { return _renderer; }

    void setFrame(int frame, double time);
    // The camera's angle round the scene; a new angle is a cut, after which the accumulation
    // starts over.
    void setCamera(double angle);
    double camera() const;
    void setSize(int width, int height);
    void setFailAt(int frame);  // -1 for none
    // The picture the present pass shows during the next frame (it reads no other pass), and
    // how long the simulated display takes to scan it out.
    void setPrevious(const QImage& image, int presentMs);
    int presented() const;  // frames the present pass has shown

    // Every node below the root, depth first in the order added, groups before their passes.
    const QVector<Node>& nodes() const { return _nodes; }
    // The node of that path or bare name ("blur" finds "bloom/blur"); -1 when there is none.
    int findNode(const QString& name) const;
    // Enables or disables a pass, or every pass inside a group.
    void setEnabled(int node, bool enabled);

    // Intermediate images from one arena placed by the renderer's memory plan (off until set).
    // The picture is the same either way.
    void setMemoryPlan(bool enabled);

    int vignetteNode() const { return _vignette; }  // -1 when the description has none
    QImage image() const;  // the latest frame as collected on the output; null before one
    const LuminanceStatsPass* stats() const { return _stats; }  // null without a stats pass

private:
    void listNodes(int parent, const QString& prefix);

    ToneCurve _curve;
    Vantrel::Orv::Renderer _renderer;
    ImageArena _arena{_renderer};
    QVector<Node> _nodes;
    int _vignette = -1;
    LuminanceStatsPass* _stats = nullptr;  // owned by the renderer
    PresentPass* _present = nullptr;       // owned by the renderer
};

}  // namespace OrvDemo
