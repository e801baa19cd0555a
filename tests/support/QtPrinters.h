// Qt's text types in test failure messages as their text ("/a.html"), not as the bytes of the
// object ("2-byte object <46-00>"). The test build includes this header in every test source.
#pragma once

#include <QByteArray>
#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

inline void PrintTo(const QByteArray& bytes, std::ostream* out) { *out << '"' << bytes.toStdString() << '"'; }
