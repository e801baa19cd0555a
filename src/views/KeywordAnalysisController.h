// The keyword density window of one page.
#pragma once

#include "reports/KeywordAnalysis.h"

#include <QWidget>

#include <memory>

class CrwlUrl;
class QButtonGroup;
class QLabel;
class QTableWidget;

namespace crawlmere::archive {
class CrawlmereArchiveWrapper;
}

namespace crawlmere::views {

/// KeywordAnalysisController: analyses one page's text when made and lists its phrases of the
/// chosen length with count and density, those above the `maxKeywordDensity` threshold in the
/// text colour, the rest light grey. The text comes from the page's file in `archive` when it has
/// one (read on the main thread), else from the page fetched again; parsing, fetching and counting
/// run off the main thread, and the window shows empty until they are done. Widgets carry the
/// object names `tableView`, `tfUrl`, `tfThreshold` and `mtxPhraseLength` (buttons with ids 1 to 4).
/// Main thread only; `archive` (may be null) is only used in the constructor.
class KeywordAnalysisController final : public QWidget {
public:
    KeywordAnalysisController(std::shared_ptr<CrwlUrl> lcurl, const archive::CrawlmereArchiveWrapper* archive,
        QWidget* parent = nullptr);
    ~KeywordAnalysisController() override;

    /// Whether the analysis has arrived.
    bool isAnalysed() const { return m_analysed; }
    const reports::KeywordAnalysis& analysis() const { return m_analysis; }
    /// switchCount: shows the listing of the chosen phrase length.
    void switchCount();
    /// Whether the window's colours are dark: the palette's window colour darker than its text.
    bool isDark() const;

private:
    void analysisArrived();

    std::shared_ptr<CrwlUrl> m_lcurl;
    std::shared_ptr<int> m_alive;
    reports::KeywordAnalysis m_analysis;
    bool m_analysed = false;
    QTableWidget* m_table = nullptr;
    QLabel* m_url = nullptr;
    QLabel* m_threshold = nullptr;
    QButtonGroup* m_lengths = nullptr;
};

} // namespace crawlmere::views
