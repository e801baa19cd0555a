// The page inspector: everything the scan learnt about one page, in one window.
#include "views/CrwlPageInspectorWindowController.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UrlOpener.h"
#include "platform/UrlSession.h"
#include "views/CutCells.h"
#include "views/PageInspectorContent.h"
#include "views/Pasteboard.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace crawlmere::views {

namespace {

constexpr auto kIdentifier = Qt::UserRole + 1;

/// A read-only table whose columns carry identifiers and whose header clicks toggle the order.
QTableWidget* makeTable(QWidget* parent, const QString& name, const QList<std::pair<QString, QString>>& columns)
{
    auto* table = new QTableWidget(0, int(columns.size()), parent);
    table->setObjectName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    // One line a row; a long address loses its middle, not its host or its file name, and reads
    // whole in its tool tip.
    cutCellsInTheMiddle(*table);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    for (int column = 0; column < columns.size(); ++column) {
        auto* header = new QTableWidgetItem(columns[column].second);
        header->setData(kIdentifier, columns[column].first);
        table->setHorizontalHeaderItem(column, header);
    }
    // The address (or name) column takes the room; the others keep a fixed share.
    QHeaderView* header = table->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < columns.size(); ++column) {
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        header->resizeSection(column, 170);
    }
    return table;
}

QString identifier(const QTableWidget* table, int column)
{
    return table->horizontalHeaderItem(column)->data(kIdentifier).toString();
}

void setRow(QTableWidget* table, int row, const std::function<QString(const QString&)>& cell)
{
    for (int column = 0; column < table->columnCount(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cell(identifier(table, column))));
}

} // namespace

CrwlPageInspectorWindowController::CrwlPageInspectorWindowController(
    std::shared_ptr<platform::UrlOpener> opener, Pasteboard* board, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , urlOpener(std::move(opener))
    , pasteboard(board)
{
    setObjectName(QStringLiteral("CrwlPageInspectorWindow"));
    setWindowTitle(InspectorWindowTitle());
    auto* form = new QFormLayout;
    auto line = [&](const char* name, const QString& label) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QLatin1String(name));
        field->setReadOnly(true);
        showFieldTextFromStart(*field);
        form->addRow(label, field);
        return field;
    };
    auto* urlField = line("inspectorUrl", tr("URL"));
    auto* visit = new QPushButton(tr("Visit"), this);
    visit->setObjectName(QStringLiteral("visitButton"));
    connect(visit, &QPushButton::clicked, this, &CrwlPageInspectorWindowController::visitPage);
    form->addRow(QString(), visit);
    urlField->setMinimumWidth(360);
    cutFieldInTheMiddle(*urlField);
    // The window opens with the keyboard on Visit: a focused field would show the end of its
    // address, where the cut one shows its host.
    visit->setFocus();
    line("inspectorTitle", tr("Title"));
    line("inspectorDistance", tr("Clicks from start"));
    auto* headings = new QPlainTextEdit(this);
    headings->setObjectName(QStringLiteral("inspectorHeadings"));
    headings->setReadOnly(true);
    headings->setMaximumHeight(80);
    // A level of heading is a tab: a few spaces' indent, so that h4 still starts well inside.
    headings->setTabStopDistance(headings->fontMetrics().horizontalAdvance(QStringLiteral("    ")));
    form->addRow(tr("Headings"), headings);
    line("inspectorDescription", tr("Description"));
    line("inspectorKeywords", tr("Keywords"));
    line("inspectorTimeStamp", tr("Requested"));
    line("inspectorResponseTime", tr("Response time"));
    line("inspectorDownloadTime", tr("Load time"));
    line("inspectorImages", tr("Images"));
    line("inspectorImageWeight", tr("Image weight"));
    line("inspectorFileSize", tr("Size"));
    line("inspectorLinkCount", tr("Links"));
    line("inspectorWordCount", tr("Words"));
    cutFieldInTheMiddle(*line("inspectorCanonical", tr("Canonical")));
    line("inspectorModified", tr("Last modified"));
    line("inspectorMime", tr("MIME type"));
    line("inspectorInternalBacklinks", tr("Inbound links"));
    auto* robots = new QHBoxLayout;
    for (const auto& [name, label] :
        { std::pair("inspectorNoindexCheckbox", "noindex"), std::pair("inspectorNofollowCheckbox", "nofollow") }) {
        auto* box = new QCheckBox(QLatin1String(label), this);
        box->setObjectName(QLatin1String(name));
        box->setEnabled(false);
        robots->addWidget(box);
    }
    form->addRow(tr("Robots"), robots);

    auto* social = new QWidget(this);
    auto* socialForm = new QFormLayout(social);
    for (const auto& [name, label] :
        { std::pair("twitterTitle", "Title"), std::pair("twitterDescription", "Description") }) {
        auto* field = new QLineEdit(social);
        field->setObjectName(QLatin1String(name));
        field->setReadOnly(true);
        showFieldTextFromStart(*field);
        socialForm->addRow(tr(label), field);
    }
    m_twitterImage = new QLabel(social);
    m_twitterImage->setObjectName(QStringLiteral("twitterImage"));
    m_twitterImage->setMinimumSize(240, 126);
    socialForm->addRow(tr("Image"), m_twitterImage);
    auto* jsonld = new QPlainTextEdit(this);
    jsonld->setObjectName(QStringLiteral("jsonldContents"));
    jsonld->setReadOnly(true);

    const QList<std::pair<QString, QString>> occurrenceColumns
        = { { QStringLiteral("linkurl"), tr("URL") }, { QStringLiteral("linktext"), tr("Link text") } };
    auto* duplicates = makeTable(this, QStringLiteral("duplicatesTableView"), { { QStringLiteral("url"), tr("URL") } });
    connect(duplicates, &QTableWidget::cellDoubleClicked, this, [this] {
        platform::logLine(2, QStringLiteral("Duplicates table double click"));
        duplicatesTableVisit();
    });
    auto* metadata = makeTable(this, QStringLiteral("metadataTableView"),
        { { QStringLiteral("name"), tr("Name") }, { QStringLiteral("content"), tr("Content") } });
    // A tag's name is short, its content long.
    metadata->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    metadata->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    auto* inbound = makeTable(this, QStringLiteral("inboundLinksTableView"), occurrenceColumns);
    auto* outbound = makeTable(this, QStringLiteral("outboundLinksTableView"), occurrenceColumns);
    for (auto* occurrenceTable : { inbound, outbound }) {
        const bool isInbound = occurrenceTable == inbound;
        occurrenceTable->horizontalHeader()->setSortIndicatorShown(true);
        // The rows come in page order: no column shows an order until one is clicked.
        occurrenceTable->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        occurrenceTable->horizontalHeader()->setSectionsClickable(true);
        connect(occurrenceTable->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            [this, occurrenceTable, isInbound](int column, Qt::SortOrder order) {
                QString key = identifier(occurrenceTable, column) == QLatin1String("linktext")
                    ? QStringLiteral("linkText")
                    : (isInbound ? QStringLiteral("onPageUrl") : QStringLiteral("linkUrl"));
                sortOccurrences(isInbound, { { key, order == Qt::AscendingOrder } });
            });
    }
    auto* copy = new QPushButton(tr("Copy URL"), this);
    copy->setObjectName(QStringLiteral("duplicatesCopyButton"));
    connect(copy, &QPushButton::clicked, this, &CrwlPageInspectorWindowController::duplicatesTableCopy);
    auto* duplicatesPane = new QWidget(this);
    auto* duplicatesLayout = new QVBoxLayout(duplicatesPane);
    duplicatesLayout->addWidget(duplicates, 1);
    duplicatesLayout->addWidget(copy, 0, Qt::AlignRight);

    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("pageInspectorTabView"));
    tabs->addTab(inbound, tr("Inbound links"));
    tabs->addTab(outbound, tr("Outbound links"));
    tabs->addTab(metadata, tr("Meta tags"));
    tabs->addTab(duplicatesPane, tr("Duplicates"));
    tabs->addTab(social, tr("Social card"));
    tabs->addTab(jsonld, tr("Structured data"));

    // The tabs' lists get the larger share, so that their addresses and every tab's title show.
    tabs->setUsesScrollButtons(true);
    tabs->setElideMode(Qt::ElideNone);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(form, 2);
    layout->addWidget(tabs, 3);
    resize(1180, 660);
}

CrwlPageInspectorWindowController::~CrwlPageInspectorWindowController()
{
    if (imageSession)
        imageSession->invalidateAndCancel();
}

QTableWidget* CrwlPageInspectorWindowController::table(const QString& objectName) const
{
    return findChild<QTableWidget*>(objectName);
}

void CrwlPageInspectorWindowController::windowDidLoad()
{
    inboundRows.clear();
    outboundRows.clear();
    // The lists start again in page order, and their headers say so.
    for (const char* name : { "inboundLinksTableView", "outboundLinksTableView" }) {
        QHeaderView* header = table(QLatin1String(name))->horizontalHeader();
        const QSignalBlocker quiet(header);
        header->setSortIndicator(-1, Qt::AscendingOrder);
    }
    if (!lcurl)
        return;
    const PageInspectorContent content = PageInspectorContent::of(*lcurl);
    auto setText = [this](const char* name, const QString& text) {
        if (auto* field = findChild<QLineEdit*>(QLatin1String(name)))
            field->setText(text);
        else if (auto* view = findChild<QPlainTextEdit*>(QLatin1String(name)))
            view->setPlainText(text);
    };
    if (content.url)
        setText("inspectorUrl", *content.url);
    setText("inspectorTitle", content.title);
    setText("inspectorDistance", content.distance);
    setText("inspectorHeadings", content.headings);
    setText("inspectorDescription", content.description);
    setText("inspectorDownloadTime", content.downloadTime);
    setText("inspectorImages", content.images);
    setText("inspectorImageWeight", content.imageWeight);
    setText("inspectorWordCount", content.wordCount);
    setText("inspectorLinkCount", content.linkCount);
    setText("inspectorTimeStamp", content.timeStamp);
    setText("inspectorInternalBacklinks", content.internalBacklinks);
    setText("inspectorResponseTime", content.responseTime);
    setText("inspectorFileSize", content.fileSize);
    setText("inspectorCanonical", content.canonical);
    setText("inspectorModified", content.modified);
    setText("inspectorMime", content.mime);
    findChild<QCheckBox*>(QStringLiteral("inspectorNoindexCheckbox"))->setChecked(content.noindex);
    findChild<QCheckBox*>(QStringLiteral("inspectorNofollowCheckbox"))->setChecked(content.nofollow);
    if (!content.imageUrl.isEmpty())
        loadImage(content.imageUrl);
    if (!content.cardTitle.isEmpty())
        setText("twitterTitle", content.cardTitle);
    if (!content.cardDescription.isEmpty())
        setText("twitterDescription", content.cardDescription);
    if (content.jsonld)
        setText("jsonldContents", *content.jsonld);
    reloadTables();
}

void CrwlPageInspectorWindowController::reloadTables()
{
    auto* duplicates = table(QStringLiteral("duplicatesTableView"));
    const CrwlUrlList others = lcurl->getUrlsWithDuplicatesRefresh(false);
    duplicates->setRowCount(int(others.size()));
    for (int row = 0; row < int(others.size()); ++row)
        setRow(duplicates, row, [&](const QString&) { return others[size_t(row)]->absoluteString(); });
    auto* metadata = table(QStringLiteral("metadataTableView"));
    const QVariantList& tags = lcurl->getMetaData();
    metadata->setRowCount(int(tags.size()));
    for (int row = 0; row < tags.size(); ++row) {
        const QVariantMap tag = tags[row].toMap();
        setRow(metadata, row, [&](const QString& column) { return PageInspectorContent::metaTagCell(tag, column); });
    }
    reloadOccurrences(true);
    reloadOccurrences(false);
}

void CrwlPageInspectorWindowController::reloadOccurrences(bool inbound)
{
    auto* occurrenceTable
        = table(inbound ? QStringLiteral("inboundLinksTableView") : QStringLiteral("outboundLinksTableView"));
    const PageInspectorContent::OccurrenceRows& rows = occurrenceRows(inbound);
    occurrenceTable->setRowCount(int(rows.size()));
    for (int row = 0; row < int(rows.size()); ++row)
        setRow(occurrenceTable, row,
            [&](const QString& column) { return PageInspectorContent::occurrenceCell(rows[size_t(row)], column); });
}

const PageInspectorContent::OccurrenceRows& CrwlPageInspectorWindowController::occurrenceRows(bool inbound)
{
    // Read once, texts and all: the rows keep them when the scan that made them is gone.
    PageInspectorContent::OccurrenceRows& rows = inbound ? inboundRows : outboundRows;
    if (rows.empty() && lcurl)
        rows = PageInspectorContent::occurrenceRows(
            inbound ? lcurl->getWaysIn() : lcurl->getOutboundInstances(), inbound);
    return rows;
}

void CrwlPageInspectorWindowController::sortOccurrences(bool inbound, const QList<SortDescriptor>& descriptors)
{
    occurrenceRows(inbound);
    PageInspectorContent::sortOccurrenceRows(inbound ? inboundRows : outboundRows, descriptors);
    reloadOccurrences(inbound);
}

void CrwlPageInspectorWindowController::loadImage(const QString& url)
{
    platform::UrlRequest request(url, kImageTimeoutSeconds);
    request.maxBodyBytes = kImageMaxBytes;
    QPointer<CrwlPageInspectorWindowController> self(this);
    platform::UrlSessionDelegate delegate;
    // The session collects the body; it reaches the main thread with the completion, where a
    // window closed meanwhile is gone from `self`.
    delegate.didCompleteWithError = [self](platform::UrlSession&, const platform::UrlTaskResult& result) {
        const int status = result.response ? result.response->statusCode : 0;
        const bool ok = !result.error && (status == 0 || status / 100 == 2);
        QByteArray bytes = ok ? result.body : QByteArray();
        platform::Dispatch::toMain([self, bytes = std::move(bytes)] {
            if (self)
                self->showImage(bytes);
        });
    };
    imageSession = platform::UrlSession::create(std::move(delegate));
    imageSession->start(std::move(request));
}

void CrwlPageInspectorWindowController::showImage(const QByteArray& bytes)
{
    QImage image;
    const bool shown = !bytes.isEmpty() && image.loadFromData(bytes);
    if (shown)
        m_twitterImage->setPixmap(QPixmap::fromImage(image).scaled(
            m_twitterImage->minimumSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    Q_EMIT imageLoadFinished(shown);
}

void CrwlPageInspectorWindowController::closeEvent(QCloseEvent* event)
{
    if (imageSession)
        imageSession->invalidateAndCancel();
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT windowClosed();
}

void CrwlPageInspectorWindowController::visitPage()
{
    if (lcurl && urlOpener)
        urlOpener->openURL(QUrl(lcurl->absoluteString()));
}

QString CrwlPageInspectorWindowController::selectedDuplicate() const
{
    auto* duplicates = table(QStringLiteral("duplicatesTableView"));
    const int row = duplicates->currentRow();
    if (row < 0 || !duplicates->item(row, 0) || !duplicates->selectionModel()->isRowSelected(row, {}))
        return {};
    return duplicates->item(row, 0)->text();
}

void CrwlPageInspectorWindowController::duplicatesTableVisit()
{
    const QString url = selectedDuplicate();
    if (!url.isEmpty() && urlOpener)
        urlOpener->openURL(QUrl(url));
}

void CrwlPageInspectorWindowController::duplicatesTableCopy()
{
    const QString url = selectedDuplicate();
    if (!url.isEmpty())
        (pasteboard ? *pasteboard : Pasteboard::general()).setString(url);
}

} // namespace crawlmere::views
