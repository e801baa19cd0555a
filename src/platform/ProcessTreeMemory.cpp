#include "platform/ProcessTreeMemory.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <csignal>
#include <deque>

#include <unistd.h>

namespace crawlmere::platform {

namespace {

    QByteArray readProcFile(pid_t pid, const char* name)
    {
        QFile file(QStringLiteral("/proc/%1/%2").arg(QString::number(pid), QLatin1String(name)));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return {};
        return file.read(4096);
    }

    /// The parent of `pid` from its stat line ("pid (name) state ppid ..."; the name may hold
    /// spaces and parentheses), or -1.
    pid_t parentOf(pid_t pid)
    {
        const QByteArray stat = readProcFile(pid, "stat");
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0)
            return -1;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        bool ok = false;
        const pid_t parent = pid_t(fields.value(1).toLongLong(&ok));
        return ok ? parent : -1;
    }

} // namespace

std::vector<pid_t> ProcessTreeMemory::tree(pid_t root)
{
    QHash<pid_t, std::vector<pid_t>> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const pid_t pid = pid_t(entry.toLongLong(&number));
        if (number && pid != root)
            children[parentOf(pid)].push_back(pid);
    }
    std::vector<pid_t> found { root };
    for (size_t next = 0; next < found.size(); ++next) {
        for (const pid_t child : children.value(found[next]))
            found.push_back(child);
    }
    return found;
}

qint64 ProcessTreeMemory::residentBytes(pid_t root)
{
    static const qint64 pageBytes = ::sysconf(_SC_PAGESIZE);
    qint64 pages = 0;
    for (const pid_t pid : tree(root)) {
        // statm: size resident shared text lib data dirty, in pages.
        const QList<QByteArray> fields = readProcFile(pid, "statm").split(' ');
        pages += fields.value(1).toLongLong();
    }
    return pages * pageBytes;
}

void ProcessTreeMemory::killDescendants(pid_t root)
{
    const std::vector<pid_t> pids = tree(root);
    for (size_t i = 1; i < pids.size(); ++i)
        ::kill(pids[i], SIGKILL);
}

MemoryWatchdog::MemoryWatchdog(qint64 cap, std::chrono::milliseconds interval, std::function<void(qint64)> exceeded)
{
    m_thread = std::thread([this, cap, interval, exceeded = std::move(exceeded)] {
        const pid_t self = ::getpid();
        std::unique_lock lock(m_mutex);
        while (!m_wake.wait_for(lock, interval, [this] { return m_stopping; })) {
            const qint64 bytes = ProcessTreeMemory::residentBytes(self);
            if (bytes > cap) {
                exceeded(bytes);
                return;
            }
        }
    });
}

MemoryWatchdog::~MemoryWatchdog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

} // namespace crawlmere::platform
