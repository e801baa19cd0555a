// A pass over the raw bytes of a PDF that counts what its compressed streams decode to, without
// keeping any of it: a document whose text would take gigabytes to lay out is known before
// the PDF library is asked for its text.
#pragma once

#include <QByteArray>

namespace crawlmere::platform::detail {

/// The bytes that the document's Flate-compressed streams decode to, images left out (text
/// extraction never decodes them). Counting stops once the total passes `cap`: the answer is
/// then `cap` + 1. Streams are found by their "stream" keyword after a dictionary naming
/// /FlateDecode; other filters are not counted. Memory: one 64 KB buffer.
qint64 decodedStreamBytes(const QByteArray& pdf, qint64 cap);

} // namespace crawlmere::platform::detail
