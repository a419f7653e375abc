#include "render/steplinks_p.h"

namespace Vantrel {
namespace Orv {

void detail::StepLinks::build(const FramePlan& plan,
                              const std::vector<std::pair<int, int>>& extra) {
    const std::vector<FramePlan::Step>& schedule = plan.schedule();
    const std::vector<FramePlan::FeedStep>& feedSteps = plan.feedSteps();
    const int numSteps = int(schedule.size());
    _built = true;
    _planBuild = plan.buildNumber();

    // The predecessors that a step learns of before its turn: the extra pairs, and the readers
    // that its pass overwrites, by the step that waits.
    auto forEachLater = [&](auto add) {
        for (const auto& pair : extra) {
            if (pair.first >= 0 && pair.second >= 0 && pair.second < numSteps)
                add(pair.second, pair.first);
        }
        for (int s = 0; s < numSteps; ++s) {
            const FramePlan::Step& step = schedule[size_t(s)];
            for (int f = step.firstFeed; f < step.firstFeed + step.numInputs; ++f) {
                if (feedSteps[size_t(f)].nextWriter >= 0) add(feedSteps[size_t(f)].nextWriter, s);
            }
        }
    };
    listBySource(numSteps, forEachLater, &_firstLater, &_laterOf);

    // Each predecessor once per step: `_linkedTo` remembers which step last took it.
    _links.clear();
    _linkedTo.assign(size_t(numSteps), -1);
    std::vector<int> previousOfPass;  // by pass index: its latest step so far
    for (int s = 0; s < numSteps; ++s) {
        const FramePlan::Step& step = schedule[size_t(s)];
        auto waitFor = [&](int predecessor) {
            if (predecessor < 0 || predecessor >= s || _linkedTo[size_t(predecessor)] == s) return;
            _linkedTo[size_t(predecessor)] = s;
            _links.emplace_back(predecessor, s);
        };
        for (int f = step.firstFeed; f < step.firstFeed + step.numInputs; ++f) {
            if (!feedSteps[size_t(f)].frameBefore) waitFor(feedSteps[size_t(f)].writer);
        }
        if (size_t(step.passIndex) >= previousOfPass.size())
            previousOfPass.resize(size_t(step.passIndex) + 1, -1);
        waitFor(previousOfPass[size_t(step.passIndex)]);
        previousOfPass[size_t(step.passIndex)] = s;
        for (int k = _firstLater[size_t(s)]; k < _firstLater[size_t(s) + 1]; ++k)
            waitFor(_laterOf[size_t(k)]);
    }

    listBySource(
        numSteps,
        [this](auto add) {
            for (const auto& link : _links) add(link.second, link.first);
        },
        &_firstPredecessor, &_predecessors);
    listBySource(
        numSteps,
        [this](auto add) {
            for (const auto& link : _links) add(link.first, link.second);
        },
        &_firstSuccessor, &_successors);
}

}  // namespace Orv
}  // namespace Vantrel
