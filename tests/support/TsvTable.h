// Fixture tables for table-driven tests: tab-separated rows with escapes, read from tests/fixtures.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace crawlmere::test {

/// One row of a table: its cells after unescaping, and the line it came from.
struct TsvRow {
    int line = 0;
    QStringList cells;
    /// The cell at `index`, or a null QString past the end.
    QString cell(qsizetype index) const { return index < cells.size() ? cells[index] : QString(); }
};

/// Reads a UTF-8 fixture table. Empty lines and lines beginning with "# " are skipped.
/// A cell that is exactly "" (two double quotes) is the empty string; "\t", "\n", "\r",
/// "\\", "\x20" and "\uXXXX" (and "\UXXXXXXXX") escapes are decoded in every cell.
/// Fails the current test when the file cannot be read.
std::vector<TsvRow> readTsvTable(const QString& relative);

/// Decodes the escapes described above.
QString unescapeTsvCell(const QString& cell);

} // namespace crawlmere::test
