// The help topics' actions, the popover's size and the support form's address.
#include "app/Manual.h"

#include "app/HelpPresenter.h"
#include "app/ManualTopics.h"
#include "platform/Log.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QUrlQuery>

namespace crawlmere::app {

namespace {

/// An address from the defaults: absolute http(s) only, else invalid.
QUrl webAddress(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return {};
    return url;
}

} // namespace

Manual::Manual(platform::UserDefaults& defaults, platform::UrlOpener& opener, HelpPresenter& presenter)
    : m_defaults(defaults)
    , m_opener(opener)
    , m_presenter(presenter)
{
}

bool Manual::topic(QStringView action, QWidget* sender)
{
    const ManualTopic* found = manualTopic(action);
    if (!found)
        return false;
    switch (found->kind) {
    case ManualTopicKind::Text:
        m_context = QString::fromUtf8(found->title);
        display(manualTopicText(*found), sender);
        break;
    case ManualTopicKind::Article:
        openAuthenticationArticle();
        break;
    case ManualTopicKind::Nothing:
        break;
    }
    return true;
}

void Manual::display(const QString& text, QWidget* sender)
{
    m_presenter.display({ text, contentSizeFor(text), supportFormURL().isValid() }, sender);
}

void Manual::closePopover() { m_presenter.close(); }

QUrl Manual::supportFormURL() const
{
    const QString stored = m_defaults.stringForKey(kSupportFormURLKey);
    if (stored.trimmed().isEmpty())
        return {};
    return webAddress(QCoreApplication::translate("Manual", stored.toUtf8().constData()));
}

QUrl Manual::supportFormURLForContext(const QString& context) const
{
    QUrl url = supportFormURL();
    if (!url.isValid())
        return {};
    QString subject = context;
    subject.replace(u' ', u'_');
    QUrlQuery query(url);
    query.removeAllQueryItems(QStringLiteral("subject"));
    // Percent-encoded, so that "&", "=", "+" or "#" in a title stay inside the value.
    query.addQueryItem(QStringLiteral("subject"), QString::fromLatin1(QUrl::toPercentEncoding(subject, "/")));
    url.setQuery(query);
    return url;
}

void Manual::morehelp()
{
    const QUrl address = supportFormURL();
    platform::logLine(0, QStringLiteral("support form url is %1").arg(address.toString()));
    const QUrl url = supportFormURLForContext(m_context);
    if (url.isValid())
        m_opener.openURL(url);
}

void Manual::openAuthenticationArticle()
{
    const QUrl url = webAddress(m_defaults.stringForKey(kAuthenticationArticleURLKey));
    if (!url.isValid()) {
        platform::logLine(0,
            QStringLiteral("No address is set for the authentication article (%1)").arg(kAuthenticationArticleURLKey));
        return;
    }
    m_opener.openURL(url);
}

QSize Manual::contentSizeFor(const QString& text)
{
    const qsizetype n = text.size();
    return { kContentWidth, int(n / 55) * 17 + 67 };
}

QRect Manual::resizeFrame(const QRect& frame, const QString& text) { return { frame.topLeft(), contentSizeFor(text) }; }

} // namespace crawlmere::app
