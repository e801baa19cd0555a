// Where the libraries' own messages go in a scan without windows.
#pragma once

namespace crawlmere::app {

/// Sends every message of Qt and the libraries on it (the browser engine's start-up report
/// among them) to the log at verbosity 2 or more, as "category: text", instead of straight to
/// standard error, which then carries only the scan's progress and the program's own lines.
/// A fatal message is always written. Call before the application object is made.
void sendLibraryMessagesToLog();

} // namespace crawlmere::app
