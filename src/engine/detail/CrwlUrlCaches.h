// What most URL records never hold: the lists a record works out only when asked (the views'
// image, video and audio lists and duplicate groups) and the fields only some records fill
// (the sitemap priority, JSON-LD, search terms, a renderer and its request, kept objects), off the
// record until first use.
#pragma once

#include "engine/CrwlURLDelegate.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>
#include <optional>
#include <vector>

class CrwlLinkInstance;
class PageRenderer;

/// Main thread only, as the record's getters and setters that fill it.
struct CrwlUrlCaches {
    std::optional<std::vector<std::shared_ptr<CrwlLinkInstance>>> linkedImages;
    std::optional<std::vector<std::shared_ptr<CrwlLinkInstance>>> linkedVideo;
    std::optional<std::vector<std::shared_ptr<CrwlLinkInstance>>> linkedAudio;
    // Held weakly: pages listing each other must not keep one another alive after the scan.
    std::optional<std::vector<std::weak_ptr<CrwlUrl>>> urlsWithDuplicateTitles;
    std::optional<std::vector<std::weak_ptr<CrwlUrl>>> urlsWithDuplicateDescriptions;
    std::optional<std::vector<std::weak_ptr<CrwlUrl>>> urlsWithDuplicates;
    quint64 duplicateListsGeneration = 0; // the owner's groups generation of the three lists

    std::vector<std::shared_ptr<void>> retainArray;
    QVariantList jsonld;
    QVariantList metaData; // meta elements that do not pack (see PackedMetaElements)
    QStringList searchTerms;
    QString typeAttribute;
    std::optional<double> priority;
    std::shared_ptr<PageRenderer> WTG;
    std::shared_ptr<crawlmere::platform::UrlRequest> runJS; // the request kept for rendering
};
