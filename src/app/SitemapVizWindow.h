// The sitemap graph window: the progress line of the graph being built and the button that
// exports it as a Graphviz file.
#pragma once

#include <QWidget>

namespace crawlmere::sitemap {
class SitemapManager;
}

namespace crawlmere::app {

class StatusLineField;

/// The free-standing window `vizWindow` with its progress field `dotpbtf` (the cell's
/// `proportion` drawn as a line) and the button `exportAsDotButton` (`exportAsDot:`).
/// Installs the manager's `dotProgress`, `showVizWindow` and `hideVizWindow` hooks and takes
/// them out when it goes; the manager must outlive the window. The progress field repaints at
/// once, since the graph is built without returning to the event loop. Main thread only.
class SitemapVizWindow final : public QWidget {
    Q_OBJECT
public:
    SitemapVizWindow(sitemap::SitemapManager& manager, QWidget* parent);
    ~SitemapVizWindow() override;

    StatusLineField* progressField() const { return m_progress; }
    /// Centres the window over its parent's window (or the screen) and brings it to the front.
    void showCentred();

private:
    sitemap::SitemapManager& m_manager;
    StatusLineField* m_progress = nullptr;
};

} // namespace crawlmere::app
