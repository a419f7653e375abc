#pragma once

/// @file
/// Placing short-lived buffers in one heap, so that buffers never live at the same time can
/// share bytes.

#include <Orv/OrvCoreExport.h>

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace Vantrel {
namespace Orv {

/// One buffer to place, live over the steps firstStep to lastStep (counted from 0, both ends
/// included).
struct MemoryRequest {
    qint64 size = 0;       ///< In bytes; 0 asks for no memory.
    qint64 alignment = 1;  ///< A power of two.
    int firstStep = 0;     ///< The first step at which the buffer is live.
    int lastStep = 0;      ///< The last step at which it is live, at or after firstStep.
};

/// Where planMemory put each request, and what the heap costs.
struct MemoryPlan {
    QVector<qint64> offsets;  ///< By request: byte offset in the heap, or -1 for size 0.
    qint64 heapSize = 0;      ///< Bytes the heap needs: the end of the highest buffer.
    /// Sum of the sizes: what giving each buffer its own memory costs. Saturating: the largest
    /// qint64 when the sum is beyond it, which does not stop a heap that fits from being placed.
    qint64 totalSize = 0;
    qint64 lowerBound = 0;  ///< The largest sum of sizes live at any one step.
    /// Empty on success; else what was wrong and with which request, and nothing is placed.
    QString error;
};

/// Places every request of non-zero size at an offset aligned as asked, such that two requests
/// live at a common step share no byte. Each request in turn takes the smallest gap left between
/// the requests already placed that it overlaps in time, or goes above them all. The order is
/// the best of up to four, tried while no heap so far is within 1% of the lower bound: largest
/// first; largest breadth first (the most bytes live at a step of the request's lifetime); and
/// twice that order again with the requests that ended above the lower bound in the try before
/// moved to the front. The first smallest heap wins. Refuses a negative size, an alignment that is
/// not a power of two, a step range that is negative or reversed, and a heap beyond 2^63 bytes.
ORVCORE_EXPORT MemoryPlan planMemory(const QVector<MemoryRequest>& requests);

}  // namespace Orv
}  // namespace Vantrel
