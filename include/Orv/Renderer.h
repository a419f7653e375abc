#pragma once

/// @file
/// The renderer: a graph of render passes run frame by frame.

#include <Orv/FrameTimer.h>
#include <Orv/Graph.h>
#include <Orv/MemoryPlan.h>
#include <Orv/OrvCoreExport.h>
#include <Orv/RenderPass.h>
#include <Orv/SyncPlan.h>

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>

namespace Vantrel {
namespace Orv {

namespace detail {
class RendererData;
struct RendererAccess;
}  // namespace detail

/// What a node did in the renderer's latest frame.
enum class NodeOutcome {
    Unknown,     ///< No frame yet, or not a live node of that frame's graph.
    NotNeeded,   ///< Nothing that feeds an output or the target reads it.
    Disabled,    ///< Needed, but its pass is switched off.
    Ran,         ///< Ran and reported error code 0.
    Failed,      ///< Ran and reported a non-zero error code (see Renderer::failureCode).
    NotReached,  ///< Needed and enabled, but the frame stopped before it.
    NoPass       ///< The root, a group or another node without a pass (see wasNeeded).
};

/// One output of a pass in a frame's schedule, and the steps (positions in the schedule, from 0)
/// between which its value is needed.
struct OutputLifetime {
    int node = -1;            ///< The pass's node.
    int output = -1;          ///< The output's index.
    int producerStep = -1;    ///< The step that runs the pass.
    int lastReaderStep = -1;  ///< The latest step that reads the output, or -1 when none does.
    int lastReaderNode = -1;  ///< The node of that step, or -1.
    /// Kept past the frame: a renderer output collects it, the target produces it (the host
    /// reads both after the frame), or a step at or before producerStep reads it (a loop
    /// through container ports: that reader gets the previous frame's value).
    bool outlivesFrame = false;
};

/// The bytes one output needs.
struct OutputMemory {
    qint64 size = 0;       ///< In bytes; 0 leaves the output out of the memory plan.
    qint64 alignment = 1;  ///< A power of two.
};

/// Runs a graph of render passes frame by frame. Every pass is a node of the renderer's own
/// Graph (its node value is the pass index); the root node stands for the renderer: its inputs
/// are the parameters and its outputs the renderer's outputs. Wire the nodes through getGraph();
/// create root ports only through addParameter and addOutput.
//
/// Each frame runs, once and producers first, every enabled pass that the renderer's outputs and
/// the target need, feeding each input from a parameter, an enabled upstream pass or its default.
/// Passes run in the order they were added, except that a pass waits for its producers.
//
/// Owns its passes and deletes them, in the order they were added, when destroyed (without
/// calling teardown). Cannot be copied. Used by one thread at a time.
class ORVCORE_EXPORT Renderer {
public:
    Renderer();           ///< An empty renderer: a graph holding only the root, no target.
    virtual ~Renderer();  ///< Deletes the passes in the order they were added.

    Graph* getGraph();              ///< For wiring and inspection.
    const Graph* getGraph() const;  ///< For inspection.

    /// A container node for passes and further groups; returns its node ref, or -1 for an
    /// invalid parent.
    int addGroup(const QString& name, int numInputs, int numOutputs, int parent);
    /// As above, with one input per name in `inputs` and one output per name in `outputs`, so
    /// that the by-name wiring (connectDownByName, addUpEdgeByName...) can find them.
    int addGroup(const QString& name, const QStringList& inputs, const QStringList& outputs,
                 int parent);
    /// Takes ownership of `pass` and mirrors it as a node under `parent`, with the pass's ports
    /// and names; returns the node ref. The pass starts enabled; setup is not called. Refused (-1)
    /// for a null pass or an invalid parent, and the renderer then deletes the pass, since the
    /// call hands it over either way; also refused, but not deleted, for a pass that this
    /// renderer already owns.
    int addPass(const QString& name, RenderPass* pass, int parent);
    int addParameter(const QString& name, const QVariant& value);  ///< Returns its index.
    int addOutput(const QString& name);  ///< Returns its index; invalid until a frame sets it.

    int findParameter(const QString& name) const;  ///< First of that name, or -1.
    int findOutput(const QString& name) const;     ///< First of that name, or -1.
    int findPass(const QString& name) const;       ///< Node ref of the first top-level node, or -1.

    int getNumPasses() const;   ///< Passes started by the latest frame, not passes added.
    int numParameters() const;  ///< Inputs of the root node.
    int numOutputs() const;     ///< Outputs of the root node.

    /// Out-of-range indexes: types are QMetaType::UnknownType, values invalid, setters inert.
    QMetaType::Type parameterType(int index) const;       ///< Type of the parameter's value.
    void setParameter(int index, const QVariant& value);  ///< Used from the next frame.
    QVariant parameterValue(int index);                   ///< The value the next frame uses.
    QVariant parameterValue(int index) const;             ///< The value the next frame uses.
    QMetaType::Type outputType(int index) const;          ///< Type of the output's value.
    QVariant output(int index) const;                     ///< As the latest frame collected it.

    /// The pass of a node, or null for groups, the root and refs outside the graph.
    RenderPass* renderPass(int node) const;
    bool enabled(int node) const;  ///< False for a node without a pass.
    /// Used from the next frame; inert without a pass. Called by a pass from inside a frame, it
    /// counts for every pass that frame has not reached yet: a flag is read when the frame
    /// reaches its pass (and a producer's when its consumer is fed), in flight as one at a time.
    void setEnabled(int node, bool enabled);
    /// A node rendered every frame besides what feeds the outputs; -1 for none. A ref outside
    /// the node table is ignored; a removed node is rendered until purge, its inputs unfed.
    /// Graph::purge alone leaves the target's ref as it was, so that after it the ref may name
    /// another node, which then renders, or none; purgeGraph() keeps it on its node.
    void setTarget(int node);
    int target() const;  ///< As set, -1 for none.
    /// Graph::purge on the renderer's graph, with the target moved to its node's new ref, or
    /// cleared (-1) when the target was not a live node.
    void purgeGraph();

    /// How many passes a frame may have in flight at once; 1, the default, runs one pass at a
    /// time. Above 1, a pass starts as soon as the passes whose outputs it reads have ended,
    /// and passes that do not depend on each other overlap: all calls stay on the calling
    /// thread, and each pass still receives its own calls in the same order, with the same
    /// values (a pass that reads another's output of the frame before, through a loop of
    /// container ports, is fed before that other pass starts). Refused (false, unchanged) below
    /// 1. Used from the next frame.
    bool setMaxPassesInFlight(int limit);
    int maxPassesInFlight() const;  ///< 1 unless set.

    /// @name Waiting for passes in flight
    /// By default a frame that can start no pass, and whose passes in flight have all answered
    /// isFinished false, sleeps 100 microseconds before it polls them again. A wait function
    /// replaces that sleep: the renderer calls it on its own thread with the passes in flight,
    /// in the order they started, and polls them again when it returns. It may return early or
    /// for nothing (the renderer then polls and calls it again); if it waits for something that
    /// never comes, render() waits with it, as for a pass that never finishes. It must not call
    /// the renderer.
    ///@{

    /// A host's wait for passes in flight; see setWaitFunction.
    using WaitFunction = std::function<void(const QVector<RenderPass*>& inFlight)>;
    /// Installs `wait`, or with an empty function goes back to sleeping 100 microseconds.
    /// Refused (false, unchanged) while a frame is rendering. Used from the next wait.
    bool setWaitFunction(WaitFunction wait);
    bool hasWaitFunction() const;  ///< False unless a wait function is installed.
    ///@}

    /// @name Inspection of the latest frame
    /// Answers describe the latest frame and cost the frame nothing: they are worked out when
    /// asked, from what the frame keeps anyway. Any ref is accepted.
    ///@{

    NodeOutcome outcome(int node) const;  ///< Unknown before the first frame.
    /// Whether the latest frame needed the node; for a group or the root, whether it needed a
    /// pass inside it (so never for an empty group).
    bool wasNeeded(int node) const;
    unsigned int failureCode(int node) const;  ///< The error code of a Failed node, else 0.
    /// Why the node did what it did, in one line of English naming nodes by path and ports by
    /// name: for a pass that ran, the chain that needed it up to an output or the target (and
    /// its time when timing is on); for one not needed, its consumers that were not needed
    /// either; for a disabled one, the inputs that took their defaults instead; for one not
    /// reached, the pass that failed and its code; for a group, what its passes did and the
    /// chain that needed them. Lists and chains are shortened in the middle, saying how much
    /// was left out, so that the line stays a few hundred characters long.
    QString explain(int node) const;
    ///@}

    /// Culling off runs every enabled pass each frame, as if each were a root, in the same
    /// producer-first order: for finding out whether culling is why a pass did not run. On by
    /// default. Used from the next frame.
    void setCulling(bool culling);
    bool culling() const;  ///< True unless switched off.
    /// On, a disabled pass no longer makes its producers needed: the passes that only it needs
    /// are culled too, for debugging a pipeline with a pass switched off. Off by default (the
    /// producers of a disabled pass run). No effect with culling off. Used from the next frame.
    void setCullBehindDisabled(bool cull);
    bool cullBehindDisabled() const;  ///< False unless switched on.

    /// @name Output lifetimes and transient memory
    /// All off by default: a renderer that is not asked does no more than without them.
    ///@{

    /// Every output of every pass in the latest frame's schedule (the one rendering, if any), by
    /// step, then by output; node refs as of that frame. Readers are the passes fed from the
    /// output, through containers, disabled ones included. Empty before the first frame.
    QVector<OutputLifetime> outputLifetimes() const;

    /// When on, each frame's plan places in one heap (see planMemory) the outputs that do not
    /// outlive the frame, with the sizes of the table or the function below; and with passes in
    /// flight, a pass whose output takes bytes that an earlier output used starts only after
    /// every reader of that earlier output has ended. Used from the next frame.
    void setMemoryPlanning(bool enabled);
    bool memoryPlanning() const;  ///< False unless switched on.
    /// Sets one output's entry in the size table (outputs without one take no memory). Refused
    /// (false, no change) for a node without a pass, an output it lacks, a negative size or an
    /// alignment that is not a power of two. Kept by pass, so a purge does not move it.
    bool setOutputMemory(int node, int output, const OutputMemory& memory);
    /// Sizes asked from a function instead of the table, for every output whenever the frame
    /// plan is rebuilt, and at the next frame after each call; an empty function goes back to
    /// the table.
    void setOutputMemoryFunction(std::function<OutputMemory(int node, int output)> memory);
    /// The sizes have changed (a resize): the next frame asks the function for every output
    /// again and places them anew. Without it, the plan keeps the sizes it was given until
    /// the frame plan is rebuilt.
    void invalidateOutputSizes();
    /// The latest frame's memory plan, by output in the order of outputLifetimes(), then two
    /// places for each output a history input reads; empty when planning is off. When the function
    /// gave a bad size, nothing is placed and the error names the output.
    MemoryPlan memoryPlan() const;
    /// The output's offset in the latest frame's memory plan, or -1 when it has none.
    qint64 memoryOffset(int node, int output) const;

    /// Called with a pass and one of its outputs, produced this frame and not outliving it, as
    /// soon as the last pass reading it has ended (or the pass itself, when none reads it), so
    /// that its memory can go back to a pool. When a failure stops the frame, the outputs still
    /// held are handed back as the frame ends. An empty function, the default, calls nothing.
    /// Used from the next frame.
    void setOutputReleased(std::function<void(RenderPass* pass, int output)> released);
    ///@}

    /// @name History inputs
    /// For a temporal pass (anti-aliasing, accumulation, exposure adaptation): a history input
    /// reads the value an output of another pass, or of its own, had at the end of the frame
    /// before, kept by the renderer, whatever the order of the two passes this frame. It needs
    /// no edge (an edge back to a producer downstream would close a cycle the graph refuses)
    /// and no group: it does not make its pass wait for the producer, and any edge into the
    /// input is ignored. The producer is still needed. Loops through container ports keep
    /// working as before. None by default.
    ///@{

    /// Makes input `input` of the node's pass a history input reading output `output` of the
    /// pass at `producer`. Refused (false, no change) for a node without a pass or a port it
    /// lacks. Kept by pass, so a purge does not move it. Used from the next frame, whose plan
    /// is then made again.
    bool setHistoryInput(int node, int input, int producer, int output);
    /// Makes the input an ordinary input again, fed by its edge; inert for any other.
    void removeHistoryInput(int node, int input);
    bool isHistoryInput(int node, int input) const;  ///< False for anything not marked.
    /// The node and output a history input reads, as of now (the producer's first node); false,
    /// and nothing written, for anything not a history input or a producer no longer in the
    /// graph.
    bool historySource(int node, int input, int* producer, int* output) const;
    /// Whether the value the history input got in the frame rendering (or, after it, in the
    /// latest frame) is real: its producer ran, without error, in the frame just before, and
    /// since then neither the input's producer nor the memory plan's places changed, no resize
    /// (invalidateOutputSizes) and no resetHistory came. When false the input got its default
    /// value. False before the input is fed and for anything not a history input.
    bool historyValid(int node, int input) const;
    /// Makes every history input invalid for the next frame (a camera cut).
    void resetHistory();
    /// With the memory plan on, an output read by a history input has two places beside the
    /// heap's transient outputs, which frames take in turn: memoryOffset gives this frame's,
    /// this call the frame before's (the one the history inputs read). -1 for an output
    /// without two places.
    qint64 historyMemoryOffset(int node, int output) const;
    ///@}

    /// @name Synchronisation plan
    /// For a host that records a frame's GPU work and submits it in a few batches: which
    /// changes of usage (barriers, layout transitions) each step needs before its pass runs.
    /// Off by default, and a frame that does not ask pays nothing for it.
    ///
    /// Walking the schedule as one pass at a time runs it (so the plan is the same in flight),
    /// over the steps whose passes are enabled at the frame's start, and over the reads of
    /// enabled producers' outputs, each output's usage changes as follows:
    /// - the first read after its write: ReadAfterWrite from the write's usage to the read's,
    ///   waiting for the writing step, whatever the usages are; after that a read in the
    ///   output's current usage needs nothing, and a read in another usage a UsageChange from
    ///   the current usage, waiting for the latest earlier step that accessed the output. So
    ///   three reads in one usage cost one transition.
    /// - with the memory plan on, before a step writes an output placed over bytes that earlier
    ///   outputs of the frame held: a Reuse for each output that last held some of those bytes
    ///   (only a byte's latest holder of an enabled step counts; the older ones were waited for
    ///   when it took the bytes), from its current usage to the new output's write usage,
    ///   waiting for its latest access.
    /// - a read of the value of the frame before (a loop through container ports): the first
    ///   such read is a HistoryRead, waiting for the frame before, from the usage the plan of
    ///   the latest frame that ran the output's pass left it in (when a change of plan moves
    ///   that, the next frame makes its plan again); later ones follow the read rule above. The
    ///   step that writes the output later in the frame then needs a WriteAfterHistoryRead from the
    ///   current usage to its write usage, waiting for the latest of those reads, or for the frame
    ///   before when the output is kept in two copies (each frame writes the copy the frame before
    ///   did not): double-buffered, or read by a history input. The history reads' transitions are
    ///   marked Transition::frameBefore.
    ///
    /// Several inputs of one step reading one output in one usage make one read. The plan
    /// covers one frame: a host with several frames in flight on the device keeps one set of
    /// transient memory per frame. It is made at a frame's start from the enabled flags of
    /// that moment, so a pass switched on or off from inside a frame counts from the next.
    ///@{

    /// Makes each frame bring the plan up to date before its first pass starts: when the frame
    /// plan, the memory plan, an enabled flag, a usage or a double-buffering has changed.
    void setSyncPlanning(bool enabled);
    bool syncPlanning() const;  ///< False unless switched on.
    /// Sets one port's usage in the table (ports without one have usage 0). Refused (false, no
    /// change) for a node without a pass or a port it lacks. Kept by pass, so a purge does not
    /// move it.
    bool setPortUsage(int node, PortSide side, int port, int usage);
    /// A host's usage of one port; see setPortUsageFunction.
    using UsageFunction = std::function<int(int node, PortSide side, int port)>;
    /// Usages asked from a function instead of the table, for every port of every step
    /// whenever the synchronisation plan is made; an empty function goes back to the table.
    void setPortUsageFunction(UsageFunction usage);
    /// Whether the host keeps two copies of the output, one written by each frame in turn, so
    /// that its write need not wait for this frame's reads of the frame before. Refused (false,
    /// no change) for a node without a pass or an output it lacks. Kept by pass.
    bool setOutputDoubleBuffered(int node, int output, bool doubleBuffered);
    /// The plan of the latest frame (the one rendering, if any); empty when planning is off
    /// or before the first frame.
    SyncPlan syncPlan() const;
    /// The step (a position in the schedule) whose pass the renderer started most recently in
    /// the frame rendering: called by a pass from its beginFrame or start, its own step. -1
    /// outside a frame.
    int currentStep() const;
    ///@}

    /// @name Per-pass timing
    /// Off by default. When on, each frame records, on one monotonic clock, its own span and
    /// each pass's from just before beginFrame to just after endFrame returns, whatever the
    /// pass is; the latest timingHistory() frames are kept.
    ///@{

    void setTimingEnabled(bool enabled);  ///< Used from the next frame.
    bool timingEnabled() const;           ///< False unless switched on.
    /// Frames kept, from 1 to 100000 (default 100); the newest are kept. False, and no
    /// change, for any other count and while a frame is rendering.
    bool setTimingHistory(int frames);
    int timingHistory() const;  ///< 100 unless set.
    /// Nanoseconds the node's pass took in the latest frame, if that frame was timed and the
    /// pass ran; else -1.
    qint64 latestPassTime(int node) const;
    /// The kept frames in the Chrome Trace Event Format (chrome://tracing, Perfetto): one
    /// complete event per frame on a track of its own, one per pass run named by its node path
    /// (args: node ref, frame number, a non-zero error code), passes that overlap in time on
    /// separate tracks, and metadata naming the process and the tracks. Valid JSON for any
    /// names; an empty trace when nothing was timed.
    QByteArray traceJson() const;
    ///@}

    FrameTimer<100>& frameTimer();              ///< Spans whole render() calls.
    const FrameTimer<100>& frameTimer() const;  ///< Spans whole render() calls.

    virtual void setup(RenderCallbacks* callbacks);  ///< Every pass's setup, in pass order.
    /// Runs one frame; false when a pass reported a non-zero error code, which stops the frame
    /// (the outputs are still collected). A call made from inside a running frame does nothing
    /// and returns false.
    virtual bool render(RenderCallbacks* callbacks);
    virtual void teardown(RenderCallbacks* callbacks);  ///< Every pass's teardown, in pass order.

protected:
    virtual void beginFrame(RenderCallbacks* callbacks);  ///< Starts the frame timer.
    virtual void endFrame(RenderCallbacks* callbacks);    ///< Stops the frame timer.

private:
    friend struct detail::RendererAccess;
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    detail::RendererData* d;
    FrameTimer<100> _frameTimer;
};

/// The renderer's whole graph as Graphviz DOT text (see graphAsDot), the root drawn as
/// "parameters" and "outputs" and each pass in the colour of its outcome in the latest frame
/// (ran green, failed red, disabled grey, not reached orange; not needed faded and dashed),
/// labelled with its time when timing is on. Each history input's read of the frame before,
/// which has no edge in the graph, is drawn as a grey dashed edge labelled "frame before".
ORVCORE_EXPORT QByteArray frameAsDot(const Renderer& renderer);

/// What frameAsDot draws besides the outcomes.
struct FrameDotOptions {
    /// Labels each edge that ends at a pass's input with the transitions of the latest frame's
    /// synchronisation plan that the pass's step needs for the output feeding it (through
    /// containers): its usages and reason, as "1→2 read after write", and why in the edge's
    /// hover text. An edge whose output needs none there, and every edge of a frame without a
    /// plan, stays unlabelled.
    bool transitions = false;
};

/// frameAsDot(renderer) with the options' additions; with none set, the same text.
ORVCORE_EXPORT QByteArray frameAsDot(const Renderer& renderer, const FrameDotOptions& options);

}  // namespace Orv
}  // namespace Vantrel
