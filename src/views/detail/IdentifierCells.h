// Which cell a column shows, found by the address of its identifier's characters.
#pragma once

#include <QString>

#include <utility>
#include <vector>

namespace crawlmere::views::detail {

/// Remembers `cellOf(identifier)` for the few identifiers a view's columns have. Identifiers are
/// copies of the columns' own strings, so each is found by the address of its characters and a
/// cell costs no hashing; the strings are kept, so no other text can take their address. A new
/// string (a restored column) joins the list once; past `kKnownIdentifiers` it is asked anew.
/// One thread at a time.
template <typename Cell> class IdentifierCells {
public:
    using CellOf = Cell (*)(const QString& identifier);
    explicit IdentifierCells(CellOf lookUp)
        : cellOf(lookUp)
    {
    }

    Cell operator()(const QString& identifier)
    {
        const QChar* text = identifier.constData();
        for (const auto& [known, cell] : cells) {
            if (known.constData() == text && known.size() == identifier.size())
                return cell;
        }
        const Cell cell = cellOf(identifier);
        if (cells.size() < kKnownIdentifiers)
            cells.emplace_back(identifier, cell);
        return cell;
    }

private:
    static constexpr size_t kKnownIdentifiers = 64;
    CellOf cellOf;
    std::vector<std::pair<QString, Cell>> cells;
};

} // namespace crawlmere::views::detail
