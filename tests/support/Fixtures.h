// Fixture files for tests, read into heap buffers of exactly their size so that the
// sanitizers catch a read past the end.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <string>
#include <string_view>

namespace crawlmere::test {

/// Absolute path of a file under tests/fixtures.
QString fixturePath(const QString& relative);

/// The whole content of a fixture file; fails the current test when it cannot be read.
QByteArray readFixture(const QString& relative);

/// A heap copy of bytes with no slack after the last byte. `view()` covers exactly the copy.
class ExactBuffer {
public:
    explicit ExactBuffer(std::string_view bytes);
    explicit ExactBuffer(const QByteArray& bytes)
        : ExactBuffer(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())))
    {
    }
    std::string_view view() const { return { m_data.get(), m_size }; }
    const char* data() const { return m_data.get(); }
    size_t size() const { return m_size; }
    /// The copy as a byte array that reads it in place (no second copy); valid while this lives.
    QByteArray bytes() const { return QByteArray::fromRawData(m_data.get(), static_cast<qsizetype>(m_size)); }

private:
    std::unique_ptr<char[]> m_data;
    size_t m_size = 0;
};

} // namespace crawlmere::test
