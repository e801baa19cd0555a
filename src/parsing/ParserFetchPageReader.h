// The page parser's answers to the fetch: meta refresh probe and login-form fields.
#pragma once

#include "engine/FetchPageReader.h"

/// `FetchPageReader` over `CrwlParser` and `CrwlFormFieldParser`.
class ParserFetchPageReader final : public FetchPageReader {
public:
    std::optional<QString> pageIsMetaRefresh(const QByteArray& data) const override;
    std::optional<LoginFormFields> readLoginForm(const QString& url) const override;

    /// Installs a `ParserFetchPageReader` as the fetch's reader.
    static void installAsFetchPageReader();
};
