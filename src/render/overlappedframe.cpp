// A frame with more than one pass in flight. Every call is still made on the thread that calls
// render(); passes overlap only in the work they hand elsewhere.
#include "render/frame_p.h"

#include <algorithm>
#include <vector>

namespace Vantrel {
namespace Orv {

namespace {

// The steps that may start, lowest position first: one bit per step, the first word that may
// hold a bit, and how many are set. Steps mostly become ready in schedule order, so the search
// seldom passes a word twice, and it never starts when nothing is ready.
class ReadySteps {
public:
    // Sets `words` to `initial` and works on them.
    void reset(std::vector<quint64>& words, const std::vector<quint64>& initial) {
        words = initial;
        _words = words.data();
        _first = 0;
        _count = 0;
        for (const quint64 bits : words) _count += __builtin_popcountll(bits);
    }
    // Adds `step` when `ready`. Whether a successor has become ready is a coin toss on most
    // graphs, so this takes no branch on it.
    void insertIf(int step, bool ready) {
        const int word = int(unsigned(step) / 64);
        _words[word] |= quint64(ready) << (unsigned(step) % 64);
        _first = std::min(_first, ready ? word : _first);
        _count += int(ready);
    }
    int takeLowest() {  // -1 when none
        if (_count == 0) return -1;
        --_count;
        while (_words[_first] == 0) ++_first;
        quint64& bits = _words[_first];
        const int step = _first * 64 + __builtin_ctzll(bits);
        bits &= bits - 1;
        return step;
    }

private:
    static quint64 bit(int step) { return quint64(1) << (unsigned(step) % 64); }

    quint64* _words = nullptr;
    int _first = 0;
    int _count = 0;
};

// A step is decided, in schedule order, once its predecessors have ended and there is room:
// its pass's enabled flag is read then, as one pass at a time reads it when the frame reaches
// the pass, so that a pass upstream may switch it. A disabled step is skipped and readies the
// steps that wait for it; an enabled one starts. A pass that must wait holds back no other. It is
// asked whether it has finished as soon as it starts, and ended then if it has. Then the passes in
// flight are polled in the order they started, and each that has finished is ended at once. After a
// failure nothing more starts, but the passes in flight are still polled and ended: their work
// cannot be abandoned.
class OverlappedFrame {
public:
    OverlappedFrame(detail::RendererData& d, RenderCallbacks* callbacks)
        : _d(d),
          _plan(d.plan),
          _links(d.links),
          _callbacks(callbacks),
          _room(std::min(d.maxPassesInFlight, int(d.plan.schedule().size()))) {
        d.overlap.inFlight.resize(size_t(_room));
        _inFlight = d.overlap.inFlight.data();
        readyFirstSteps();
    }

    bool run() {
        for (;;) {
            while (_numInFlight < _room) {
                const int s = _ready.takeLowest();
                if (s < 0) break;
                if (!_d.enabled.at(_plan.schedule()[size_t(s)].passIndex)) {
                    detail::skipPass(_d, s);
                    release(s);
                    continue;
                }
                const detail::StartedPass started = detail::startPass(_d, s, _callbacks);
                // Asked at once, as one pass at a time asks: a pass that finished as it started
                // ends while its data is still at hand, and takes no room.
                if (started.pass->isFinished())
                    end(started);
                else
                    _inFlight[_numInFlight++] = started;
            }
            if (_numInFlight == 0) return _d.latest.failures.empty();
            pollRound();
        }
    }

private:
    void readyFirstSteps() {
        _d.overlap.waiting = _links.predecessorCounts();
        _waiting = _d.overlap.waiting.data();
        _ready.reset(_d.overlap.readyWords, _links.readyAtStart());
    }

    // Polls the passes in flight in the order they started and ends each that has finished;
    // when none has, waits (nothing can start until one does).
    void pollRound() {
        int kept = 0;
        bool ended = false;
        for (int k = 0; k < _numInFlight; ++k) {
            const detail::StartedPass running = _inFlight[k];
            if (!running.pass->isFinished()) {
                _inFlight[kept++] = running;
                continue;
            }
            ended = true;
            end(running);
        }
        _numInFlight = kept;
        if (!ended) detail::waitForPasses(_d, _inFlight, _numInFlight);
    }

    // Ends a finished pass: readies the steps that waited only for it, or, when it failed,
    // starts nothing more.
    void end(const detail::StartedPass& started) {
        if (detail::endPass(_d, started, _callbacks))
            release(started.step);
        else
            _room = 0;
    }

    // Readies the steps that waited only for `s`.
    void release(int s) {
        const int* const successors = _links.successors();
        for (int k = _links.firstSuccessor(s); k < _links.firstSuccessor(s + 1); ++k) {
            _ready.insertIf(successors[k], --_waiting[successors[k]] == 0);
        }
    }

    detail::RendererData& _d;
    const detail::FramePlan& _plan;
    const detail::StepLinks& _links;
    RenderCallbacks* const _callbacks;

    int* _waiting = nullptr;  // by step: predecessors not yet ended
    ReadySteps _ready;
    detail::StartedPass* _inFlight = nullptr;  // in the order they started
    int _numInFlight = 0;
    int _room;  // room for passes in flight; none after a failure
};

}  // namespace

bool detail::runOverlapped(RendererData& d, RenderCallbacks* callbacks) {
    return OverlappedFrame(d, callbacks).run();
}

}  // namespace Orv
}  // namespace Vantrel
