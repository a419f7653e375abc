// A frame with more than one pass in flight. Every call is still made on the thread that calls
// render(); passes overlap only in the work they hand elsewhere.
#include "render/frame_p.h"

#include <algorithm>
#include <vector>

namespace Vantrel {
namespace Orv {

namespace {

// The steps set aside to wait that have since become ready, lowest position first: one bit per
// step, the first word that may hold a bit, and how many are set.
class ReadySteps {
public:
    // Empties `words`, sized for `numSteps`, and works on them.
    void reset(std::vector<quint64>& words, int numSteps) {
        words.assign(size_t(numSteps + 63) / 64, 0);
        _words = words.data();
        _first = 0;
        _count = 0;
    }
    void insert(int step) {
        const int word = step / 64;
        _words[word] |= quint64(1) << (step % 64);
        _first = std::min(_first, word);
        ++_count;
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
    quint64* _words = nullptr;
    int _first = 0;
    int _count = 0;
};

// A step is decided, in schedule order, once its predecessors have ended and there is room:
// its pass's enabled flag is read then, as one pass at a time reads it when the frame reaches
// the pass, so that a pass upstream may switch it. A disabled step is skipped and counts as
// ended; an enabled one starts. A pass that must wait holds back no other. It is asked whether it
// has finished as soon as it starts, and ended then if it has. Then the passes in flight are
// polled in the order they started, and each that has finished is ended at once. After a failure
// nothing more starts, but the passes in flight are still polled and ended: their work cannot be
// abandoned.
//
// The frame walks the schedule in order. A step whose predecessors have all ended is the next to
// start; one that must wait is set aside with a count of the predecessors it waits for, which
// each of them counts down as it ends, and it is ready at 0. Steps set aside come before the walk
// goes on: they lie behind it. A frame whose passes finish as they start never sets one aside.
class OverlappedFrame {
public:
    OverlappedFrame(detail::RendererData& d, RenderCallbacks* callbacks)
        : _d(d),
          _plan(d.plan),
          _links(d.links),
          _callbacks(callbacks),
          _numSteps(int(d.plan.schedule().size())),
          _room(std::min(d.maxPassesInFlight, _numSteps)) {
        d.overlap.inFlight.resize(size_t(_room));
        _inFlight = d.overlap.inFlight.data();
        d.overlap.ended.assign(size_t(_numSteps), 0);
        _ended = d.overlap.ended.data();
        d.overlap.waiting.assign(size_t(_numSteps), 0);
        _waiting = d.overlap.waiting.data();
        _ready.reset(d.overlap.readyWords, _numSteps);
    }

    bool run() {
        for (;;) {
            while (_numInFlight < _room) {
                const int s = nextReady();
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
    // The lowest step whose predecessors have all ended, or -1: a step set aside that has become
    // ready, or else the next of the walk; the steps the walk passes that must wait are set aside.
    int nextReady() {
        const int ready = _ready.takeLowest();
        if (ready >= 0) return ready;
        for (; _walk < _numSteps; ++_walk) {
            const int s = _walk;
            // With no pass in flight and none set aside, every step before the walk has ended.
            if (_numInFlight > 0 || _numWaiting > 0) {
                int waits = 0;
                const int* const predecessors = _links.predecessors();
                for (int k = _links.firstPredecessor(s); k < _links.firstPredecessor(s + 1); ++k)
                    waits += _ended[predecessors[k]] ? 0 : 1;
                if (waits > 0) {
                    _waiting[s] = waits;
                    ++_numWaiting;
                    continue;
                }
            }
            ++_walk;
            return s;
        }
        return -1;
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

    // Step `s` has ended or was skipped: the steps set aside that waited only for it are ready.
    void release(int s) {
        _ended[s] = 1;
        if (_numWaiting == 0) return;
        const int* const successors = _links.successors();
        for (int k = _links.firstSuccessor(s); k < _links.firstSuccessor(s + 1); ++k) {
            const int successor = successors[k];
            if (_waiting[successor] > 0 && --_waiting[successor] == 0) {
                _ready.insert(successor);
                --_numWaiting;
            }
        }
    }

    detail::RendererData& _d;
    const detail::FramePlan& _plan;
    const detail::StepLinks& _links;
    RenderCallbacks* const _callbacks;
    const int _numSteps;

    int _walk = 0;            // the next step of the walk
    char* _ended = nullptr;   // by step
    int* _waiting = nullptr;  // by step: predecessors not yet ended, for a step set aside
    int _numWaiting = 0;      // steps set aside and not yet ready
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
