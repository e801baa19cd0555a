// What the link views ask of the windows that show a record in detail: the link and page
// inspectors, the link highlighter and the locate window.
#pragma once

#include "engine/qfDataSource.h"

#include <memory>

class CrwlLinkInstance;
class CrwlUrl;

namespace crawlmere::views {

/// Implemented by the shell once the inspectors, the highlighter and the locate window exist.
/// A view with no opener offers none of these actions (its menu items are disabled). The
/// opener keeps whatever window it opens alive itself. Main thread only; must outlive the views
/// it is given to, or be unset first.
class LinkViewOpener {
public:
    virtual ~LinkViewOpener();
    /// Opens a link inspector on `url`.
    virtual void inspect(const std::shared_ptr<CrwlUrl>& url) = 0;
    /// Opens the page inspector on `page`.
    virtual void inspectPage(const std::shared_ptr<CrwlUrl>& page) = 0;
    /// Shows the page that holds `occurrence` with the link marked.
    virtual void highlight(const std::shared_ptr<CrwlLinkInstance>& occurrence) = 0;
    /// Shows the route from the starting page to `item` (a page or an occurrence).
    virtual void locate(const qfDataSource::Item& item) = 0;
};

} // namespace crawlmere::views
