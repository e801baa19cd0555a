// The text of an exported page or style sheet: the encoding it is written in, found as a browser
// finds it, so that it can be rewritten and written back in that encoding.
#pragma once

#include "platform/TextEncoding.h"

#include <QByteArray>
#include <QString>

#include <initializer_list>
#include <optional>
#include <utility>

namespace crawlmere::archive::detail {

/// A byte-order mark at the start of a file: the encoding it names and its length; None and 0
/// without one. UTF-32's marks come first: the little-endian one begins as UTF-16's does.
std::pair<platform::EncodingId, qsizetype> byteOrderMark(const QByteArray& data);

/// A page or sheet as the export rewrites it: its text, the encoding it is written back in, and
/// the byte-order mark it began with, written back in front.
struct TextFile {
    QString text;
    platform::EncodingId encoding = platform::Encoding::UTF8;
    QByteArray mark;

    /// The rewritten text in the file's encoding, its mark in front; nullopt when the encoding
    /// cannot hold it.
    std::optional<QByteArray> bytesOf(const QString& rewritten) const;
};

/// The text of a file's bytes: a byte-order mark decides its encoding, else the first of `tries`
/// (None entries passed by) that decodes them. nullopt when none does, or when the text would not
/// be encoded back to the same bytes: the file is then copied as archived rather than damaged.
std::optional<TextFile> readText(const QByteArray& data, std::initializer_list<platform::EncodingId> tries);

/// The page's text with a declaration of its charset `name` (`<meta charset="windows-1251">`),
/// for a page that names none, so that a browser reads it right from disc: right behind the
/// head's start tag, else the html start tag, else the doctype, when one of them begins within
/// the first 1024 characters (where browsers look for a declaration); else at the very start.
QString withCharsetDeclaration(const QString& text, const QString& name);

} // namespace crawlmere::archive::detail
