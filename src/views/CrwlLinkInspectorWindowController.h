// The link inspector: one link target's facts and its redirect chain, in one window.
#pragma once

#include <QWidget>

#include <memory>

class CrwlUrl;
class QPushButton;
class QTableWidget;

namespace crawlmere::views {

class Pasteboard;

/// A window on one link target. Its widgets are made only by `windowDidLoad`, so a controller
/// used without a window makes none. Facts (`inspectorLinkURL`, `inspectorStatus`,
/// `inspectorRedir`, `inspectorPageTitle`, `inspectorTargetPageInboundCount`,
/// `inspectorTargetMimeType`, `inspectorTimeStamp`, `inspectorResponseTime`), the
/// `redirectButton` ("0" and disabled without redirects) and the `redirectTable` are filled
/// from the record when the window loads. Main thread only.
class CrwlLinkInspectorWindowController final : public QWidget {
    Q_OBJECT
public:
    /// `pasteboard` takes copied text (null: the general pasteboard).
    explicit CrwlLinkInspectorWindowController(Pasteboard* pasteboard = nullptr, QWidget* parent = nullptr);

    static QString InspectorWindowTitle() { return QStringLiteral("Link Inspector"); }

    /// The inspected target; set before `windowDidLoad`. Kept alive by the window.
    void setLcurl(std::shared_ptr<CrwlUrl> target) { lcurl = std::move(target); }
    const std::shared_ptr<CrwlUrl>& getLcurl() const { return lcurl; }

    /// Builds the widgets (once) and fills them from the target. Without a target: nothing.
    void windowDidLoad();
    /// Puts the redirect table on the pasteboard, tab-separated; beeps when it has no rows.
    /// Answers whether anything was copied.
    bool copyRedirTableToClipboard();

    QTableWidget* redirectTable() const { return m_redirectTable; }
    QPushButton* redirectButton() const { return m_redirectButton; }

Q_SIGNALS:
    /// The window was closed by the user or `close()`.
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWidgets();

    Pasteboard* pasteboard = nullptr;
    std::shared_ptr<CrwlUrl> lcurl;
    QTableWidget* m_redirectTable = nullptr;
    QPushButton* m_redirectButton = nullptr;
};

} // namespace crawlmere::views
