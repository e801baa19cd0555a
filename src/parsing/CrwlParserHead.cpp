// The head phase of the page scan: title, meta tags and robots flags, canonical, base href, linked
// files of link and script tags, window.location targets and the head's structural warnings.
#include "parsing/CrwlParser.h"

#include "parsing/detail/CharTables.h"
#include "parsing/detail/Matchers.h"
#include "parsing/detail/ParserDefaults.h"
#include "parsing/detail/ScanBuffers.h"
#include "parsing/detail/TextScan.h"

#include <cstring>
#include <initializer_list>

namespace detail = crawlmere::parsing::detail;
using detail::AttrEvent;
using detail::AttrMatcher;
using detail::CaptureBuffer;
using detail::TagMatcher;
using detail::WordMatcher;

namespace {

enum class CanonicalState {
    Looking,
    Capturing,
    NotCanonical,
    CapturedThisTag, // the value was taken in the tag still open: its own rel is no second canonical
    Done,
};

// Where the attribute value being read goes.
enum class Target {
    None,
    MetaProperty,
    MetaItemprop,
    MetaName,
    MetaContent,
    Canonical,
    Base,
    LinkHref,
    Hreflang,
    Rel,
    Type,
    ScriptSrc,
    WindowLocation,
};

// Counts "-" towards the end of a comment: "-->" and "--->" end it, "-- >" does not.
struct CommentEnd {
    int state = 0;
    bool feed(uint8_t c)
    {
        if (c == '-') {
            state = state < 2 ? state + 1 : 2;
            return false;
        }
        const bool ends = state == 2 && c == '>';
        state = 0;
        return ends;
    }
};

} // namespace

void CrwlParser::headPhase(detail::ScanBuffers& shared)
{
    CaptureBuffer title(detail::kValueLimit);
    CaptureBuffer property(detail::kValueLimit);
    CaptureBuffer itemprop(detail::kValueLimit);
    CaptureBuffer canonicalBuffer(detail::kValueLimit);
    CaptureBuffer base(detail::kValueLimit);

    using End = TagMatcher::End;
    TagMatcher titleTag { "title", 0, /*spaceAfterLt=*/false };
    TagMatcher metaTag { "meta" };
    TagMatcher linkTag { "link" };
    TagMatcher baseTag { "base" };
    TagMatcher scriptStart { "script", 0, /*spaceAfterLt=*/false };
    TagMatcher scriptEnd { "script", '/', /*spaceAfterLt=*/true, /*spaceAfterPrefix=*/false };
    TagMatcher headEnd { "head", '/', true, true, End::NotFollowedByE };
    TagMatcher bodyTag { "body" };
    TagMatcher headTag { "head", 0, true, false, End::NeedsDelimiter };
    TagMatcher doctypeTag { "doctype", '!', true, true, End::NeedsDelimiter };
    TagMatcher htmlTag { "html", 0, true, false, End::NeedsDelimiter };
    WordMatcher canonicalWord { "canonical" };
    WordMatcher noindexWord { "noindex" };
    WordMatcher nofollowWord { "nofollow" };
    AttrMatcher hrefAttr { "href" };
    AttrMatcher hreflangAttr { "hreflang" };
    AttrMatcher relAttr { "rel", /*needsSpaceBefore=*/true };
    AttrMatcher typeAttr { "type", /*needsSpaceBefore=*/true };
    AttrMatcher propertyAttr { "property" };
    AttrMatcher itempropAttr { "itemprop" };
    AttrMatcher nameAttr { "name" };
    AttrMatcher contentAttr { "content" };
    AttrMatcher srcAttr { "src" };
    AttrMatcher windowLocation { "window.location", /*needsSpaceBefore=*/false, /*caseSensitive=*/true };

    bool inComment = false;
    CommentEnd commentEnd;
    bool inScript = false;
    bool inScriptStartTag = false;
    bool insideTag = false;
    bool inMeta = false;
    bool robotsFound = false;
    bool inLinkTag = false;
    bool inBase = false;
    bool titleAwaitsGt = false;
    bool titleCapturing = false;
    bool bodyFound = false;
    bool headEndSeen = false;
    bool headSeen = false;
    bool doctypeSeen = false;
    bool htmlSeen = false;
    CanonicalState canonicalState = CanonicalState::Looking;

    Target target = Target::None;
    bool quoted = false;
    uint8_t terminator = 0;

    shared.metaContent.clear();
    shared.metaName.clear();
    shared.linkHref.clear();
    shared.url.clear();
    shared.hreflang.clear();
    shared.relAndType.clear();

    auto bufferFor = [&](Target which) -> CaptureBuffer* {
        switch (which) {
        case Target::None:
            return nullptr;
        case Target::MetaProperty:
            return &property;
        case Target::MetaItemprop:
            return &itemprop;
        case Target::MetaName:
            return &shared.metaName;
        case Target::MetaContent:
            return &shared.metaContent;
        case Target::Canonical:
            return &canonicalBuffer;
        case Target::Base:
            return &base;
        case Target::LinkHref:
            return &shared.linkHref;
        case Target::Hreflang:
            return &shared.hreflang;
        case Target::Rel:
        case Target::Type:
            return &shared.relAndType;
        case Target::ScriptSrc:
        case Target::WindowLocation:
            return &shared.url;
        }
        return nullptr;
    };

    auto resetAttributes = [&] {
        for (AttrMatcher* m : { &hrefAttr, &hreflangAttr, &relAttr, &typeAttr, &propertyAttr, &itempropAttr,
                 &nameAttr, &contentAttr, &srcAttr })
            m->reset();
    };

    // Opens a value whose first byte (a quote, or the value's own first byte) is `c`.
    auto open = [&](Target which, AttrEvent event, uint8_t c) {
        if (event == AttrEvent::None || which == Target::None)
            return;
        target = which;
        quoted = event == AttrEvent::OpenQuoted;
        terminator = quoted ? c : ' ';
        CaptureBuffer* buffer = bufferFor(which);
        // A second base href runs on in the base buffer; every other value starts afresh.
        if (which != Target::Base)
            buffer->clear();
        if (!quoted)
            buffer->push(static_cast<char>(c));
    };

    auto finishValue = [&] {
        const Target which = target;
        target = Target::None;
        switch (which) {
        case Target::None:
        case Target::MetaProperty:
        case Target::MetaItemprop:
        case Target::MetaName:
        case Target::MetaContent:
            break;
        case Target::Canonical:
            canonicalState = CanonicalState::CapturedThisTag;
            break;
        case Target::Base:
            inBase = false;
            break;
        case Target::LinkHref:
            addLinkedFileToCollection(stringFromBuffer(shared.linkHref));
            break;
        case Target::Hreflang:
            addHreflangToCollection(stringFromBuffer(shared.hreflang));
            break;
        case Target::Rel:
            addRelToCollection(stringFromBuffer(shared.relAndType));
            break;
        case Target::Type:
            addTypeToCollection(stringFromBuffer(shared.relAndType));
            break;
        case Target::ScriptSrc:
            addLinkedFileToCollection(stringFromBuffer(shared.url));
            underlineData();
            break;
        case Target::WindowLocation:
            addURLToCollection(stringFromBuffer(shared.url));
            break;
        }
    };

    auto clearMeta = [&] {
        inMeta = false;
        robotsFound = false;
        shared.metaName.clear();
        shared.metaContent.clear();
        property.clear();
        itemprop.clear();
        noindexWord.reset();
        nofollowWord.reset();
    };

    auto commitMeta = [&] {
        const bool hasName = !shared.metaName.empty();
        const bool hasItemprop = !itemprop.empty();
        const bool hasProperty = !property.empty();
        if ((hasName || hasItemprop || hasProperty) && !shared.metaContent.empty()) {
            const QString content = stringFromBuffer(shared.metaContent, /*returnsAreSeparators=*/true);
            QVariantMap tag;
            tag.insert(QStringLiteral("content"), content);
            QString nameValue;
            QString itempropValue;
            QString propertyValue;
            if (hasName)
                tag.insert(QStringLiteral("name"), nameValue = stringFromBuffer(shared.metaName, true));
            if (hasItemprop)
                tag.insert(QStringLiteral("itemprop"), itempropValue = stringFromBuffer(itemprop, true));
            if (hasProperty)
                tag.insert(QStringLiteral("property"), propertyValue = stringFromBuffer(property, true));
            if (metaTags.size() < kMaxMetaTags)
                metaTags.append(tag);
            if (searchMetaDataForURLs && content.size() >= 12
                && (content.startsWith(QLatin1StringView("https://")) || content.startsWith(QLatin1StringView("http://")))) {
                const QString label = hasName ? QStringLiteral("name=%1").arg(nameValue)
                    : hasItemprop             ? QStringLiteral("itemprop=%1").arg(itempropValue)
                                              : QStringLiteral("property=%1").arg(propertyValue);
                addMetaTagURLoCollection(content, label);
            }
        }
        underlineData();
        clearMeta();
    };

    const std::initializer_list<const TagMatcher*> tagMatchers { &titleTag, &metaTag, &linkTag, &baseTag, &scriptStart,
        &headEnd, &bodyTag, &headTag, &doctypeTag, &htmlTag };
    const auto tagMatchersIdle = [&] {
        for (const TagMatcher* matcher : tagMatchers)
            if (matcher->state != 0)
                return false;
        return true;
    };
    const auto skipTo = [&](size_t position) {
        if (static_cast<qint64>(position) > counter)
            advanceTo(static_cast<qint64>(position));
    };

    while (!bodyFound && counter < l) {
        // Bytes that change nothing are passed over in runs: inside a comment up to the next "-";
        // in script text up to the next "<" or "w"; between tags up to the next "<" or ">" (a title
        // being read takes the run).
        const size_t from = static_cast<size_t>(counter);
        const size_t to = static_cast<size_t>(l);
        if (inComment) {
            if (commentEnd.state == 0) {
                const void* dash = std::memchr(bytes.data() + from, '-', to - from);
                skipTo(dash ? static_cast<size_t>(static_cast<const char*>(dash) - bytes.data()) : to);
            }
        } else if (inScript && !inScriptStartTag) {
            if (target != Target::WindowLocation && scriptEnd.state == 0 && !windowLocation.inProgress())
                skipTo(detail::findEitherByte(bytes.data(), from, to, '<', 'w'));
        } else if (!insideTag && target == Target::None && !inMeta && tagMatchersIdle()) {
            const size_t end = detail::findAngleBracket(bytes.data(), from, to);
            if (titleCapturing)
                title.append(bytes.substr(from, end - from));
            skipTo(end);
        } else if (insideTag && target != Target::None && target != Target::MetaName && !titleCapturing
            && tagMatchersIdle()) {
            // The bytes of a value up to its end, a "<" or a ">": captured as a run, with the word
            // matchers fed byte by byte. A byte that completes "canonical" is left to the loop.
            const bool feedCanonical
                = canonicalState != CanonicalState::Capturing && canonicalState != CanonicalState::CapturedThisTag;
            const bool feedRobots = inMeta && robotsFound;
            size_t end = from;
            for (; end < to; ++end) {
                const uint8_t b = detail::byteOf(bytes[end]);
                if (b == '<' || b == '>' || (quoted ? b == terminator : detail::isWhite(b)))
                    break;
                if (feedCanonical) {
                    const WordMatcher before = canonicalWord;
                    if (canonicalWord.feed(b)) {
                        canonicalWord = before;
                        break;
                    }
                }
                if (feedRobots) {
                    if (noindexWord.feed(b))
                        headContainsNoIndex = true;
                    if (nofollowWord.feed(b))
                        headContainsNoFollow = true;
                }
            }
            bufferFor(target)->append(bytes.substr(from, end - from));
            skipTo(end);
        }
        if (!getNextByte())
            break;
        const uint8_t c = aBuffer;

        // Comments: tags and attributes are not read inside one.
        if (inComment) {
            if (commentEnd.feed(c))
                inComment = false;
            isScriptOrComment = inComment || inScript;
            continue;
        }

        // Inside a script element only its end and window.location assignments count; a "<!--" there
        // is script text, so an unbalanced one cannot hide the rest of the page.
        if (inScript && !inScriptStartTag) {
            if (scriptEnd.feed(c)) {
                inScript = false;
                target = Target::None; // a value still open at the script's end is dropped
                windowLocation.reset();
                isScriptOrComment = false;
                continue;
            }
            if (target == Target::WindowLocation) {
                if (quoted ? c == terminator : detail::isWhite(c))
                    finishValue();
                else
                    shared.url.push(static_cast<char>(c));
                continue;
            }
            open(Target::WindowLocation, windowLocation.feed(c, previousaBuffer), c);
            continue;
        }

        bool valueByte = false;
        if (c == '<') {
            if (openingBracketBeginsAComment()) {
                inComment = true;
                commentEnd = {};
                isScriptOrComment = true;
                continue;
            }
            lastTagPassed = counter;
            insideTag = true;
            if (canonicalState == CanonicalState::CapturedThisTag)
                canonicalState = canonicalBuffer.empty() ? CanonicalState::Looking : CanonicalState::Done;
            else if (canonicalState != CanonicalState::Done)
                canonicalState = CanonicalState::Looking;
            target = Target::None;
            inLinkTag = false;
            inBase = false;
            if (inMeta)
                clearMeta();
            if (inScriptStartTag)
                inScript = inScriptStartTag = false;
            titleCapturing = false;
            canonicalWord.reset();
            resetAttributes();
            isScriptOrComment = inScript;
        } else if (c == '>') {
            if (target != Target::None)
                finishValue();
            if (inMeta)
                commitMeta();
            if (inLinkTag && canonicalState != CanonicalState::Capturing)
                underlineData();
            inLinkTag = false;
            inBase = false;
            inScriptStartTag = false;
            if (!canonicalBuffer.empty())
                canonicalState = CanonicalState::Done;
            else if (canonicalState == CanonicalState::CapturedThisTag)
                canonicalState = CanonicalState::NotCanonical;
            if (titleAwaitsGt) {
                if (!title.empty())
                    addWarning(QStringLiteral("The page has more than one title meta tag"));
                titleAwaitsGt = false;
                titleCapturing = true;
            }
            insideTag = false;
            canonicalWord.reset();
            resetAttributes();
            isScriptOrComment = inScript;
        } else if (target != Target::None) {
            valueByte = true;
            if (quoted ? c == terminator : detail::isWhite(c)) {
                finishValue();
            } else {
                CaptureBuffer* buffer = bufferFor(target);
                buffer->push(static_cast<char>(c));
                if (target == Target::MetaName && !robotsFound && buffer->size() >= 6)
                    robotsFound = detail::findIgnoringCase(buffer->view(), "robots") != std::string_view::npos;
            }
        }

        if (titleCapturing && c != '<' && c != '>')
            title.push(static_cast<char>(c));

        if (insideTag && c != '<' && canonicalState != CanonicalState::Capturing
            && canonicalState != CanonicalState::CapturedThisTag && canonicalWord.feed(c)) {
            if (canonicalState == CanonicalState::Done) {
                detail::parserLog(2, QStringLiteral("** warning, two canonicals!"));
                addWarning(QStringLiteral("The page has more than one canonical meta tag"));
            } else {
                canonicalState = CanonicalState::Capturing;
            }
        }

        if (inMeta && robotsFound) {
            if (noindexWord.feed(c))
                headContainsNoIndex = true;
            if (nofollowWord.feed(c))
                headContainsNoFollow = true;
        }

        if (insideTag && !valueByte && target == Target::None && c != '<' && c != '>') {
            const uint8_t previous = previousaBuffer;
            if (inScriptStartTag)
                open(Target::ScriptSrc, srcAttr.feed(c, previous), c);
            if (inMeta && target == Target::None) {
                open(Target::MetaProperty, propertyAttr.feed(c, previous), c);
                open(Target::MetaItemprop, itempropAttr.feed(c, previous), c);
                open(Target::MetaName, nameAttr.feed(c, previous), c);
                open(Target::MetaContent, contentAttr.feed(c, previous), c);
            }
            if (inLinkTag && target == Target::None) {
                open(Target::Rel, relAttr.feed(c, previous), c);
                open(Target::Type, typeAttr.feed(c, previous), c);
                open(Target::Hreflang, hreflangAttr.feed(c, previous), c);
            }
            if (target == Target::None) {
                const AttrEvent event = hrefAttr.feed(c, previous);
                if (event != AttrEvent::None) {
                    Target destination = Target::None;
                    if (inLinkTag && canonicalState == CanonicalState::Looking)
                        canonicalState = currentTagContainsCanonical() ? CanonicalState::Capturing
                                                                       : CanonicalState::NotCanonical;
                    if (canonicalState == CanonicalState::Capturing)
                        destination = Target::Canonical;
                    else if (inBase)
                        destination = Target::Base;
                    else if (inLinkTag)
                        destination = Target::LinkHref;
                    open(destination, event, c);
                }
            }
        }

        // Structural tags and the tags whose contents the head reads.
        if (titleTag.feed(c)) {
            titleAwaitsGt = true;
            titleCapturing = false;
        }
        if (metaTag.feed(c) && seoOn) {
            clearMeta();
            inMeta = true;
        }
        if (linkTag.feed(c))
            inLinkTag = true;
        if (baseTag.feed(c))
            inBase = true;
        if (scriptStart.feed(c)) {
            inScript = inScriptStartTag = true;
            isScriptOrComment = true;
        }
        if (headEnd.feed(c)) {
            headEndSeen = true;
            endHead = counter;
        }
        if (bodyTag.feed(c))
            bodyFound = true;
        if (headTag.feed(c)) {
            if (headSeen)
                addWarning(QStringLiteral("The page contains more than one head tag."));
            headSeen = true;
        }
        if (doctypeTag.feed(c)) {
            if (doctypeSeen)
                addWarning(QStringLiteral("The page contains more than one doctype declaration."));
            doctypeSeen = true;
        }
        if (htmlTag.feed(c)) {
            if (htmlSeen)
                addWarning(QStringLiteral("The page contains more than one opening html tag."));
            htmlSeen = true;
        }
    }

    m_doctypeSeen = doctypeSeen;
    m_htmlTagSeen = htmlSeen;
    m_headEndSeen = headEndSeen;
    m_bodyTagSeen = bodyFound;

    if (!bodyFound) {
        // No body tag: the body phase reads again from the end of the head (or from the start).
        rewindTo(headEndSeen ? endHead : 0);
        isScriptOrComment = false;
    }
    metatitle = stringFromBuffer(title, /*returnsAreSeparators=*/true);
    canonical = stringFromBuffer(canonicalBuffer);
    codebase = base.empty() ? QString() : stringFromBuffer(base);
}
