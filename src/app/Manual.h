// The help topics' actions: the help context, the popover's size for a text, and the support
// form and article opened in the browser.
#pragma once

#include "platform/DefaultsKeys.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringView>
#include <QUrl>

class QWidget;

namespace crawlmere::platform {
class UrlOpener;
class UserDefaults;
} // namespace crawlmere::platform

namespace crawlmere::app {

class HelpPresenter;

/// Every help button sends one topic action (`topic`), with itself as the sender. A text topic
/// sets `context` to its title and shows its text through the presenter; the article topic opens
/// its address and leaves `context`; the empty topics do nothing. The support form and article
/// addresses are defaults keys, unset by default: no address is built into the program.
///
/// `defaults`, `opener` and `presenter` must outlive the object. Main thread only.
class Manual {
public:
    static inline const QString kSupportFormURLKey = defaultsKey::supportFormURL;
    static inline const QString kAuthenticationArticleURLKey = defaultsKey::authenticationArticleURL;
    static constexpr int kContentWidth = 438;

    Manual(platform::UserDefaults& defaults, platform::UrlOpener& opener, HelpPresenter& presenter);

    /// Runs the topic action `action` ("threads:") for the help button `sender` (may be null).
    /// Returns false for an unknown action, which changes nothing.
    bool topic(QStringView action, QWidget* sender);

    /// display:sender: shows `text` beside `sender`, sized by `contentSizeFor`.
    void display(const QString& text, QWidget* sender);
    /// closePopover: closes the shown popover.
    void closePopover();
    /// morehelp: logs "support form url is …" and opens the support form with `subject` = the
    /// context, each space replaced by "_". Nothing opens while the address is unset or invalid.
    void morehelp();

    /// The support form's address from the defaults (through the localisation lookup); an
    /// invalid QUrl while unset.
    QUrl supportFormURL() const;
    /// The address `morehelp` opens for `context`; invalid while the support form is unset.
    QUrl supportFormURLForContext(const QString& context) const;

    /// 438 wide, (n ÷ 55) × 17 + 67 high, n being the text's length in UTF-16 units (integer
    /// division): 300 characters give 152, 85 give 84, 54 and 0 give 67.
    static QSize contentSizeFor(const QString& text);
    /// resizeFrame:ForString: `frame`'s origin with the size of `contentSizeFor(text)`.
    static QRect resizeFrame(const QRect& frame, const QString& text);

    /// The title of the text topic shown last; empty before the first.
    const QString& context() const { return m_context; }

private:
    void openAuthenticationArticle();

    platform::UserDefaults& m_defaults;
    platform::UrlOpener& m_opener;
    HelpPresenter& m_presenter;
    QString m_context;
};

} // namespace crawlmere::app
