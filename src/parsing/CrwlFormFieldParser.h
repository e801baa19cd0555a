// Reads the login form of a page: the form's action and every input field with its name, value
// and whether it is hidden, so that a login request can carry the form's hidden fields.
#pragma once

#include "parsing/TagSyntax.h"
#include "platform/TextEncoding.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <string_view>

/// One pass over a page's bytes. A field record is a dictionary: "name" (text, when the tag has
/// a name attribute), "value" (text, when it has a value attribute) and "hidden" (true, only
/// when the tag is hidden); absent keys mean absent attributes.
///
/// Threads: runs on its caller's thread; `initWithUrl` loads the page synchronously there.
class CrwlFormFieldParser {
public:
    using EncodingId = crawlmere::platform::EncodingId;

    /// Most bytes of an action, name or value; the rest of a longer one is dropped.
    static constexpr qsizetype kMaxValueBytes = qsizetype(crawlmere::parsing::kValueLimit);
    /// Most field records a page yields; later input tags are not recorded.
    static constexpr qsizetype kMaxFields = 10000;
    /// Time-out of the page load, idle and whole.
    static constexpr double kLoadTimeoutSeconds = 60.0;

    /// initWithUrl: loads the page (no cache, 60 s, the `userAgentString` default as
    /// `User-Agent`, cookies of the shared store sent and kept) and scans it. Null for a URL
    /// whose upper-cased extension is DOC, MOV, WAV, MP3, ZIP, MPG, MP4 or PDF, for a URL that
    /// cannot be made even after encoding, for no data, and for a response without a
    /// `Content-Type` or with one that does not name html.
    static std::unique_ptr<CrwlFormFieldParser> initWithUrl(const QString& url);
    /// Scans `data` read in `encoding` (0: UTF-8; a charset the page declares wins). Null for
    /// empty data.
    static std::unique_ptr<CrwlFormFieldParser> initWithData(QByteArray data, EncodingId encoding);

    /// getCollection: one record per input tag, in page order.
    const QList<QVariantMap>& getCollection() const { return collection; }
    /// getFormAction: the action of the last form start tag that has a non-empty one, with its
    /// character references decoded; a null string when none.
    const QString& getFormAction() const { return formAction; }
    /// The encoding the values were read in.
    EncodingId encoding() const { return useEncoding; }

private:
    CrwlFormFieldParser(QByteArray pageData, EncodingId encoding);

    /// bigKahunaPass: the scan.
    void bigKahunaPass();
    void addNameToCollection(const QString& name) { currentDictionary.insert(QStringLiteral("name"), name); }
    void addValueToCollection(const QString& value) { currentDictionary.insert(QStringLiteral("value"), value); }
    void addHiddenToCollection() { currentDictionary.insert(QStringLiteral("hidden"), true); }
    /// underlineData: appends the record being built (even an empty one) and starts a new one.
    void underlineData();
    QString decodeValue(std::string_view bytes, bool wasCut) const;

    // The page's bytes; the scan reads views into them.
    QByteArray data;
    qint64 l = 0;
    QString formAction;
    EncodingId useEncoding = 0;
    QList<QVariantMap> collection;
    QVariantMap currentDictionary;
};
