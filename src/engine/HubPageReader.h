// The page-reading services the crawl coordinator needs from the page parser: the charset a page
// declares and the text the soft-404 test searches. The parsing library implements it.
#pragma once

#include "platform/TextEncoding.h"

#include <QByteArray>
#include <QString>

#include <optional>

/// Safe to call from any thread; implementations keep no state between calls.
class HubPageReader {
public:
    virtual ~HubPageReader();

    /// The charset a page names before its body; nullopt when it names none.
    virtual std::optional<QString> extractCharsetFromHTML(const QByteArray& data) const = 0;
    /// The encoding identifier of a charset name; 0 when unknown.
    virtual crawlmere::platform::EncodingId encodingForCharset(const QString& charset) const = 0;
    /// The text the soft-404 test searches in an HTML page: its title, a blank and its text
    /// content, read in `encoding` with SEO and no-index checks off. nullopt when no parser can
    /// be made from the data.
    virtual std::optional<QString> soft404Text(const QByteArray& data, crawlmere::platform::EncodingId encoding) const
        = 0;

protected:
    HubPageReader() = default;
};
