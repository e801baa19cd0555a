// The keyword density window of one page.
#include "views/KeywordAnalysisController.h"

#include "archive/CrawlmereArchiveWrapper.h"
#include "engine/CrwlUrl.h"
#include "parsing/CrwlParser.h"
#include "platform/Dispatch.h"
#include "platform/TextEncoding.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace crawlmere::views {

namespace Dispatch = platform::Dispatch;

KeywordAnalysisController::KeywordAnalysisController(
    std::shared_ptr<CrwlUrl> lcurl, const archive::CrawlmereArchiveWrapper* archive, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_lcurl(std::move(lcurl))
    , m_alive(std::make_shared<int>(0))
{
    setObjectName(QStringLiteral("KeywordAnalysisController"));
    setWindowTitle(tr("Keyword Density"));
    m_url = new QLabel(this);
    m_url->setObjectName(QStringLiteral("tfUrl"));
    m_threshold = new QLabel(this);
    m_threshold->setObjectName(QStringLiteral("tfThreshold"));
    m_threshold->setTextFormat(Qt::RichText);
    auto* matrix = new QWidget(this);
    matrix->setObjectName(QStringLiteral("mtxPhraseLength"));
    auto* matrixLayout = new QHBoxLayout(matrix);
    m_lengths = new QButtonGroup(this);
    for (int length = 1; length <= 4; ++length) {
        auto* cell = new QRadioButton(matrix);
        m_lengths->addButton(cell, length);
        matrixLayout->addWidget(cell);
    }
    m_lengths->button(1)->setChecked(true);
    m_table = new QTableWidget(0, 3, this);
    m_table->setObjectName(QStringLiteral("tableView"));
    m_table->setHorizontalHeaderLabels({ tr("Phrase"), tr("Count"), tr("Density") });
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_url);
    layout->addWidget(m_threshold);
    layout->addWidget(matrix);
    layout->addWidget(m_table);
    connect(m_lengths, &QButtonGroup::idClicked, this, [this] { switchCount(); });
    resize(520, 480);

    std::optional<QByteArray> archived;
    const QString url = m_lcurl ? m_lcurl->absoluteString() : QString();
    if (archive && !url.isEmpty())
        archived = archive->dataRepresentationOfMostRecentVersionForURL(url);
    const float threshold = reports::KeywordAnalysis::defaultThreshold();
    const std::weak_ptr<int> alive = m_alive;
    Dispatch::toGlobal([this, alive, url, archived, threshold] {
        std::unique_ptr<CrwlParser> parser;
        if (archived) {
            CrwlParser::Options options;
            options.withSEO = true;
            options.useEncoding = platform::Encoding::UTF8;
            options.fileType = CrwlParser::HTML;
            options.allowNoLinks = true;
            parser = CrwlParser::initWithData(*archived, options);
        } else if (!url.isEmpty()) {
            parser = CrwlParser::initWithUrl(url, /*allowNoLinks=*/true);
        }
        const QString text = parser ? parser->getTextContent() : QString();
        auto analysis = std::make_shared<reports::KeywordAnalysis>(text, threshold);
        Dispatch::toMain([this, alive, analysis] {
            if (alive.expired())
                return;
            m_analysis = *analysis;
            analysisArrived();
        });
    });
}

KeywordAnalysisController::~KeywordAnalysisController() = default;

bool KeywordAnalysisController::isDark() const
{
    return palette().color(QPalette::Window).lightness() < palette().color(QPalette::WindowText).lightness();
}

void KeywordAnalysisController::analysisArrived()
{
    m_analysed = true;
    m_url->setText(
        QStringLiteral("%1 (%2 words)")
            .arg(m_lcurl ? m_lcurl->absoluteString() : QString(), QString::number(m_analysis.pageWordCount())));
    const QString colour = isDark() ? QStringLiteral("white") : QStringLiteral("black");
    m_threshold->setText(QStringLiteral("Phrases shown in <span style=\"color:%1\">%1</span> are at a density above "
                                        "%2 % (set in Preferences > SEO)")
                             .arg(colour, QString::asprintf("%.2f", static_cast<double>(m_analysis.threshold()))));
    static const char* const titles[] = { "Single word (%1)", "Two words (%1)", "Three words (%1)", "Four words (%1)" };
    for (int length = 1; length <= 4; ++length)
        m_lengths->button(length)->setText(
            QString::fromLatin1(titles[length - 1]).arg(m_analysis.listing(length).keywordCount));
    switchCount();
}

void KeywordAnalysisController::switchCount()
{
    const int length = m_lengths->checkedId();
    const auto& listing = m_analysis.listing(length);
    const QColor strong = isDark() ? QColor(Qt::white) : QColor(Qt::black);
    const QColor faint = QColor(Qt::lightGray);
    m_table->setRowCount(static_cast<int>(listing.phrases.size()));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QString& phrase = listing.phrases.at(row);
        const QStringList cells = { phrase, QString::number(listing.counts.value(phrase)),
            m_analysis.densityText(length, phrase) };
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(cells.at(column));
            item->setForeground(row < listing.keywordCount ? strong : faint);
            m_table->setItem(row, column, item);
        }
    }
}

} // namespace crawlmere::views
