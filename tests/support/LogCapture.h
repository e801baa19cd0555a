// Collects the messages Qt logs (warnings included) while a capture lives.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace crawlmere::test {

/// One capture at a time; the handler before it is put back when it ends.
class LogCapture {
public:
    LogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const QStringList& lines() const { return s_lines; }
    /// The messages that contain `needle`.
    qsizetype count(const QString& needle) const
    {
        qsizetype n = 0;
        for (const QString& line : s_lines)
            n += line.contains(needle) ? 1 : 0;
        return n;
    }

private:
    static void handler(QtMsgType, const QMessageLogContext&, const QString& message) { s_lines.append(message); }
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

} // namespace crawlmere::test
