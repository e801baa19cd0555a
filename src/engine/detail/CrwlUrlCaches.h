// The lists a URL record works out only when asked (the views' image, video and audio lists and
// duplicate groups), kept off the record until the first question.
#pragma once

#include "engine/CrwlURLDelegate.h"

#include <memory>
#include <optional>
#include <vector>

class CrwlLinkInstance;

/// Main thread only, as the record's const getters that fill it.
struct CrwlUrlCaches {
    std::optional<std::vector<std::shared_ptr<CrwlLinkInstance>>> linkedImages;
    std::optional<std::vector<std::shared_ptr<CrwlLinkInstance>>> linkedVideo;
    std::optional<std::vector<std::shared_ptr<CrwlLinkInstance>>> linkedAudio;
    std::optional<CrwlUrlList> urlsWithDuplicateTitles;
    std::optional<CrwlUrlList> urlsWithDuplicateDescriptions;
    std::optional<CrwlUrlList> urlsWithDuplicates;
};
