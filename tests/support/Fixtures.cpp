#include "support/Fixtures.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cstring>

namespace crawlmere::test {

QString fixturePath(const QString& relative)
{
    return QStringLiteral(CRAWLMERE_FIXTURES "/") + relative;
}

QByteArray readFixture(const QString& relative)
{
    QFile file(fixturePath(relative));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read fixture " << relative.toStdString();
        return {};
    }
    return file.readAll();
}

ExactBuffer::ExactBuffer(std::string_view bytes)
    : m_data(new char[bytes.size() ? bytes.size() : 1])
    , m_size(bytes.size())
{
    if (!bytes.empty())
        std::memcpy(m_data.get(), bytes.data(), bytes.size());
}

} // namespace crawlmere::test
