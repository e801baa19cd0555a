// Free-text log lines on standard error, gated by the `verbosity` default.
#pragma once

#include <QString>

namespace crawlmere::platform {

/// Writes `text` and a line break to standard error when the `verbosity` default of the standard
/// store is at least `minimumVerbosity` (0 quiet, 1 milestones and failures, 2 to 4 more detail).
/// A `minimumVerbosity` of 0 or less always writes. Safe from any thread; lines never interleave.
void logLine(int minimumVerbosity, const QString& text);

/// The `verbosity` default of the standard store.
int verbosity();

} // namespace crawlmere::platform
