// Splitting one pass over many items between the machine's cores, for work the caller waits on
// (a view's filter pass over millions of rows): each part runs on a thread of its own and the
// caller continues once every part is done.
#pragma once

#include <QtGlobal>

#include <functional>

namespace crawlmere::platform {

/// The parts worth making of `count` items with at least `minPerPart` in each: from 1 (run it
/// on the calling thread alone) up to the cores the process may use, at most 8.
int partsFor(qsizetype count, qsizetype minPerPart);

/// The items [`begin`, `end`) of part `part` when `count` items are split into `parts`
/// consecutive runs of nearly one size. The same arguments always give the same run.
struct PartRange {
    qsizetype begin = 0;
    qsizetype end = 0;
};
PartRange partRange(qsizetype count, int parts, int part);

/// Runs `work(part, begin, end)` for each of `parts` parts of `count` items (as `partRange`
/// splits them): part 0 on the calling thread, the others on threads started for the call, and
/// returns once all have run. With `parts` of 1 or less nothing is started. `work` must be safe
/// to run on several threads at once for distinct parts and must not throw. Any thread.
void runInParts(qsizetype count, int parts, const std::function<void(int part, qsizetype begin, qsizetype end)>& work);

} // namespace crawlmere::platform
