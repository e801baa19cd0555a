// A top-level row of the by-status outline: one status text with the link occurrences whose
// target shows it.
#pragma once

#include "engine/CrwlDataObject.h"
#include "engine/qfDataSource.h"

#include <QList>
#include <QString>

namespace crawlmere::views {

/// Not a URL record: Copy, locate, highlight and labels pass over it. Its only field is
/// "status" (the text). Made and read on the main thread.
class StatusGroup : public CrwlDataObject {
public:
    explicit StatusGroup(QString text)
        : statusText(std::move(text))
    {
        setVisible(true);
    }

    const QString& getStatusText() const { return statusText; }
    /// The occurrences of the group, in display order.
    QList<qfDataSource::Item> occurrences;

    /// "status" gives the status text; any other key "".
    QString getFieldByName(const QString& key) const override;

private:
    QString statusText;
};

} // namespace crawlmere::views
