// Composes a mail, optionally with an attachment, in the user's mail client through xdg-email.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace crawlmere::platform {

/// Hands a composed mail to the desktop's mail client: `xdg-email` (xdg-utils) receives one
/// `mailto:` URL that this class builds and percent-encodes itself, so every text reaches the
/// client intact (no shell sees it). The client shows the message; it is sent when the user
/// confirms it there. Main thread only (it starts a `QProcess` and never waits on it).
class Mail {
public:
    /// The finished outcome: true when `xdg-email` exited with status 0.
    using Completion = std::function<void(bool sent)>;

    /// The `mailto:` URL: the recipient trimmed of white space and line breaks at both ends and
    /// percent-encoded as the path; `subject`, `body` (line breaks as CRLF) and `attach` (the
    /// absolute path) as query fields, each encoded so that only unreserved characters stay
    /// literal. An empty subject, body or attachment leaves its field out.
    static QUrl mailtoUrl(const QString& recipient, const QString& subject, const QString& body,
        const QString& attachmentPath = QString());

    /// sendEmailTo:subject:body:attachment: asks `xdg-mime` for the mail handler (logged only),
    /// then starts `xdg-email` with the URL as its single argument. False, logged, with nothing
    /// started and `done` never called, when the attachment is given but is not an existing file.
    /// Otherwise true, and `done` (may be empty) is called once on the main thread when
    /// `xdg-email` ends, with false (logged) on a non-zero status, a crash or a program that
    /// could not be started.
    static bool sendEmailTo(const QString& recipient, const QString& subject, const QString& body,
        const QString& attachmentPath, Completion done = {});

    /// checkSIPforAppIdentifier: the desktop has no permission prompt for handing a mail to a
    /// client; this starts `xdg-mime query default x-scheme-handler/mailto` in the background
    /// and logs its answer at verbosity 2. Always true.
    static bool checkMailHandler();
};

} // namespace crawlmere::platform
