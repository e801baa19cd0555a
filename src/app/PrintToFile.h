// Printing to a file, with the checks of every save: never into a device, a FIFO or through
// another user's link, and the file put in place only once it is whole.
#pragma once

#include <QString>

#include <functional>

class QPrintDialog;
class QPrinter;

namespace crawlmere::app {

/// Why a file cannot be printed to: the path, and the reason (`platform::saveFailureText`).
using PrintRefused = std::function<void(const QString& path, const QString& reason)>;

/// The dialog's OK first checks the file named in its file field (when printing to a file) as
/// every save checks its target: a target that may not be saved to is handed to `refused` and
/// the dialog stays open. Only then does the dialog check the file its own way, which opens it
/// and would wait for a reader of a FIFO. Call before the dialog runs; main thread only.
void checkPrintTargetOnAccept(QPrintDialog& dialog, PrintRefused refused);

/// Prints through `print` (answers whether anything was printed). A printer that writes a file
/// prints into a private temporary file, saved to the printer's file as every file is saved
/// (`platform::saveStreamAtomically`); a target that may not be saved to is never opened. A
/// failure goes to `refused`. Answers whether the print was made and saved. Main thread only.
bool printThroughCheckedFile(QPrinter& printer, const std::function<bool()>& print, const PrintRefused& refused);

} // namespace crawlmere::app
