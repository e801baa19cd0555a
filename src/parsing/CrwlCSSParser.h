// Reads the url() references and @import rules of a style sheet.
#pragma once

#include "parsing/CrwlParser.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>

/// A style-sheet parser collects every reference while it is made and hands them out through
/// `getNextHref`; every link's text is "[url in css]". Its page facts are empty.
class CrwlCSSParser : public CrwlParser {
public:
    /// Every url() value and every @import string of the style sheet, in order, comments
    /// removed first. Quoted values end at their closing quote (a ")" inside stays), CSS escapes
    /// are decoded, and quotes and spaces at either end are trimmed. A value is kept unless it
    /// contains ".htc" or starts with "#" or "%23"; "data:" values are kept. A null `data`
    /// answers nullptr ("CSS data is invalid" at verbosity 1 or more).
    static std::unique_ptr<CrwlCSSParser> initWithData(const QByteArray& data);

    /// The next reference; nullopt after the last.
    std::optional<QString> getNextHref() override;
    /// Always "[url in css]".
    QString getLinkText() const override;

    qsizetype linkCount() const { return linkCollection.size(); }

    /// The style sheet without its comments: each "/*" through the next "*/" is cut out; an
    /// unclosed "/*" and the text behind it stay.
    static QString removeComments(const QString& styleSheet);
    /// The kept references of comment-free style-sheet text, in order, at most `maxLinks` of
    /// them; `capReached` (when given) tells whether more were left out.
    static QStringList linksInStyleSheet(QStringView text, qsizetype maxLinks, bool* capReached = nullptr);

private:
    CrwlCSSParser() = default;

    QStringList linkCollection;
    int posInLinkArray = 0;
};
