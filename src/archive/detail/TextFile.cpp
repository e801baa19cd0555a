// Reading an exported page or sheet in its own encoding.
#include "archive/detail/TextFile.h"

#include <QList>

#include <algorithm>
#include <array>
#include <string_view>

namespace crawlmere::archive::detail {

std::pair<platform::EncodingId, qsizetype> byteOrderMark(const QByteArray& data)
{
    namespace Encoding = platform::Encoding;
    static const std::array<std::pair<std::string_view, platform::EncodingId>, 5> marks { {
        { std::string_view("\xFF\xFE\x00\x00", 4), Encoding::UTF32LittleEndian },
        { std::string_view("\x00\x00\xFE\xFF", 4), Encoding::UTF32BigEndian },
        { std::string_view("\xEF\xBB\xBF", 3), Encoding::UTF8 },
        { std::string_view("\xFE\xFF", 2), Encoding::UTF16BigEndian },
        { std::string_view("\xFF\xFE", 2), Encoding::UTF16LittleEndian },
    } };
    for (const auto& [mark, encoding] : marks) {
        if (data.startsWith(QByteArrayView(mark.data(), static_cast<qsizetype>(mark.size()))))
            return { encoding, static_cast<qsizetype>(mark.size()) };
    }
    return { Encoding::None, 0 };
}

std::optional<TextFile> readText(const QByteArray& data, std::initializer_list<platform::EncodingId> tries)
{
    TextFile file;
    const auto [marked, markLength] = byteOrderMark(data);
    file.mark = data.left(markLength);
    const QByteArray body = data.mid(markLength);
    const std::initializer_list<platform::EncodingId> byMark { marked };
    for (const platform::EncodingId encoding : marked != platform::Encoding::None ? byMark : tries) {
        if (encoding == platform::Encoding::None)
            continue;
        auto text = platform::TextEncoding::decode(body, encoding);
        if (!text)
            continue;
        if (platform::TextEncoding::encode(*text, encoding) != body)
            return std::nullopt;
        file.text = std::move(*text);
        file.encoding = encoding;
        return file;
    }
    return std::nullopt;
}

QString withCharsetDeclaration(const QString& text, const QString& name)
{
    constexpr qsizetype kPrescanLength = 1024;
    const QStringView start = QStringView(text).left(kPrescanLength);
    const QString declaration = QStringLiteral("<meta charset=\"%1\">").arg(name);
    for (const QLatin1StringView opening : { QLatin1StringView("<head"), QLatin1StringView("<html"),
             QLatin1StringView("<!doctype") }) {
        for (qsizetype at = start.indexOf(opening, 0, Qt::CaseInsensitive); at >= 0;
             at = start.indexOf(opening, at + 1, Qt::CaseInsensitive)) {
            const qsizetype after = at + opening.size();
            if (after >= start.size())
                break;
            const QChar next = start[after];
            if (next != u'>' && next != u'/' && !next.isSpace())
                continue; // "<header", "<htmlx"
            const qsizetype close = text.indexOf(u'>', after);
            if (close < 0)
                break;
            return QString(text).insert(close + 1, declaration);
        }
    }
    return declaration + text;
}

std::optional<QByteArray> TextFile::bytesOf(const QString& rewritten) const
{
    auto bytes = platform::TextEncoding::encode(rewritten, encoding);
    if (bytes)
        bytes->prepend(mark);
    return bytes;
}

} // namespace crawlmere::archive::detail
