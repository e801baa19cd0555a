// A small scan made by hand for the link-view tests: pages, targets and the occurrences between
// them, with every fact a cell can show.
#pragma once

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlURLDelegate.h"
#include "engine/CrwlUrl.h"
#include "engine/qfDataSource.h"
#include "support/Fixtures.h"

#include <QFile>
#include <gtest/gtest.h>

#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace crawlmere::test {

class LinkScan {
public:
    /// A record of "https://site.test" + path with a status, visible and internal.
    std::shared_ptr<CrwlUrl> url(const QString& path, qint64 status)
    {
        auto record = std::make_shared<CrwlUrl>();
        record->setLinkURL(QStringLiteral("https://site.test") + path);
        record->setStatus(status);
        record->setVisible(true);
        record->setIsInternal(true);
        record->setIsInBadCollection(record->shouldBeMemberOfBadCollection());
        records.push_back(record);
        return record;
    }
    /// A record that is also an internal page of the scan.
    std::shared_ptr<CrwlUrl> page(const QString& path, qint64 status = 200)
    {
        auto record = url(path, status);
        pages.push_back(record);
        return record;
    }
    /// An occurrence of `target` on `page` with a link text.
    std::shared_ptr<CrwlLinkInstance> link(
        const std::shared_ptr<CrwlUrl>& onPage, const std::shared_ptr<CrwlUrl>& target, const QString& text)
    {
        auto occurrence = CrwlLinkInstance::make();
        occurrence->setParent(onPage);
        occurrence->setTarget(target);
        occurrence->setLinkText(text);
        onPage->addOutboundInstance(occurrence);
        target->addInboundInstance(occurrence);
        occurrences.append(occurrence);
        return occurrence;
    }
    /// Gives a target and its occurrence every fact a column shows.
    static void setEveryFact(CrwlUrl& target, CrwlLinkInstance& occurrence, CrwlUrl& onPage)
    {
        target.addRedir(QStringLiteral("https://site.test/moved%20here"), 301, 0);
        target.setFileSize(4096);
        target.setTimestamp(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC));
        target.setLinkPageTitle(QStringLiteral("Target title"));
        onPage.setLinkPageTitle(QStringLiteral("Holding page"));
        onPage.setDistanceFromHome(2);
        occurrence.setRel(QStringLiteral("nofollow noreferrer noopener author alternate sponsored ugc"));
        occurrence.setTargetAttr(QStringLiteral("_blank"));
        occurrence.setHreflang(QStringLiteral("fr"));
        occurrence.setLineNumber(17);
    }

    std::vector<std::shared_ptr<CrwlUrl>> records;
    CrwlUrlList pages;
    QList<qfDataSource::Item> occurrences;
};

/// Compares `text` with the golden file tests/fixtures/views/`name`. With CRAWLMERE_UPDATE_GOLDEN
/// set in the environment the golden file is rewritten instead (review the diff before keeping
/// it).
inline void expectGolden(const QString& text, const QString& name)
{
    const QString path = fixturePath(QStringLiteral("views/") + name);
    QFile file(path);
    if (qEnvironmentVariableIsSet("CRAWLMERE_UPDATE_GOLDEN")) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
        return;
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
    EXPECT_EQ(text.toStdString(), QString::fromUtf8(file.readAll()).toStdString()) << qPrintable(name);
}

} // namespace crawlmere::test
