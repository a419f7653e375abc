// Greedy placement in a few orders, keeping the smallest heap: large buffers are the hardest to
// fit, and the buffers of the busiest steps decide the heap, so either may go first; each later
// one takes the tightest gap among the buffers it overlaps in time.
#include <Orv/MemoryPlan.h>

#include "memory/memoryplan_p.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace Vantrel {
namespace Orv {

namespace {

constexpr qint64 kMaxBytes = std::numeric_limits<qint64>::max();

// x rounded up to a multiple of `alignment` (a power of two); false when it does not fit.
bool alignUp(qint64 x, qint64 alignment, qint64* result) {
    qint64 raised = 0;
    if (__builtin_add_overflow(x, alignment - 1, &raised)) return false;
    *result = raised & ~(alignment - 1);
    return true;
}

// The bytes a placed request holds, [offset, end): all that the search for a gap needs, so that
// the requests found are quick to gather and sort.
struct Bytes {
    qint64 offset;
    qint64 end;
};

// Leaves by step: one per distinct first step. Steps that are dense (a renderer's steps are
// 0 to n - 1) are their own leaves, which spares a binary search per look-up.
class StepLeaves {
public:
    StepLeaves(std::vector<int> firsts, int maxStep) {
        std::sort(firsts.begin(), firsts.end());
        firsts.erase(std::unique(firsts.begin(), firsts.end()), firsts.end());
        _dense = qint64(maxStep) <= 4 * qint64(firsts.size()) + 64;
        _count = _dense ? size_t(maxStep) + 1 : firsts.size();
        if (!_dense) _firsts = std::move(firsts);
    }
    size_t count() const { return _count; }
    bool isDense() const { return _dense; }
    size_t atOrAfter(int step) const {  // the first leaf whose step is at least `step`
        if (_dense) return size_t(std::clamp<qint64>(step, 0, qint64(_count)));
        return size_t(std::lower_bound(_firsts.begin(), _firsts.end(), step) - _firsts.begin());
    }
    size_t after(int step) const {  // the first leaf whose step is above `step`
        if (_dense) return size_t(std::clamp<qint64>(qint64(step) + 1, 0, qint64(_count)));
        return size_t(std::upper_bound(_firsts.begin(), _firsts.end(), step) - _firsts.begin());
    }

private:
    bool _dense = true;
    size_t _count = 0;
    std::vector<int> _firsts;  // distinct, ascending, unless dense
};

// The placed requests, found by time. Every request it may hold has a slot, the slots sorted by
// first step, so that the requests of a run of steps lie side by side and a slot says whether it
// is placed yet (its last step is -1 until then). Over the leaves lies a segment tree whose nodes
// know the latest last step placed below them, so a query descends only where some request can
// still be live.
class PlacedByTime {
public:
    // Slots for `members`, requests of `requests`.
    PlacedByTime(const StepLeaves& steps, const QVector<MemoryRequest>& requests,
                 const std::vector<int>& members)
        : _steps(steps), _slotOf(size_t(requests.size()), -1) {
        while (_leaves < _steps.count()) _leaves *= 2;
        _maxLast.assign(2 * _leaves, -1);
        _firstSlot.assign(_steps.count() + 1, 0);
        for (const int r : members) ++_firstSlot[_steps.atOrAfter(requests.at(r).firstStep) + 1];
        for (size_t leaf = 0; leaf < _steps.count(); ++leaf)
            _firstSlot[leaf + 1] += _firstSlot[leaf];
        std::vector<int> next(_firstSlot.begin(), _firstSlot.end() - 1);
        for (const int r : members)
            _slotOf[size_t(r)] = next[_steps.atOrAfter(requests.at(r).firstStep)]++;
        _slots.assign(members.size(), Slot{-1, Bytes{0, 0}});
    }

    void insert(int request, int firstStep, int lastStep, Bytes bytes) {
        _slots[size_t(_slotOf[size_t(request)])] = Slot{lastStep, bytes};
        _longest = std::max(_longest, lastStep - firstStep);
        for (size_t node = _steps.atOrAfter(firstStep) + _leaves;
             node > 0 && _maxLast[node] < lastStep; node /= 2)
            _maxLast[node] = lastStep;
    }

    // Appends the placed requests live at some step of [first, last].
    void findOverlapping(int first, int last, std::vector<Bytes>* found) const {
        // Leaves whose first step is at most `last`.
        const size_t end = _steps.after(last);
        if (end == 0) return;
        // Depth first; the stack holds at most one pending sibling per level.
        Range stack[2 * 64];
        int top = 0;
        stack[top++] = Range{1, 0, _leaves};
        while (top > 0) {
            const Range range = stack[--top];
            if (range.begin >= end || _maxLast[range.node] < first) continue;
            if (range.node >= _leaves) {
                const size_t leaf = range.node - _leaves;
                gather(_firstSlot[leaf], _firstSlot[leaf + 1], first, found);
                continue;
            }
            const size_t middle = (range.begin + range.end) / 2;
            stack[top++] = Range{2 * range.node + 1, middle, range.end};
            stack[top++] = Range{2 * range.node, range.begin, middle};
        }
    }

    // The same for a request of a few steps: no placed request lives longer than `_longest`
    // steps, so only the slots from first - _longest on can hold one, and reading them in turn
    // beats descending the tree.
    void scan(int first, int last, std::vector<Bytes>* found) const {
        gather(_firstSlot[_steps.atOrAfter(first - _longest)], _firstSlot[_steps.after(last)],
               first, found);
    }

private:
    struct Range {
        size_t node;
        size_t begin;  // leaves [begin, end)
        size_t end;
    };
    struct Slot {
        int lastStep;  // -1 until placed
        Bytes bytes;
    };

    // The placed requests of slots [begin, end) that live at `first` or later. Whether a slot
    // counts is a coin toss, so each is written and kept or not without a branch.
    void gather(int begin, int end, int first, std::vector<Bytes>* found) const {
        if (begin >= end) return;
        size_t count = found->size();
        found->resize(count + size_t(end - begin));
        Bytes* const out = found->data();
        for (int slot = begin; slot < end; ++slot) {
            out[count] = _slots[size_t(slot)].bytes;
            count += size_t(_slots[size_t(slot)].lastStep >= first);
        }
        found->resize(count);
    }

    const StepLeaves& _steps;
    size_t _leaves = 1;
    std::vector<int> _maxLast;    // by tree node (1 is the top; leaves from _leaves on)
    std::vector<int> _firstSlot;  // by leaf, and one past the last
    std::vector<int> _slotOf;     // by request, -1 for a request not held here
    std::vector<Slot> _slots;
    int _longest = 0;  // the most steps a placed request lives, less one
};

// Sums that cannot overflow. They only ever saturate when the requests live at some step add
// up to more than a heap can hold, and then no order places them and the figures are not used.
qint64 addSaturated(qint64 a, qint64 b) {
    qint64 sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? kMaxBytes : std::numeric_limits<qint64>::min();
}

// By leaf, the total size live at its step: +size where a request starts, -size after it ends.
// The live total only rises at a first step, so the largest over the leaves is the largest over
// all steps.
std::vector<qint64> liveByLeaf(const QVector<MemoryRequest>& requests, const StepLeaves& steps) {
    std::vector<qint64> live(steps.count(), 0);
    if (steps.isDense()) {
        std::vector<qint64> change(steps.count() + 1, 0);
        for (const MemoryRequest& request : requests) {
            if (request.size == 0) continue;
            qint64& start = change[size_t(request.firstStep)];
            qint64& end = change[size_t(request.lastStep) + 1];
            start = addSaturated(start, request.size);
            end = addSaturated(end, -request.size);
        }
        qint64 sum = 0;
        for (size_t leaf = 0; leaf < live.size(); ++leaf)
            live[leaf] = sum = addSaturated(sum, change[leaf]);
        return live;
    }
    std::vector<std::pair<qint64, qint64>> changes;  // (step, change), ends sorted first
    for (const MemoryRequest& request : requests) {
        if (request.size == 0) continue;
        changes.emplace_back(request.firstStep, request.size);
        changes.emplace_back(qint64(request.lastStep) + 1, -request.size);
    }
    std::sort(changes.begin(), changes.end());
    qint64 sum = 0;
    for (const auto& change : changes) {
        sum = addSaturated(sum, change.second);
        // Starts at a step come after the ends there, so the last change at a first step leaves
        // that step's total.
        if (change.second > 0) live[steps.atOrAfter(int(change.first))] = sum;
    }
    return live;
}

// The largest value over a range of leaves, from a table of the largest over each power-of-two
// run.
class RangeMax {
public:
    explicit RangeMax(std::vector<qint64> values) {
        _levels.push_back(std::move(values));
        for (size_t width = 1; 2 * width <= _levels[0].size(); width *= 2) {
            const std::vector<qint64>& below = _levels.back();
            std::vector<qint64> level(below.size() - width);
            for (size_t i = 0; i < level.size(); ++i)
                level[i] = std::max(below[i], below[i + width]);
            _levels.push_back(std::move(level));
        }
    }
    qint64 largest(size_t begin, size_t end) const {  // leaves [begin, end), not empty
        size_t level = 0;
        while (size_t(2) << level <= end - begin) ++level;
        return std::max(_levels[level][begin], _levels[level][end - (size_t(1) << level)]);
    }

private:
    std::vector<std::vector<qint64>> _levels;  // level k: the largest of 2^k leaves from each
};

MemoryPlan refused(int r, const QString& problem) {
    MemoryPlan plan;
    plan.error = QStringLiteral("request %1: %2").arg(r).arg(problem);
    return plan;
}

// Places the requests in `order`, each at the best-fit offset among the requests already
// placed that it overlaps in time. Returns -1, or the request that did not fit in 2^63 bytes.
int placeInOrder(const QVector<MemoryRequest>& requests, const std::vector<int>& order,
                 const StepLeaves& steps, std::vector<qint64>* offsets, qint64* heapSize) {
    // Most buffers live a few steps: those are found by reading the few leaves that can hold
    // them; the long-lived ones, and everything a long-lived buffer overlaps, through the tree.
    constexpr int kShort = 64;
    auto livesShort = [&](int r) {
        return qint64(requests.at(r).lastStep) - requests.at(r).firstStep <= kShort;
    };
    std::vector<int> shortOnes;
    std::vector<int> longOnes;
    for (const int r : order) (livesShort(r) ? shortOnes : longOnes).push_back(r);
    PlacedByTime shortLived(steps, requests, shortOnes);
    PlacedByTime longLived(steps, requests, longOnes);
    std::vector<Bytes> overlapping;
    *heapSize = 0;
    for (const int r : order) {
        const MemoryRequest& request = requests.at(r);
        const bool isShort = livesShort(r);
        overlapping.clear();
        if (isShort)
            shortLived.scan(request.firstStep, request.lastStep, &overlapping);
        else
            shortLived.findOverlapping(request.firstStep, request.lastStep, &overlapping);
        longLived.findOverlapping(request.firstStep, request.lastStep, &overlapping);
        std::sort(overlapping.begin(), overlapping.end(),
                  [](const Bytes& a, const Bytes& b) { return a.offset < b.offset; });
        qint64 best = -1;
        qint64 bestGap = kMaxBytes;
        qint64 usedEnd = 0;  // end of the highest buffer below the gap being looked at
        for (const Bytes& other : overlapping) {
            qint64 start = 0;
            if (alignUp(usedEnd, request.alignment, &start) && start <= other.offset &&
                other.offset - start >= request.size && other.offset - start < bestGap) {
                best = start;
                bestGap = other.offset - start;
            }
            usedEnd = std::max(usedEnd, other.end);
        }
        qint64 end = 0;
        if (best < 0 && !alignUp(usedEnd, request.alignment, &best)) return r;
        if (__builtin_add_overflow(best, request.size, &end)) return r;
        (*offsets)[size_t(r)] = best;
        *heapSize = std::max(*heapSize, end);
        (isShort ? shortLived : longLived)
            .insert(r, request.firstStep, request.lastStep, Bytes{best, end});
    }
    return -1;
}

}  // namespace

QString detail::memoryRequestProblem(qint64 size, qint64 alignment) {
    if (size < 0) return QStringLiteral("size %1 is negative").arg(size);
    if (alignment < 1 || (alignment & (alignment - 1)) != 0)
        return QStringLiteral("alignment %1 is not a power of two").arg(alignment);
    return QString();
}

MemoryPlan planMemory(const QVector<MemoryRequest>& requests) {
    MemoryPlan plan;
    std::vector<int> placed;  // the requests of non-zero size
    std::vector<int> firsts;
    int maxStep = 0;
    for (int r = 0; r < requests.size(); ++r) {
        const MemoryRequest& request = requests.at(r);
        const QString problem = detail::memoryRequestProblem(request.size, request.alignment);
        if (!problem.isEmpty()) return refused(r, problem);
        if (request.firstStep < 0 || request.lastStep < request.firstStep)
            return refused(r, QStringLiteral("steps %1 to %2 are not a range of steps")
                                  .arg(request.firstStep)
                                  .arg(request.lastStep));
        // Saturates: buffers that never live together may share bytes, so the heap can fit
        // where the plain sum does not.
        plan.totalSize = addSaturated(plan.totalSize, request.size);
        if (request.size == 0) continue;
        placed.push_back(r);
        firsts.push_back(request.firstStep);
        maxStep = std::max(maxStep, request.lastStep);
    }
    const StepLeaves steps(std::move(firsts), maxStep);
    std::vector<qint64> live = liveByLeaf(requests, steps);
    for (const qint64 l : live) plan.lowerBound = std::max(plan.lowerBound, l);

    std::vector<qint64> offsets(size_t(requests.size()), -1);
    std::vector<qint64> trial(size_t(requests.size()), -1);
    int failed = -1;  // the request that did not fit in the first order that failed
    bool found = false;
    auto tryOrder = [&](const std::vector<int>& order) {
        qint64 heap = 0;
        const int r = placeInOrder(requests, order, steps, &trial, &heap);
        if (r >= 0 && failed < 0) failed = r;
        if (r >= 0 || (found && heap >= plan.heapSize)) return;
        found = true;
        plan.heapSize = heap;
        offsets = trial;
    };
    // Within 1% of the lower bound, another order can save little and costs a placement.
    auto closeEnough = [&] {
        return found && plan.heapSize - plan.lowerBound <= plan.lowerBound / 100;
    };

    // Ties by first step, then by request, so that plans are reproducible.
    auto bySize = [&](int a, int b) {
        const MemoryRequest& x = requests.at(a);
        const MemoryRequest& y = requests.at(b);
        if (x.size != y.size) return x.size > y.size;
        if (x.firstStep != y.firstStep) return x.firstStep < y.firstStep;
        return a < b;
    };
    // Sorted on keys held in place: cheaper than comparing through the requests.
    struct SizeKey {
        qint64 size;
        int firstStep;
        int request;
        bool operator<(const SizeKey& other) const {
            if (size != other.size) return size > other.size;
            if (firstStep != other.firstStep) return firstStep < other.firstStep;
            return request < other.request;
        }
    };
    std::vector<SizeKey> keys;
    keys.reserve(placed.size());
    for (const int r : placed)
        keys.push_back(SizeKey{requests.at(r).size, requests.at(r).firstStep, r});
    std::sort(keys.begin(), keys.end());
    std::vector<int> order;
    order.reserve(keys.size());
    for (const SizeKey& key : keys) order.push_back(key.request);
    tryOrder(order);
    if (closeEnough()) {
        plan.offsets = QVector<qint64>(offsets.begin(), offsets.end());
        return plan;
    }

    // Breadth: the most bytes live at any step of a request's lifetime. The busiest steps are
    // the ones that decide the heap, so their buffers go first.
    const RangeMax busiest(std::move(live));
    std::vector<qint64> breadth(size_t(requests.size()), 0);
    for (const int r : placed) {
        const MemoryRequest& request = requests.at(r);
        breadth[size_t(r)] =
            busiest.largest(steps.atOrAfter(request.firstStep), steps.after(request.lastStep));
    }
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        if (breadth[size_t(a)] != breadth[size_t(b)])
            return breadth[size_t(a)] > breadth[size_t(b)];
        return bySize(a, b);
    });
    tryOrder(order);
    // Then the requests that ended above the lower bound go first, keeping their order: what
    // was squeezed out last time gets the first pick of the gaps.
    for (int round = 0; round < 2 && !closeEnough(); ++round) {
        std::stable_partition(order.begin(), order.end(), [&](int r) {
            return trial[size_t(r)] + requests.at(r).size > plan.lowerBound;
        });
        tryOrder(order);
    }
    if (!found && !placed.empty())
        return refused(failed, QStringLiteral("the heap would exceed 2^63 bytes"));
    plan.offsets = QVector<qint64>(offsets.begin(), offsets.end());
    return plan;
}

}  // namespace Orv
}  // namespace Vantrel
