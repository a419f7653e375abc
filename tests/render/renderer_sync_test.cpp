// The synchronisation plan: the transitions each step needs before it runs, read by the passes
// themselves from inside the frame, on small named graphs and against a computation of its own
// over what random frames actually did.
#include <Orv/Renderer.h>
#include <Orv/SyncPlan.h>

#include "renderer_fixture.h"

#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <map>
#include <random>

using namespace Vantrel::Orv;

namespace {

// "B<raw A.0 @0 1>2": before the step of B, a read after write of A's output 0, waiting for
// step 0, from usage 1 to 2; a reuse adds "->o" for the output taking the bytes over, and a
// usage change between reads of the frame before is a "change~".
QString describe(const Transition& t, const QString& stepName, const QString& resourceName) {
    static const char* const kShort[] = {"raw", "change", "reuse", "history", "war"};
    const QString kind = QString(kShort[int(t.reason)]) +
                         (t.frameBefore && t.reason != Transition::Reason::HistoryRead ? "~" : "");
    QString text = QString("%1<%2 %3.%4 @%5 %6>%7")
                       .arg(stepName, kind, resourceName)
                       .arg(t.output)
                       .arg(t.waitStep)
                       .arg(t.fromUsage)
                       .arg(t.toUsage);
    if (t.takenBy >= 0) text += QString("->%1").arg(t.takenBy);
    return text;
}

class RendererSyncTest : public RendererFixture {
protected:
    void SetUp() override { renderer.setSyncPlanning(true); }

    // Every pass notes, as it starts, the transitions the plan gives its own step.
    void noteTransitions() {
        for (auto it = passes.begin(); it != passes.end(); ++it) {
            const QString name = it.key();
            it.value()->onStart = [this, name] {
                const int step = renderer.currentStep();
                EXPECT_EQ(renderer.syncPlan().nodes.value(step), nodes[name]);
                for (const Transition& t : renderer.syncPlan().transitionsBefore(step))
                    seen << describe(t, name, nameOf(t.node));
            };
        }
    }
    QString nameOf(int node) const { return nodes.key(node, "?"); }
    QString frame() {
        seen.clear();
        EXPECT_TRUE(render());
        return seen.join(' ');
    }
    void usage(const QString& pass, PortSide side, int port, int value) {
        ASSERT_TRUE(renderer.setPortUsage(nodes[pass], side, port, value));
    }
    void collect(const QString& pass) { up(renderer.addOutput(pass), pass); }

    QStringList seen;
};

//   A -> B, C, D (sampled, 2), E (copy, 3), F (sampled);  each reader -> an output.
// A's write (1) is made visible once for the three sampled reads; E changes the usage and F
// changes it back, each waiting for the step before.
TEST_F(RendererSyncTest, ReadsInOneUsageShareOneTransitionAndAChangeWaitsForTheLatestAccess) {
    add("A");
    for (const char* reader : {"B", "C", "D", "E", "F"}) {
        add(reader);
        link("A", reader);
        collect(reader);
    }
    usage("A", PortSide::Output, 0, 1);
    for (const char* reader : {"B", "C", "D", "F"}) usage(reader, PortSide::Input, 0, 2);
    usage("E", PortSide::Input, 0, 3);
    noteTransitions();
    EXPECT_EQ(frame(), "B<raw A.0 @0 1>2 E<change A.0 @3 2>3 F<change A.0 @4 3>2");
    EXPECT_EQ(renderer.syncPlan().numBatches(), 3);

    // Switched off, D reads nothing: E waits for C. B off leaves C to make the write visible.
    renderer.setEnabled(nodes["D"], false);
    EXPECT_EQ(frame(), "B<raw A.0 @0 1>2 E<change A.0 @2 2>3 F<change A.0 @4 3>2");
    renderer.setEnabled(nodes["B"], false);
    EXPECT_EQ(frame(), "C<raw A.0 @0 1>2 E<change A.0 @2 2>3 F<change A.0 @4 3>2");

    // Without declarations every port has usage 0, and the write is still made visible.
    renderer.setPortUsageFunction([](int, PortSide, int) { return 0; });
    EXPECT_EQ(frame(), "C<raw A.0 @0 0>0");
    renderer.setPortUsageFunction(nullptr);
    EXPECT_EQ(frame(), "C<raw A.0 @0 1>2 E<change A.0 @2 2>3 F<change A.0 @4 3>2");
}

//   A -> B -> C -> D -> output, 100 bytes each but D's (the host reads it after the frame).
// C takes over A's bytes: before C writes, A's latest access (B, step 1) must end.
TEST_F(RendererSyncTest, AnOutputTakingOverBytesWaitsForTheLatestAccessOfTheirHolder) {
    chain("A B C D");
    renderer.setOutputMemoryFunction([](int, int) { return OutputMemory{100, 1}; });
    renderer.setMemoryPlanning(true);
    usage("A", PortSide::Output, 0, 1);
    usage("B", PortSide::Input, 0, 2);
    usage("C", PortSide::Output, 0, 4);
    noteTransitions();
    const QString transitions = frame();
    ASSERT_EQ(renderer.memoryOffset(nodes["C"], 0), renderer.memoryOffset(nodes["A"], 0));
    EXPECT_EQ(transitions,
              "B<raw A.0 @0 1>2 C<raw B.0 @1 0>0 C<reuse A.0 @1 2>4->0 "
              "D<raw C.0 @2 4>0");
    EXPECT_EQ(renderer.syncPlan().transitionsBefore(2).value(1).writeUsage, 1);  // A's write

    // Planning off: nothing shares bytes, so no reuse.
    renderer.setMemoryPlanning(false);
    EXPECT_EQ(frame(), "B<raw A.0 @0 1>2 C<raw B.0 @1 0>0 D<raw C.0 @2 4>0");
}

//   Y -> G.in;  G[ G.in -> X.0;  Q -> X.1;  X -> G.out ];  G.out -> Y;  Y -> T (target).
// X reads Y's value of the frame before, left in T's usage (3); Y's write then waits for X's
// read, or for the frame before when Y's output is double-buffered.
TEST_F(RendererSyncTest, AReadOfTheFrameBeforeIsAHistoryReadThatTheWriteWaitsFor) {
    loopThroughGroup();
    usage("Y", PortSide::Output, 0, 1);
    usage("X", PortSide::Input, 0, 2);
    usage("T", PortSide::Input, 0, 3);
    noteTransitions();
    EXPECT_EQ(frame(),
              "X<history Y.0 @-1 3>2 X<raw Q.0 @0 0>0 Y<raw X.0 @1 0>0 Y<war Y.0 @1 2>1 "
              "T<raw Y.0 @2 1>3");
    EXPECT_TRUE(renderer.setOutputDoubleBuffered(nodes["Y"], 0, true));
    EXPECT_EQ(frame(),
              "X<history Y.0 @-1 3>2 X<raw Q.0 @0 0>0 Y<raw X.0 @1 0>0 Y<war Y.0 @-1 2>1 "
              "T<raw Y.0 @2 1>3");
}

TEST_F(RendererSyncTest, ThePlanIsOnlyMadeWhenAskedAndTheSettersRefuseWhatIsNotThere) {
    chain("A B");
    EXPECT_EQ(renderer.currentStep(), -1);
    EXPECT_FALSE(renderer.setPortUsage(kRoot, PortSide::Output, 0, 1));
    EXPECT_FALSE(renderer.setPortUsage(99, PortSide::Output, 0, 1));
    EXPECT_FALSE(renderer.setPortUsage(nodes["A"], PortSide::Input, 1, 1));
    EXPECT_FALSE(renderer.setPortUsage(nodes["A"], PortSide::Output, -1, 1));
    EXPECT_FALSE(renderer.setOutputDoubleBuffered(nodes["A"], 1, true));
    EXPECT_FALSE(renderer.setOutputDoubleBuffered(kRoot, 0, true));

    renderer.setSyncPlanning(false);
    EXPECT_TRUE(render());
    EXPECT_EQ(renderer.syncPlan().numSteps(), 0);
    EXPECT_TRUE(renderer.syncPlan().transitionsBefore(0).isEmpty());
    renderer.setSyncPlanning(true);
    EXPECT_TRUE(render());
    EXPECT_EQ(renderer.syncPlan().numSteps(), 2);
    EXPECT_EQ(renderer.syncPlan().firstOfStep, QVector<int>({0, 0, 1}));
    EXPECT_TRUE(renderer.syncPlan().transitionsBefore(2).isEmpty());
    EXPECT_TRUE(renderer.syncPlan().transitionsBefore(-1).isEmpty());
    EXPECT_EQ(renderer.currentStep(), -1);
    EXPECT_STREQ(reasonName(Transition::Reason::WriteAfterHistoryRead), "write after history read");
}

// ---------------------------------------------------------------------------------------------
// Random frames: every pass writes "node,output,frame" to its outputs and notes, as it starts,
// its step, the values it was fed and the transitions the plan gives it. The expected
// transitions are worked out from those notes alone, with the memory plan's offsets and a
// table of bytes, and compared step by step.

class TagPass : public RenderPassHelper {
public:
    struct Note {
        int step;
        int node;
        QStringList inputs;
        QStringList transitions;
    };
    TagPass(int ins, int outs, std::vector<Note>* notes, Renderer* renderer)
        : _notes(notes), _renderer(renderer) {
        for (int i = 0; i < ins; ++i) addInput(QString("in%1").arg(i), QString("default"));
        for (int o = 0; o < outs; ++o) addOutput(QString("out%1").arg(o));
    }
    void setNode(int node) {
        _node = node;
        for (int o = 0; o < numOutputs(); ++o)
            _outputs[o].value = QString("%1,%2,-1").arg(node).arg(o);
    }
    void start(RenderCallbacks*) override {
        Note note{_renderer->currentStep(), _node, {}, {}};
        for (const auto& input : _inputs) note.inputs << input.value.toString();
        for (const Transition& t : _renderer->syncPlan().transitionsBefore(note.step))
            note.transitions << describe(t, QString::number(t.step), QString::number(t.node));
        _notes->push_back(note);
        for (int o = 0; o < numOutputs(); ++o)
            _outputs[o].value = QString("%1,%2,%3").arg(_node).arg(o).arg(frame);
        _polls = polls;
    }
    bool isFinished() const override { return _polls-- <= 0; }

    int frame = 0;
    int polls = 0;

private:
    std::vector<Note>* _notes;
    Renderer* _renderer;
    int _node = -1;
    mutable int _polls = 0;
};

class RendererSyncRandomTest : public ::testing::TestWithParam<int> {
protected:
    int usageOf(int node, PortSide side, int port) const {
        return int((unsigned(node) * 7 + unsigned(port) * 3 + (side == PortSide::Input)) % 3);
    }
    qint64 sizeOf(int node, int output) const { return 8 + (node * 5 + output) % 4 * 8; }

    QVector<int> childrenOf(int parent) {
        QVector<int> children;
        for (int i = 0; i < renderer.getGraph()->numNodes(parent); ++i)
            children << renderer.getGraph()->getNode(i, parent);
        return children;
    }
    // Passes at the top level and in groups, wired at random: sibling edges the graph lets
    // through (some close loops through a group's ports), down and up edges inside groups.
    void build(std::mt19937& random) {
        Graph* graph = renderer.getGraph();
        const int numGroups = int(random() % 3);
        std::vector<int> parents{Graph::kRootNodeRef};
        for (int g = 0; g < numGroups; ++g) {
            const int ins = 1 + int(random() % 2), outs = 1 + int(random() % 2);
            parents.push_back(
                renderer.addGroup(QString("G%1").arg(g), ins, outs, Graph::kRootNodeRef));
        }
        const int numPasses = 6 + int(random() % 14);
        for (int p = 0; p < numPasses; ++p) {
            const int parent = parents[random() % parents.size()];
            auto* pass = new TagPass(int(random() % 3) + (parent != Graph::kRootNodeRef),
                                     1 + int(random() % 2), &notes, &renderer);
            const int node = renderer.addPass(QString("P%1").arg(p), pass, parent);
            pass->setNode(node);
            pass->polls = int(random() % 3);
            tags[node] = pass;
        }
        // Inside the groups first: a group whose ports lead nowhere yet counts as one pass
        // for the cycle check, which would refuse the loops below.
        std::rotate(parents.begin(), parents.begin() + 1, parents.end());
        for (const int parent : parents) {
            const QVector<int> children = childrenOf(parent);
            if (children.isEmpty()) continue;
            if (parent == Graph::kRootNodeRef) {
                // A loop through most groups' ports: a top-level pass reads the
                // group and feeds it; before the random edges take the inputs; the group's down and
                // up edges are in.
                for (size_t g = 0; g + 1 < parents.size(); ++g) {
                    const int pass = children[int(random() % unsigned(children.size()))];
                    if (random() % 4 == 0 || pass == parents[g] || graph->numInputs(pass) == 0)
                        continue;
                    graph->addEdge(parents[g], 0, pass, 0);
                    graph->addEdge(pass, 0, parents[g], 0);
                    graph->addUpEdge(renderer.addOutput("loop"), pass, 0);
                }
            }
            for (int e = 0; e < 3 * children.size(); ++e) {
                const int from = children[int(random() % unsigned(children.size()))];
                const int to = children[int(random() % unsigned(children.size()))];
                if (graph->numOutputs(from) > 0 && graph->numInputs(to) > 0)
                    graph->addEdge(from, int(random() % unsigned(graph->numOutputs(from))), to,
                                   int(random() % unsigned(graph->numInputs(to))));
            }
            if (parent == Graph::kRootNodeRef) continue;
            // Port 0 in and out through one child, so that a loop outside goes through it.
            const int through = children[int(random() % unsigned(children.size()))];
            for (int i = 0; i < graph->numInputs(parent); ++i) {
                const int child =
                    i == 0 ? through : children[int(random() % unsigned(children.size()))];
                if (graph->numInputs(child) > 0)
                    graph->addDownEdge(i, child, int(random() % unsigned(graph->numInputs(child))));
            }
            for (int o = 0; o < graph->numOutputs(parent); ++o) {
                const int child =
                    o == 0 ? through : children[int(random() % unsigned(children.size()))];
                if (graph->numOutputs(child) > 0)
                    graph->addUpEdge(o, child, int(random() % unsigned(graph->numOutputs(child))));
            }
        }
        const QVector<int> top = childrenOf(Graph::kRootNodeRef);
        for (int o = 0; o < 2; ++o) {
            const int node = top[int(random() % unsigned(top.size()))];
            if (graph->numOutputs(node) > 0) graph->addUpEdge(renderer.addOutput("out"), node, 0);
        }
        if (random() % 2) renderer.setTarget(tags.keys()[int(random() % unsigned(tags.size()))]);
        renderer.setCulling(random() % 4 != 0);
        renderer.setCullBehindDisabled(random() % 3 == 0);
        renderer.setPortUsageFunction(
            [this](int node, PortSide side, int port) { return usageOf(node, side, port); });
        renderer.setOutputMemoryFunction([this](int node, int output) {
            return OutputMemory{sizeOf(node, output), 8};
        });
        renderer.setSyncPlanning(true);
    }

    // What the notes of one frame say each step needs, as each pass describes what it read.
    std::map<int, QStringList> expected(int frame) {
        struct Resource {
            int usage = 0, lastAccess = -1, historyUsage = 0, lastHistoryRead = -1;
            bool visible = false, historyRead = false;
        };
        std::sort(notes.begin(), notes.end(),
                  [](const TagPass::Note& a, const TagPass::Note& b) { return a.step < b.step; });
        QMap<QPair<int, int>, int> stepOf;  // (node, output) -> its step this frame
        QMap<QPair<int, int>, int> endUsage;
        for (const TagPass::Note& note : notes) {
            for (int o = 0; o < tags[note.node]->numOutputs(); ++o) {
                stepOf[{note.node, o}] = note.step;
                endUsage[{note.node, o}] = usageOf(note.node, PortSide::Output, o);
            }
        }
        // What input i of a note read: an output, and whether as of the frame before. A
        // history input reads its producer whenever that runs, be the value real or not.
        auto readOf = [&](const TagPass::Note& note, int i, QPair<int, int>* key) {
            const auto history = historyInputs.constFind({note.node, i});
            if (history != historyInputs.constEnd()) {
                *key = *history;
                return stepOf.contains(*key) ? 2 : 0;
            }
            const QStringList tag = note.inputs[i].split(',');
            if (tag.size() != 3) return 0;  // a default
            *key = {tag[0].toInt(), tag[1].toInt()};
            return tag[2].toInt() == frame ? 1 : 2;
        };
        QMap<QPair<int, int>, int> historyEnd;  // the last read as of the frame before
        QSet<QPair<int, int>> twoCopies;
        for (const TagPass::Note& note : notes) {
            for (int i = 0; i < note.inputs.size(); ++i) {
                QPair<int, int> key;
                const int read = readOf(note, i, &key);
                if (read == 1) endUsage[key] = usageOf(note.node, PortSide::Input, i);
                if (read == 2) historyEnd[key] = usageOf(note.node, PortSide::Input, i);
                if (read == 2 &&
                    (doubleBuffered.contains(key) || historyInputs.contains({note.node, i})))
                    twoCopies.insert(key);
            }
        }
        const qint64 heap = renderer.memoryPlan().heapSize;
        std::vector<QPair<int, int>> owner(size_t(heap), {-1, -1});
        QMap<QPair<int, int>, Resource> resources;
        std::map<int, QStringList> result;
        auto add = [&](int step, const char* kind, QPair<int, int> r, int wait, int from, int to,
                       int takenBy = -1) {
            QString text = QString("%1<%2 %3.%4 @%5 %6>%7")
                               .arg(step)
                               .arg(kind)
                               .arg(r.first)
                               .arg(r.second)
                               .arg(wait)
                               .arg(from)
                               .arg(to);
            if (takenBy >= 0) text += QString("->%1").arg(takenBy);
            result[step] << text;
        };
        for (const TagPass::Note& note : notes) {
            const int s = note.step;
            QList<QPair<QPair<int, int>, bool>> accessed;
            for (int i = 0; i < note.inputs.size(); ++i) {
                QPair<int, int> key;
                const int read = readOf(note, i, &key);
                if (read == 0) continue;
                const int usage = usageOf(note.node, PortSide::Input, i);
                Resource& r = resources[key];
                if (read == 1) {
                    if (!r.visible)
                        add(s, "raw", key, stepOf[key],
                            usageOf(key.first, PortSide::Output, key.second), usage);
                    else if (usage != r.usage)
                        add(s, "change", key, r.lastAccess, r.usage, usage);
                    r.visible = true;
                    r.usage = usage;
                    accessed << qMakePair(key, false);
                } else {
                    if (!r.historyRead)
                        add(s, "history", key, -1, leftIn.value(key, endUsage[key]), usage);
                    else if (usage != r.historyUsage)
                        add(s, "change~", key, r.lastHistoryRead, r.historyUsage, usage);
                    r.historyRead = true;
                    r.historyUsage = usage;
                    accessed << qMakePair(key, true);
                }
            }
            for (const auto& a : accessed)
                (a.second ? resources[a.first].lastHistoryRead : resources[a.first].lastAccess) = s;
            for (int o = 0; o < tags[note.node]->numOutputs(); ++o) {
                const QPair<int, int> key{note.node, o};
                const int usage = usageOf(note.node, PortSide::Output, o);
                const qint64 offset = renderer.memoryOffset(note.node, o);
                if (offset >= 0) {
                    std::vector<QPair<int, int>> holders;
                    for (qint64 b = offset; b < offset + sizeOf(note.node, o); ++b) {
                        if (owner[size_t(b)].first >= 0) holders.push_back(owner[size_t(b)]);
                        owner[size_t(b)] = key;
                    }
                    std::sort(holders.begin(), holders.end(), [&](auto x, auto y) {
                        return qMakePair(stepOf[x], x.second) < qMakePair(stepOf[y], y.second);
                    });
                    holders.erase(std::unique(holders.begin(), holders.end()), holders.end());
                    for (const auto& h : holders)
                        add(s, "reuse", h, resources[h].lastAccess, resources[h].usage, usage, o);
                }
                Resource& r = resources[key];
                if (historyEnd.contains(key)) {
                    add(s, "war", key, twoCopies.contains(key) ? -1 : r.lastHistoryRead,
                        historyEnd[key], usage);
                }
                r.usage = usage;
                r.lastAccess = s;
                r.visible = false;
            }
        }
        // Where the next frame's history reads start: where this one left what it wrote.
        for (const TagPass::Note& note : notes) {
            for (int o = 0; o < tags[note.node]->numOutputs(); ++o)
                leftIn[{note.node, o}] = endUsage[{note.node, o}];
        }
        // The two places of an output a history input reads hold nothing else, ever: the frame
        // before's is untouched, this frame's holds only the output itself.
        for (auto it = historyEnd.constBegin(); it != historyEnd.constEnd(); ++it) {
            const QPair<int, int> key = it.key();
            const qint64 before = renderer.historyMemoryOffset(key.first, key.second);
            const qint64 now = renderer.memoryOffset(key.first, key.second);
            if (before < 0) continue;
            for (qint64 b = 0; b < sizeOf(key.first, key.second); ++b) {
                EXPECT_EQ(owner[size_t(before + b)].first, -1) << "byte " << before + b;
                EXPECT_TRUE(owner[size_t(now + b)] == key || owner[size_t(now + b)].first == -1);
            }
        }
        return result;
    }

    std::vector<TagPass::Note> notes;
    Renderer renderer;
    QMap<int, TagPass*> tags;
    QSet<QPair<int, int>> doubleBuffered;
    QHash<QPair<int, int>, QPair<int, int>> historyInputs;  // (node, input) -> (node, output)
    QMap<QPair<int, int>, int> leftIn;  // the usage the latest frame that wrote it left it in
};

TEST_P(RendererSyncRandomTest, TransitionsMatchWhatTheFramesDid) {
    std::mt19937 random{unsigned(GetParam())};
    build(random);
    const QList<int> all = tags.keys();
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (random() % 4 == 0 && renderer.setOutputDoubleBuffered(it.key(), 0, true))
            doubleBuffered.insert({it.key(), 0});
        const int producer = all[int(random() % unsigned(all.size()))];
        if (random() % 5 == 0 && renderer.setHistoryInput(it.key(), 0, producer, 0))
            historyInputs.insert({it.key(), 0}, {producer, 0});
    }
    RenderCallbacks callbacks;
    for (int frame = 1; frame <= 6; ++frame) {
        // Frames 1-3 one at a time, 4-6 in flight; the memory plan on in odd frames.
        renderer.setMaxPassesInFlight(frame <= 3 ? 1 : 4);
        renderer.setMemoryPlanning(frame % 2 == 1);
        for (auto it = tags.begin(); it != tags.end(); ++it) {
            it.value()->frame = frame;
            renderer.setEnabled(it.key(), random() % 6 != 0);
        }
        notes.clear();
        ASSERT_TRUE(renderer.render(&callbacks));
        const std::map<int, QStringList> want = expected(frame);
        for (const TagPass::Note& note : notes) {
            EXPECT_EQ(note.transitions.join(' '),
                      want.count(note.step) ? want.at(note.step).join(' ') : QString())
                << "frame " << frame << ", step " << note.step;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RendererSyncRandomTest, ::testing::Range(1, 61));

}  // namespace
