// Reading the links of an RTF document against its size: documents of N and 10·N HYPERLINK fields
// (each with its field result), of N and 10·N fields whose results are never closed, and of N/10
// and N such fields followed by 20 MB of text without a "}". Each document is read in a child
// process of its own, which prints the time the reading took and the memory it added at its peak
// (resident size at the reading's peak, less before), beside the document's size. Both must grow
// with the document: the time per field stays flat from N to 10·N, the memory a small multiple of
// the file.
//
//   rtf_bench [N]            # N defaults to 20000
//
// Run it on a release build.
#include "parsing/CrwlRTFParser.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

/// A line of /proc/self/status ("VmRSS", "VmHWM") in KiB.
long statusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    }
    return 0;
}

/// Resets the peak resident size to the present one, so the next peak is the reading's.
void resetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

QByteArray closedFields(qsizetype fields)
{
    QByteArray rtf("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Helvetica;}}\n");
    for (qsizetype i = 0; i < fields; ++i) {
        const QByteArray n = QByteArray::number(i);
        rtf += "{\\field{\\*\\fldinst{HYPERLINK \"http://h.test/page/" + n
            + ".html\"}}{\\fldrslt{\\ul\\cf1 Page number " + n + " of the site}}}\\par\n";
    }
    rtf += "}";
    return rtf;
}

/// Fields whose results are never closed: without a "}" anywhere, each result runs on.
QByteArray openFields(qsizetype fields, qsizetype padding)
{
    QByteArray rtf("{\\rtf1\\ansi\\deff0\n");
    for (qsizetype i = 0; i < fields; ++i)
        rtf += "HYPERLINK \"http://h.test/p/" + QByteArray::number(i) + "\" \\fldrslt Page " + QByteArray::number(i)
            + " \\par\n";
    rtf += QByteArray(padding, 'x');
    return rtf;
}

QByteArray openFieldsAlone(qsizetype fields) { return openFields(fields, 0); }
QByteArray openFieldsThenPadding(qsizetype fields) { return openFields(fields, 20 * 1024 * 1024); }

/// Reads `rtf` in a child process and prints one line of figures.
void measure(const char* shape, qsizetype fields, QByteArray (*make)(qsizetype))
{
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        const QByteArray rtf = make(fields);
        resetPeak();
        const long before = statusKiB("VmRSS");
        QElapsedTimer timer;
        timer.start();
        const std::unique_ptr<CrwlRTFParser> parser = CrwlRTFParser::initWithData(rtf);
        const qint64 ms = timer.elapsed();
        const long added = statusKiB("VmHWM") - before;
        std::printf("%-22s %8lld fields %8.1f MB  %8lld ms  %8.1f µs/field  +%7.1f MB (%.1f× the file)  %lld links\n",
            shape, static_cast<long long>(fields), rtf.size() / 1048576.0, static_cast<long long>(ms),
            fields ? 1000.0 * double(ms) / double(fields) : 0.0, added / 1024.0, added * 1024.0 / double(rtf.size()),
            static_cast<long long>(parser ? parser->linkCount() : 0));
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

} // namespace

int main(int argc, char** argv)
{
    const qsizetype n = argc > 1 ? std::atoll(argv[1]) : 20000;
    measure("fields", n, closedFields);
    measure("fields", 10 * n, closedFields);
    measure("open fields", n, openFieldsAlone);
    measure("open fields", 10 * n, openFieldsAlone);
    measure("open fields + 20 MB", n / 10, openFieldsThenPadding);
    measure("open fields + 20 MB", n, openFieldsThenPadding);
    return 0;
}
