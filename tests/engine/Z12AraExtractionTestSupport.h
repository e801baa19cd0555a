// What the link extraction suites share: pages scripted as the links a parser hands out, and a hub
// on a virtual clock that reads them.
#pragma once

#include "Z12AraTestSupport.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/LinkExtractionParser.h"
#include "engine/RecordingEngineSEO.h"
#include "platform/UrlSession.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <thread>

namespace crawlmere::test::extraction {

using namespace crawlmere::test;


/// One link as a parser hands it out.
struct ScriptLink {
    ScriptLink(QString h, QString x, QString r = {}, std::optional<int> l = std::nullopt, QString t = {},
        QString lang = {}, QString window = {})
        : href(std::move(h))
        , text(std::move(x))
        , rel(std::move(r))
        , line(l)
        , type(std::move(t))
        , hreflang(std::move(lang))
        , target(std::move(window))
    {
    }
    QString href;
    QString text;
    QString rel;
    std::optional<int> line;
    QString type;
    QString hreflang;
    QString target;
};

/// What a scripted page answers.
struct Script {
    std::vector<ScriptLink> links;
    QString title;
    QString canonical;
    QString baseHref; // null: no base element
    QStringList headings;
    QVariantList metaData;
    QStringList warnings;
    QStringList names;
    QStringList misspelled;
    QStringList httpLinkedFiles;
    qint64 wordCount = 0;
    bool headNofollow = false;
    bool headNoindex = false;
};

class ScriptedParser final : public LinkExtractionParser {
public:
    ScriptedParser(Script script, qint64 length)
        : m_script(std::move(script))
        , m_length(length)
    {
    }
    std::optional<QString> getNextHref() override
    {
        if (m_next >= m_script.links.size())
            return std::nullopt;
        m_current = &m_script.links[m_next++];
        return m_current->href;
    }
    QString getLinkText() const override { return m_current ? m_current->text : QString(); }
    QString getRel() const override { return m_current ? m_current->rel : QString(); }
    QString getTypeAttribute() const override { return m_current ? m_current->type : QString(); }
    QString getHreflang() const override { return m_current ? m_current->hreflang : QString(); }
    QString getTargetAttr() const override { return m_current ? m_current->target : QString(); }
    std::optional<int> getLineNumber() const override { return m_current ? m_current->line : std::nullopt; }
    void setXMLMode() override { }
    qint64 getLength() const override { return m_length; }
    QString getTitle() const override { return m_script.title; }
    QString getCanonical() const override { return m_script.canonical; }
    QString getBaseHref() const override { return m_script.baseHref; }
    QStringList getHeadings() const override { return m_script.headings; }
    QVariantList getMetaData() const override { return m_script.metaData; }
    bool getHeadContainsNofollow() const override { return m_script.headNofollow; }
    bool getHeadContainsNoindex() const override { return m_script.headNoindex; }
    QVariantList getJsonld() const override { return {}; }
    qint64 getWordCount() const override { return m_script.wordCount; }
    qint64 getFileSize() const override { return m_length; }
    QStringList getWarnings() const override { return m_script.warnings; }
    QStringList getNames() const override { return m_script.names; }
    QStringList getHttpLinkedFiles() const override { return m_script.httpLinkedFiles; }
    qint64 getSpellingCount() const override { return m_script.misspelled.size(); }
    QStringList getAllSpelling() const override { return m_script.misspelled; }
    bool isKeywordStuffed() const override { return false; }

private:
    Script m_script;
    qint64 m_length;
    size_t m_next = 0;
    const ScriptLink* m_current = nullptr;
};

/// Pages are looked up by their bytes; each call is recorded.
class ScriptedParsers final : public LinkExtractionParsers {
public:
    std::unique_ptr<LinkExtractionParser> makeDocumentParser(DocumentKind kind, const QByteArray& data) const override
    {
        calls.push_back(QStringLiteral("document %1").arg(static_cast<int>(kind)));
        return make(data);
    }
    std::unique_ptr<LinkExtractionParser> makePageParser(
        const QByteArray& data, crawlmere::platform::EncodingId, int fileType, const QVariantMap&) const override
    {
        calls.push_back(QStringLiteral("page %1").arg(fileType));
        return make(data);
    }
    std::unique_ptr<LinkExtractionParser> makeSourceParser(
        const QByteArray& data, crawlmere::platform::EncodingId, int) const override
    {
        calls.push_back(QStringLiteral("source"));
        return make(data);
    }

    std::map<QByteArray, Script> scripts;
    mutable std::vector<QString> calls;

private:
    std::unique_ptr<LinkExtractionParser> make(const QByteArray& data) const
    {
        const auto it = scripts.find(data);
        if (it == scripts.end())
            return nullptr;
        return std::make_unique<ScriptedParser>(it->second, data.size());
    }
};

class Z12AraExtractionTest : public HubFixture {
protected:
    void SetUp() override
    {
        HubFixture::SetUp();
        parsers = std::make_shared<ScriptedParsers>();
        hub->setLinkExtractionParsers(parsers);
        seo = std::make_shared<crawlmere::test::RecordingEngineSEO>();
        hub->setEngineSEODataSource(seo);
    }

    /// Starts a scan of `startingUrl` (robots.txt answered with `robots` when given).
    void start(const QString& startingUrl = QStringLiteral("http://site.test/"), const QByteArray& robots = {})
    {
        if (!robots.isEmpty()) {
            transport->loadHandler = [robots](const crawlmere::platform::UrlRequest& request, auto) {
                crawlmere::platform::UrlLoadResult result;
                result.response = crawlmere::platform::UrlResponse();
                result.response->url = request.url;
                result.response->statusCode = request.url.endsWith(QStringLiteral("robots.txt")) ? 200 : 404;
                if (result.response->statusCode == 200)
                    result.body = robots;
                return result;
            };
        }
        settings->insert(crawlKey::startingUrl, startingUrl);
        ASSERT_TRUE(hub->go());
        home = hub->getLcurl();
        ASSERT_TRUE(home);
    }

    /// Gives `record` a fetched body read through `script`, then extracts its links.
    void extract(const std::shared_ptr<CrwlUrl>& record, const Script& script, qint64 status = 200)
    {
        const QByteArray body = "page " + record->absoluteString().toUtf8() + ' ' + QByteArray::number(++pageCounter);
        parsers->scripts[body] = script;
        record->setStatus(status);
        record->setData(body);
        hub->extractLinks(record);
    }

    std::shared_ptr<CrwlUrl> known(const QString& url) const { return hub->weHaveThisOneAlready(url, nullptr, true); }

    /// Reads `home` as a page of `list`, and returns the record each link made (null where none).
    template <std::size_t N> std::array<std::shared_ptr<CrwlUrl>, N> readHome(const ScriptLink (&list)[N])
    {
        Script script;
        script.links.assign(std::begin(list), std::end(list));
        extract(home, script);
        std::array<std::shared_ptr<CrwlUrl>, N> records;
        for (std::size_t i = 0; i < N; ++i)
            records[i] = known(QUrl(home->absoluteString()).resolved(QUrl(list[i].href)).toString());
        return records;
    }

    static Script links(std::initializer_list<ScriptLink> list)
    {
        Script script;
        script.links = list;
        return script;
    }

    std::vector<QString> queued() const
    {
        std::vector<QString> urls;
        for (const auto& record : hub->getCheckQueue().waitingObjects()) {
            if (record)
                urls.push_back(record->absoluteString());
        }
        return urls;
    }
    bool isQueued(const QString& url) const
    {
        const auto urls = queued();
        return std::find(urls.begin(), urls.end(), url) != urls.end();
    }

    std::shared_ptr<ScriptedParsers> parsers;
    std::shared_ptr<crawlmere::test::RecordingEngineSEO> seo;
    std::shared_ptr<CrwlUrl> home;
    int pageCounter = 0;
};

} // namespace crawlmere::test::extraction
