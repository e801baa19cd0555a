// The page-reading services a URL record's fetch needs from the page parser: the meta refresh
// of a fetched page and the hidden fields of a login form. The parsing library implements it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

/// The form of a login page as the login request uses it.
struct LoginFormFields {
    /// One dictionary per input tag, in page order: "name", "value" (texts, when present) and
    /// "hidden" (true, only when hidden).
    QList<QVariantMap> fields;
    /// The form's action as written in the page (references decoded); null when none.
    QString action;
};

/// Safe to call from any thread; implementations keep no state between calls.
class FetchPageReader {
public:
    virtual ~FetchPageReader();

    /// The content of the page's refresh meta element ("5; URL=/next"); nullopt when none.
    virtual std::optional<QString> pageIsMetaRefresh(const QByteArray& data) const = 0;
    /// Loads the page at `url` synchronously on the calling thread and reads its login form;
    /// nullopt when the page cannot be loaded or is not HTML.
    virtual std::optional<LoginFormFields> readLoginForm(const QString& url) const = 0;

    /// The reader every record uses; the application installs the parser's at start-up. Without
    /// one, no meta refresh is followed and login requests carry no hidden fields.
    static void install(std::shared_ptr<const FetchPageReader> reader);
    static std::shared_ptr<const FetchPageReader> installed();

protected:
    FetchPageReader() = default;
};
