#pragma once

#include <Orv/Graph.h>
#include <Orv/Renderer.h>

#include "recording_pass.h"

#include <QHash>

#include <gtest/gtest.h>

#include <ostream>

// Failed comparisons show the text, not the bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

const int kRoot = Vantrel::Orv::Graph::kRootNodeRef;
// What a pass that runs to the end without error receives after its inputs and user counts.
const QString kRun = "err=0 begin start poll end err?";

// Builds renderers of RecordingPasses by name and wires them through the graph.
class RendererFixture : public ::testing::Test {
protected:
    RecordingPass* add(const QString& name, int ins = 1, int outs = 1, const QString& parent = {}) {
        passes[name] = new RecordingPass(name, &log, ins, outs);
        nodes[name] = renderer.addPass(name, passes[name], node(parent));
        return passes[name];
    }
    void group(const QString& name, int ins, int outs, const QString& parent = {}) {
        nodes[name] = renderer.addGroup(name, ins, outs, node(parent));
    }
    int node(const QString& name) const { return name.isEmpty() ? kRoot : nodes.value(name, -1); }
    Vantrel::Orv::Graph* graph() { return renderer.getGraph(); }
    void link(const QString& src, const QString& dst, int output = 0, int input = 0) {
        ASSERT_NE(graph()->addEdge(node(src), output, node(dst), input), -1);
    }
    void down(int containerInput, const QString& child, int input = 0) {
        ASSERT_NE(graph()->addDownEdge(containerInput, node(child), input), -1);
    }
    void up(int containerOutput, const QString& child, int output = 0) {
        ASSERT_NE(graph()->addUpEdge(containerOutput, node(child), output), -1);
    }
    // "X Y Z": X -> Y -> Z -> a new renderer output; passes not yet added are added.
    void chain(const QString& names) {
        const QStringList list = names.split(' ');
        for (int i = 0; i < list.size(); ++i) {
            if (!nodes.contains(list[i])) add(list[i]);
            if (i > 0) link(list[i - 1], list[i]);
        }
        up(renderer.addOutput("image"), list.last());
    }
    //   Y -> G.in;  G[ G.in -> X.0;  Q -> X.1;  X -> G.out ];  G.out -> Y;  Y -> T (target).
    // The frame meets Y first and cuts the loop at X's input: X reads Y's value of the frame
    // before, and the schedule is Q X Y T.
    void loopThroughGroup() {
        add("Y");
        group("G", 1, 1);
        add("Q", 1, 1, "G");
        add("X", 2, 1, "G");
        down(0, "X");
        link("Q", "X", 0, 1);
        up(0, "X");
        link("G", "Y");
        link("Y", "G");
        add("T");
        link("Y", "T");
        renderer.setTarget(nodes["T"]);
    }
    bool render() {
        log.clear();
        return renderer.render(&callbacks);
    }
    QString runs() const { return passesThat(log, "start"); }
    // The user counts given this frame, in order: "X0=1 Y0=2".
    QString users() const {
        QStringList counts;
        for (const QString& entry : log) {
            if (entry.contains(".users")) counts << QString(entry).remove(".users");
        }
        return counts.join(' ');
    }
    QString outputs() const {
        QStringList values;
        for (int o = 0; o < renderer.numOutputs(); ++o) values << renderer.output(o).toString();
        return values.join('|');
    }

    QStringList log;
    RenderCallbacks callbacks;
    RecordingRenderer renderer{&log};
    QHash<QString, int> nodes;
    QHash<QString, RecordingPass*> passes;
};
