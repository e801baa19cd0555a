// A site's thumbnail made on the browser engine, in a program of its own (crawlmere-thumbnail)
// on the offscreen platform: the engine's view never appears on the user's screen.
#pragma once

#include "settings/ThumbGetter.h"
#include "settings/ThumbGetterFactory.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QTimer>

#include <chrono>

class QProcess;

namespace crawlmere::webrender {

/// One thumbnail. The thumbnail program loads the starting page in a fresh off-the-record
/// profile that accepts no cookies and keeps nothing on disk, grabs its first finished load at
/// 1024 x 700, and writes it scaled to 392 x 256 atomically as TIFF to `location`; then the owner
/// is called back once (also when writing failed, which leaves any old file). Nothing is written
/// and nobody is called when the page has not loaded after `giveUpAfter`, when the engine
/// rejects the site's certificate (given up at once), or when the program cannot be started.
/// Destroying the getter ends its program at once without a callback. What the program says
/// goes to the log at verbosity 2. Main thread only.
///
/// Each program may take up to the 1 GB it allows itself, so no more than `kMostRunning` run at
/// once, whatever the number of getters: a getter started while they run waits, in the order
/// started, and its program starts (and its `giveUpAfter` counts) when one of them has ended.
class WebThumbGetter final : public QObject, public settings::ThumbGetter {
    Q_OBJECT
public:
    static constexpr QSize kThumbSize { 392, 256 };
    static constexpr std::chrono::milliseconds kGiveUpAfter { 15000 };
    static constexpr const char* kProgramName = "crawlmere-thumbnail";
    /// Thumbnail programs running at once, over all getters.
    static constexpr int kMostRunning = 1;

    WebThumbGetter(const QString& url, const QString& location, settings::ThumbGetterFactory::Callback owner,
        std::chrono::milliseconds giveUpAfter = kGiveUpAfter);
    ~WebThumbGetter() override;

    /// The address loaded for a starting URL: "http://" in front of a string shorter than 7
    /// characters; a string holding "://" unchanged; "http://" in front of one shorter than 9;
    /// a local path (`Paths::isLocalPath`, "~/" expanded) as "file://" and the path with XML
    /// entities decoded and each space as "%20"; "http://" in front of anything else.
    static QString normalisedUrl(const QString& url);

    /// The thumbnail program: the one set with `setProgram`, else the first that exists beside
    /// this program or in its installed "lib/crawlmere" folder; empty when there is none.
    static QString program();
    /// Uses `path` as the thumbnail program (for programs run from another folder, as tests are).
    static void setProgram(const QString& path);

    void getImage() override;
    QString getPassedUrl() const override { return passedUrl; }
    void stopLoading() override;
    bool isFinished() const override { return hasResponded; }

    /// The running thumbnail program, for tests: null before `getImage`, while the getter waits
    /// for another's program to end, and once its own has ended.
    QProcess* process() const;
    /// True from `getImage` until its program starts, while others run.
    bool isWaiting() const { return waiting; }

private:
    /// Starts the program, taking one of the `kMostRunning` places.
    void startProgram();
    /// Starts the programs of waiting getters while there is room.
    static void startWaiting();
    void programFinished(int exitCode);
    void logOutput();
    /// Ends the program, if it still runs, without a callback, and gives up its place (or its
    /// turn, while it waits).
    void release();

    QPointer<QProcess> running;
    QString passedUrl;
    QString thisUrl;
    QString location;
    settings::ThumbGetterFactory::Callback owner;
    QTimer giveUp;
    bool hasResponded = false;
    bool waiting = false;
    /// Holds one of the `kMostRunning` places.
    bool holdsPlace = false;
};

} // namespace crawlmere::webrender
