// A thin item model over the insecure-content outline, for this outline only: items at the top,
// their second URLs below, columns "linkurl" and "comment".
#pragma once

#include <QAbstractItemModel>

namespace crawlmere::reports {
class CrwlInsecureDataSource;
}

namespace crawlmere::views {

/// Answers rows and texts from a `CrwlInsecureDataSource`, which must outlive the model. Call
/// `reload` after the data source changes. Main thread only.
class InsecureOutlineModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    /// Column identifiers, in display order.
    static const QStringList& columnIdentifiers();

    explicit InsecureOutlineModel(const reports::CrwlInsecureDataSource& source, QObject* parent = nullptr);

    void reload();

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const reports::CrwlInsecureDataSource& m_source;
};

} // namespace crawlmere::views
