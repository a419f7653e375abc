// Greedy-by-size placement: large buffers are the hardest to fit, so they go first, and each
// later one takes the tightest gap among the buffers it overlaps in time.
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

// The placed requests, found by time: a segment tree over the distinct first steps whose
// leaves list the requests starting there and whose nodes know the latest last step below
// them, so a query descends only where some request can still be live.
class PlacedByTime {
public:
    PlacedByTime(const QVector<MemoryRequest>& requests, std::vector<int> firstSteps)
        : _requests(requests), _firsts(std::move(firstSteps)) {
        while (_leaves < _firsts.size()) _leaves *= 2;
        _maxLast.assign(2 * _leaves, -1);
        _head.assign(_leaves, -1);
        _next.assign(size_t(requests.size()), -1);
    }

    void insert(int r) {
        const MemoryRequest& request = _requests.at(r);
        size_t node = leafOf(request.firstStep);
        _next[size_t(r)] = _head[node];
        _head[node] = r;
        for (node += _leaves; node > 0 && _maxLast[node] < request.lastStep; node /= 2)
            _maxLast[node] = request.lastStep;
    }

    // Appends the placed requests live at some step of [first, last].
    void findOverlapping(int first, int last, std::vector<int>* found) {
        // Leaves whose first step is at most `last`.
        const size_t end =
            size_t(std::upper_bound(_firsts.begin(), _firsts.end(), last) - _firsts.begin());
        if (end == 0) return;
        _stack.clear();
        _stack.push_back({1, 0, _leaves});
        while (!_stack.empty()) {
            const Range range = _stack.back();
            _stack.pop_back();
            if (range.begin >= end || _maxLast[range.node] < first) continue;
            if (range.node >= _leaves) {
                for (int r = _head[range.node - _leaves]; r >= 0; r = _next[size_t(r)]) {
                    if (_requests.at(r).lastStep >= first) found->push_back(r);
                }
                continue;
            }
            const size_t middle = (range.begin + range.end) / 2;
            _stack.push_back({2 * range.node + 1, middle, range.end});
            _stack.push_back({2 * range.node, range.begin, middle});
        }
    }

private:
    struct Range {
        size_t node;
        size_t begin;  // leaves [begin, end)
        size_t end;
    };

    size_t leafOf(int firstStep) const {
        return size_t(std::lower_bound(_firsts.begin(), _firsts.end(), firstStep) -
                      _firsts.begin());
    }

    const QVector<MemoryRequest>& _requests;
    std::vector<int> _firsts;  // distinct, ascending
    size_t _leaves = 1;
    std::vector<int> _maxLast;  // by tree node (1 is the top; leaves from _leaves on)
    std::vector<int> _head;     // by leaf: a request starting there, or -1
    std::vector<int> _next;     // by request: the next request of its leaf
    std::vector<Range> _stack;
};

// The largest total size live at one step: +size where a request starts, -size after it ends.
qint64 largestLive(const QVector<MemoryRequest>& requests) {
    std::vector<std::pair<qint64, qint64>> changes;  // (step, change), ends sorted first
    for (const MemoryRequest& request : requests) {
        if (request.size == 0) continue;
        changes.emplace_back(request.firstStep, request.size);
        changes.emplace_back(qint64(request.lastStep) + 1, -request.size);
    }
    std::sort(changes.begin(), changes.end());
    qint64 live = 0;
    qint64 largest = 0;
    for (const auto& change : changes) {
        live += change.second;
        largest = std::max(largest, live);
    }
    return largest;
}

MemoryPlan refused(int r, const QString& problem) {
    MemoryPlan plan;
    plan.error = QStringLiteral("request %1: %2").arg(r).arg(problem);
    return plan;
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
    std::vector<int> order;
    std::vector<int> firsts;
    for (int r = 0; r < requests.size(); ++r) {
        const MemoryRequest& request = requests.at(r);
        const QString problem = detail::memoryRequestProblem(request.size, request.alignment);
        if (!problem.isEmpty()) return refused(r, problem);
        if (request.firstStep < 0 || request.lastStep < request.firstStep)
            return refused(r, QStringLiteral("steps %1 to %2 are not a range of steps")
                                  .arg(request.firstStep)
                                  .arg(request.lastStep));
        if (__builtin_add_overflow(plan.totalSize, request.size, &plan.totalSize))
            return refused(r, QStringLiteral("the sizes add up to more than 2^63 bytes"));
        if (request.size == 0) continue;
        order.push_back(r);
        firsts.push_back(request.firstStep);
    }
    std::sort(firsts.begin(), firsts.end());
    firsts.erase(std::unique(firsts.begin(), firsts.end()), firsts.end());
    // Largest first; ties by first step, then by request, so the plan is reproducible.
    std::sort(order.begin(), order.end(), [&requests](int a, int b) {
        const MemoryRequest& x = requests.at(a);
        const MemoryRequest& y = requests.at(b);
        if (x.size != y.size) return x.size > y.size;
        if (x.firstStep != y.firstStep) return x.firstStep < y.firstStep;
        return a < b;
    });

    std::vector<qint64> offsets(size_t(requests.size()), -1);
    PlacedByTime placed(requests, std::move(firsts));
    std::vector<int> overlapping;
    for (const int r : order) {
        const MemoryRequest& request = requests.at(r);
        overlapping.clear();
        placed.findOverlapping(request.firstStep, request.lastStep, &overlapping);
        std::sort(overlapping.begin(), overlapping.end(),
                  [&offsets](int a, int b) { return offsets[size_t(a)] < offsets[size_t(b)]; });
        qint64 best = -1;
        qint64 bestGap = kMaxBytes;
        qint64 usedEnd = 0;  // end of the highest buffer below the gap being looked at
        for (const int other : overlapping) {
            const qint64 offset = offsets[size_t(other)];
            qint64 start = 0;
            if (alignUp(usedEnd, request.alignment, &start) && start <= offset &&
                offset - start >= request.size && offset - start < bestGap) {
                best = start;
                bestGap = offset - start;
            }
            usedEnd = std::max(usedEnd, offset + requests.at(other).size);
        }
        qint64 end = 0;
        if (best < 0 && !alignUp(usedEnd, request.alignment, &best))
            return refused(r, QStringLiteral("the heap would exceed 2^63 bytes"));
        if (__builtin_add_overflow(best, request.size, &end))
            return refused(r, QStringLiteral("the heap would exceed 2^63 bytes"));
        offsets[size_t(r)] = best;
        plan.heapSize = std::max(plan.heapSize, end);
        placed.insert(r);
    }
    plan.offsets = QVector<qint64>(offsets.begin(), offsets.end());
    plan.lowerBound = largestLive(requests);
    return plan;
}

}  // namespace Orv
}  // namespace Vantrel
