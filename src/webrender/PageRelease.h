// Letting go of browser-engine pages and the profiles made for them, the page always first.
#pragma once

class QWebEnginePage;
class QWebEngineProfile;

namespace crawlmere::webrender {

/// Deletes `page` after the current event (it may be reporting right now) and then `profile`
/// (when given), once the page is gone: the browser engine must never release a profile while a
/// page of it is still there. A page still waiting when the application object goes (no event
/// loop ran after the release, as at the end of a scan without windows) is deleted then, before
/// the browser engine winds down, and its profile right after it. `profile` must be used by
/// `page` alone. Main thread only.
void releasePage(QWebEnginePage* page, QWebEngineProfile* profile = nullptr);

/// The pages released and not deleted yet (for tests).
int pagesAwaitingRelease();
/// The releases not done yet: a page, or the profile deleted after it, still there (for tests).
int releasesPending();

} // namespace crawlmere::webrender
