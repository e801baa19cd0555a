#include "support/TsvTable.h"

#include "support/Fixtures.h"

namespace crawlmere::test {

QString unescapeTsvCell(const QString& cell)
{
    if (cell == QLatin1String("\"\""))
        return QString::fromLatin1("", 0);
    if (!cell.contains(u'\\'))
        return cell;
    QString out;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const QChar c = cell[i];
        if (c != u'\\' || i + 1 >= cell.size()) {
            out.append(c);
            continue;
        }
        const QChar e = cell[++i];
        auto hex = [&](int digits) {
            bool ok = false;
            const uint value = cell.mid(i + 1, digits).toUInt(&ok, 16);
            if (!ok || i + digits >= cell.size()) {
                out.append(u'\\').append(e);
                return;
            }
            const char32_t cp = value;
            out.append(QString::fromUcs4(&cp, 1));
            i += digits;
        };
        switch (e.unicode()) {
        case 't': out.append(u'\t'); break;
        case 'n': out.append(u'\n'); break;
        case 'r': out.append(u'\r'); break;
        case '\\': out.append(u'\\'); break;
        case 'x': hex(2); break;
        case 'u': hex(4); break;
        case 'U': hex(8); break;
        default: out.append(u'\\').append(e); break;
        }
    }
    return out;
}

std::vector<TsvRow> readTsvTable(const QString& relative)
{
    std::vector<TsvRow> rows;
    const QString text = QString::fromUtf8(readFixture(relative));
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1String("# ")) || line == QLatin1String("#"))
            continue;
        TsvRow row;
        row.line = static_cast<int>(i + 1);
        for (const QString& cell : line.split(u'\t'))
            row.cells.append(unescapeTsvCell(cell));
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace crawlmere::test
