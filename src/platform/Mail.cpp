// Builds the mailto: URL and runs xdg-email and xdg-mime without a shell or a wait.
#include "platform/Mail.h"

#include "platform/Log.h"
#include "platform/Strings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

namespace crawlmere::platform {

namespace {

// RFC 3986 unreserved characters stay literal; everything else, "@" included, is escaped.
QByteArray encodeField(const QString& text) { return QUrl::toPercentEncoding(text); }

QString crlfLineBreaks(const QString& text)
{
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    unified.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return unified;
}

} // namespace

QUrl Mail::mailtoUrl(
    const QString& recipient, const QString& subject, const QString& body, const QString& attachmentPath)
{
    QByteArray text = "mailto:" + QUrl::toPercentEncoding(strings::trimmingWhitespaceAndNewlines(recipient), "@");
    QList<QByteArray> fields;
    if (!subject.isEmpty())
        fields << "subject=" + encodeField(subject);
    if (!body.isEmpty())
        fields << "body=" + encodeField(crlfLineBreaks(body));
    if (!attachmentPath.isEmpty())
        fields << "attach=" + encodeField(QFileInfo(attachmentPath).absoluteFilePath());
    if (!fields.isEmpty())
        text += '?' + fields.join('&');
    return QUrl::fromEncoded(text, QUrl::StrictMode);
}

bool Mail::sendEmailTo(const QString& recipient, const QString& subject, const QString& body,
    const QString& attachmentPath, Completion done)
{
    checkMailHandler();
    if (!attachmentPath.isEmpty()) {
        logLine(1, QStringLiteral("making attachment: %1").arg(attachmentPath));
        if (!QFileInfo(attachmentPath).isFile()) {
            logLine(0, QStringLiteral("mail not sent: attachment %1 is not a file").arg(attachmentPath));
            return false;
        }
    }
    const QUrl url = mailtoUrl(recipient, subject, body, attachmentPath);
    auto* process = new QProcess(QCoreApplication::instance()); // freed when it ends, else with the application
    process->setProgram(QStringLiteral("xdg-email"));
    process->setArguments({ QString::fromLatin1(url.toEncoded()) });
    process->setStandardOutputFile(QProcess::nullDevice());
    // Exactly one of the two ends reports: a status, or a program that never started.
    QObject::connect(process, &QProcess::finished, process, [process, done](int code, QProcess::ExitStatus status) {
        const bool sent = status == QProcess::NormalExit && code == 0;
        if (!sent)
            logLine(0, QStringLiteral("xdg-email failed with status %1").arg(code));
        process->deleteLater();
        if (done)
            done(sent);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, done](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        logLine(0, QStringLiteral("xdg-email could not be started: %1").arg(process->errorString()));
        process->deleteLater();
        if (done)
            done(false);
    });
    process->start();
    return true;
}

bool Mail::checkMailHandler()
{
    auto* process = new QProcess(QCoreApplication::instance()); // freed when it ends, else with the application
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process, [process](int, QProcess::ExitStatus) {
        const QString handler = QString::fromUtf8(process->readAllStandardOutput()).trimmed();
        logLine(2, QStringLiteral("mail handler: '%1'").arg(handler));
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start(QStringLiteral("xdg-mime"), { QStringLiteral("query"), QStringLiteral("default"),
                                                     QStringLiteral("x-scheme-handler/mailto") });
    return true;
}

} // namespace crawlmere::platform
