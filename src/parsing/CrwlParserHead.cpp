// The head phase of the page scan: title, meta tags and robots flags, canonical, base href, linked
// files of link and script tags, window.location targets and the head's structural warnings.
//
// `CrwlParser::HeadScan` reads the head byte by byte. Its mode says what the byte belongs to
// (text between tags, a tag, a comment, script text); the tag being read says which attributes
// count; each has one handler, and each tag the head acts on is handled by a function named after
// it (`onMetaTag`, `onScriptTag`, ...).
#include "parsing/CrwlParser.h"

#include "parsing/TagSyntax.h"
#include "parsing/detail/CharTables.h"
#include "parsing/detail/Matchers.h"
#include "parsing/detail/ParserDefaults.h"
#include "parsing/detail/ScanBuffers.h"
#include "parsing/detail/TextScan.h"

#include <cstring>
#include <initializer_list>

namespace detail = crawlmere::parsing::detail;
using crawlmere::parsing::TagSyntax;
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

// Counts "-" towards the end of a comment: "-->", "--->" and "--!>" end it, "-- >" does not.
struct CommentEnd {
    int state = 0; // "-" seen; 3: "--!" seen
    bool feed(uint8_t c)
    {
        if (c == '-') {
            state = state == 3 ? 1 : state < 2 ? state + 1 : 2;
            return false;
        }
        if (c == '!' && state == 2) {
            state = 3;
            return false;
        }
        const bool ends = state >= 2 && c == '>';
        state = 0;
        return ends;
    }
};

} // namespace

class CrwlParser::HeadScan {
public:
    HeadScan(CrwlParser& parser, detail::ScanBuffers& buffers)
        : p(parser)
        , shared(buffers)
    {
        shared.metaContent.clear();
        shared.metaName.clear();
        shared.linkHref.clear();
        shared.url.clear();
        shared.hreflang.clear();
        shared.relAndType.clear();
    }

    /// Reads up to the body tag (or the end of the page) and leaves the results in the parser.
    void run()
    {
        while (!seen.body && p.counter < p.l) {
            skipInertRun();
            if (!p.getNextByte())
                break;
            const uint8_t c = p.aBuffer;
            switch (mode) {
            case Mode::Comment:
                onCommentByte(c);
                break;
            case Mode::ScriptText:
                onScriptTextByte(c);
                break;
            case Mode::TitleText:
                onTitleTextByte(c);
                break;
            case Mode::Text:
            case Mode::Tag:
                onMarkupByte(c);
                break;
            }
        }
        finish();
    }

private:
    /// What the byte just read belongs to.
    enum class Mode {
        Text, ///< between tags
        Tag, ///< inside a tag, from its "<"
        Comment, ///< inside "<!-- -->": tags and attributes are not read
        ScriptText, ///< inside a script element: only its end and window.location count
        TitleText, ///< the title's text, up to "</title": a tag or comment inside it is text
    };
    /// The tag being read whose attributes the head takes.
    enum class OpenTag { None, Meta, Link, Base, Script };
    /// Whether a title tag is being read: its ">" opens the title's text.
    enum class TitleState { Idle, AwaitingGt };

    bool inScript() const { return mode == Mode::ScriptText || openTag == OpenTag::Script; }

    // ---- Runs of bytes that change nothing --------------------------------------------------------

    /// Passes over bytes in runs: inside a comment up to the next "-"; in script text up to the
    /// next "<" or "w"; in the title up to the next "<" (taken as title text); between tags up to the
    /// next "<" or ">"; inside a value up to its end (the word matchers fed byte by byte).
    void skipInertRun()
    {
        const size_t from = static_cast<size_t>(p.counter);
        const size_t to = static_cast<size_t>(p.l);
        switch (mode) {
        case Mode::Comment:
            if (commentEnd.state == 0) {
                const void* dash = std::memchr(p.bytes.data() + from, '-', to - from);
                skipTo(dash ? static_cast<size_t>(static_cast<const char*>(dash) - p.bytes.data()) : to);
            }
            return;
        case Mode::ScriptText:
            if (target != Target::WindowLocation && scriptEnd.state == 0 && !windowLocation.inProgress())
                skipTo(detail::findEitherByte(p.bytes.data(), from, to, '<', 'w'));
            return;
        case Mode::TitleText: {
            const void* lt = std::memchr(p.bytes.data() + from, '<', to - from);
            const size_t end = lt ? static_cast<size_t>(static_cast<const char*>(lt) - p.bytes.data()) : to;
            titleBuffer.append(p.bytes.substr(from, end - from));
            skipTo(end);
            return;
        }
        case Mode::Text:
            if (target == Target::None && openTag != OpenTag::Meta && tagMatchersIdle())
                skipTo(detail::findAngleBracket(p.bytes.data(), from, to));
            return;
        case Mode::Tag:
            if (target != Target::None && target != Target::MetaName && tagMatchersIdle()
                && (quoted ? syntax.inQuotedValue() : syntax.state == TagSyntax::State::Unquoted))
                skipValueRun(from, to);
            return;
        }
    }

    /// The bytes of a value up to its end (an unquoted one also up to a "<" or a ">"): captured as a
    /// run, with the word matchers fed byte by byte. A byte that completes "canonical" is left to
    /// the byte loop.
    void skipValueRun(size_t from, size_t to)
    {
        const bool feedCanonical
            = canonicalState != CanonicalState::Capturing && canonicalState != CanonicalState::CapturedThisTag;
        const bool feedRobots = openTag == OpenTag::Meta && metaNamesRobots;
        size_t end = from;
        for (; end < to; ++end) {
            const uint8_t b = detail::byteOf(p.bytes[end]);
            if (quoted ? b == terminator : (b == '<' || b == '>' || detail::isWhite(b)))
                break;
            if (feedCanonical) {
                const WordMatcher before = canonicalWord;
                if (canonicalWord.feed(b)) {
                    canonicalWord = before;
                    break;
                }
            }
            if (feedRobots)
                feedRobotsWords(b);
        }
        bufferFor(target)->append(p.bytes.substr(from, end - from));
        skipTo(end);
    }

    bool tagMatchersIdle() const
    {
        for (const TagMatcher* matcher : { &titleTag, &metaTag, &linkTag, &baseTag, &scriptStart, &headEnd, &bodyTag,
                 &headTag, &doctypeTag, &htmlTag })
            if (matcher->state != 0)
                return false;
        return true;
    }

    void skipTo(size_t position)
    {
        if (static_cast<qint64>(position) > p.counter)
            p.advanceTo(static_cast<qint64>(position));
    }

    // ---- Comments and script text -----------------------------------------------------------------

    void onCommentByte(uint8_t c)
    {
        if (commentEnd.feed(c))
            mode = modeAfterComment;
        p.isScriptOrComment = mode == Mode::Comment || inScript();
    }

    /// Inside a script element only its end and window.location assignments count; a "<!--" there
    /// is script text, so an unbalanced one cannot hide the rest of the page.
    void onScriptTextByte(uint8_t c)
    {
        if (scriptEnd.feed(c)) {
            mode = Mode::Text;
            target = Target::None; // a value still open at the script's end is dropped
            windowLocation.reset();
            p.isScriptOrComment = false;
            return;
        }
        if (target == Target::WindowLocation) {
            if (quoted ? c == terminator : detail::isWhite(c))
                finishValue();
            else
                shared.url.push(static_cast<char>(c));
            return;
        }
        openValue(Target::WindowLocation, windowLocation.feed(c, p.previousaBuffer), c);
    }

    // ---- The title's text ---------------------------------------------------------------------------

    /// Everything up to "</title" is the title, as a browser shows it: "<b>", "&" and ">" included.
    void onTitleTextByte(uint8_t c)
    {
        if (c == '<' && titleEndsHere()) {
            mode = Mode::Text;
            onMarkupByte(c);
            return;
        }
        titleBuffer.push(static_cast<char>(c));
    }

    /// The "<" just read begins "</title" followed by the end of the name.
    bool titleEndsHere() const
    {
        const std::string_view rest = p.bytes.substr(static_cast<size_t>(p.counter));
        constexpr std::string_view end = "/title";
        if (rest.size() < end.size() || detail::findIgnoringCase(rest.substr(0, end.size()), end) != 0)
            return false;
        if (rest.size() == end.size())
            return true;
        const uint8_t after = detail::byteOf(rest[end.size()]);
        return after == '>' || after == '/' || detail::isWhite(after);
    }

    // ---- Markup -------------------------------------------------------------------------------------

    void onMarkupByte(uint8_t c)
    {
        // Inside a tag its syntax says whether the byte ends the tag; a "<" or ">" that does not
        // (one in a quoted value, or a "<" among the attributes) is a byte of the tag, and nothing
        // inside a quoted value starts a tag, an attribute or a comment.
        bool endsTag = true;
        bool inQuotes = false;
        if (mode == Mode::Tag) {
            const bool wasQuoted = syntax.inQuotedValue();
            endsTag = syntax.feed(c);
            if (!wasQuoted && syntax.inQuotedValue()
                && !TagSyntax::quoteCloses(p.bytes, static_cast<size_t>(p.counter), c))
                syntax.endAtNextBracket();
            inQuotes = wasQuoted && syntax.inQuotedValue();
        }
        const bool tagByte = !endsTag && (inQuotes || c == '<' || c == '>');
        bool valueByte = false;
        if (c == '<' && !tagByte) {
            if (p.openingBracketBeginsAComment()) {
                beginComment();
                return;
            }
            onTagOpen();
        } else if (c == '>' && !tagByte) {
            onTagClose();
        } else if (target != Target::None) {
            valueByte = true;
            onValueByte(c);
        }
        if (mode == Mode::Tag && c != '<')
            feedCanonicalWord(c);
        if (openTag == OpenTag::Meta && metaNamesRobots)
            feedRobotsWords(c);
        if (tagByte)
            return;
        if (mode == Mode::Tag && !valueByte && target == Target::None && c != '<' && c != '>')
            matchAttributeNames(c);
        matchTagNames(c);
    }

    void beginComment()
    {
        modeAfterComment = mode;
        mode = Mode::Comment;
        commentEnd = {};
        p.isScriptOrComment = true;
    }

    /// A "<": whatever the tag before held is dropped, and a script start tag left open ends.
    void onTagOpen()
    {
        p.lastTagPassed = p.counter;
        mode = Mode::Tag;
        syntax = {};
        if (p.counter < p.l && TagSyntax::startsDeclaration(detail::byteOf(p.bytes[static_cast<size_t>(p.counter)])))
            syntax.readAsDeclaration();
        if (canonicalState == CanonicalState::CapturedThisTag)
            canonicalState = canonicalBuffer.empty() ? CanonicalState::Looking : CanonicalState::Done;
        else if (canonicalState != CanonicalState::Done)
            canonicalState = CanonicalState::Looking;
        target = Target::None;
        if (openTag == OpenTag::Meta)
            clearMeta();
        openTag = OpenTag::None;
        canonicalWord.reset();
        resetAttributes();
        p.isScriptOrComment = inScript();
    }

    /// A ">": the open value and the tag's meta, link and title are taken; a script start tag
    /// opens its text.
    void onTagClose()
    {
        if (target != Target::None)
            finishValue();
        if (openTag == OpenTag::Meta)
            commitMeta();
        if (openTag == OpenTag::Link && canonicalState != CanonicalState::Capturing)
            p.underlineData();
        const bool scriptOpens = openTag == OpenTag::Script;
        openTag = OpenTag::None;
        if (!canonicalBuffer.empty())
            canonicalState = CanonicalState::Done;
        else if (canonicalState == CanonicalState::CapturedThisTag)
            canonicalState = CanonicalState::NotCanonical;
        mode = scriptOpens ? Mode::ScriptText : Mode::Text;
        if (title == TitleState::AwaitingGt) {
            if (!titleBuffer.empty())
                p.addWarning(QStringLiteral("The page has more than one title meta tag"));
            title = TitleState::Idle;
            mode = Mode::TitleText;
        }
        canonicalWord.reset();
        resetAttributes();
        p.isScriptOrComment = inScript();
    }

    void onValueByte(uint8_t c)
    {
        if (quoted ? c == terminator : detail::isWhite(c)) {
            finishValue();
            return;
        }
        CaptureBuffer* buffer = bufferFor(target);
        buffer->push(static_cast<char>(c));
        if (target == Target::MetaName && !metaNamesRobots && buffer->size() >= 6)
            metaNamesRobots = detail::findIgnoringCase(buffer->view(), "robots") != std::string_view::npos;
    }

    void feedCanonicalWord(uint8_t c)
    {
        if (canonicalState == CanonicalState::Capturing || canonicalState == CanonicalState::CapturedThisTag
            || !canonicalWord.feed(c))
            return;
        if (canonicalState == CanonicalState::Done) {
            detail::parserLog(2, QStringLiteral("** warning, two canonicals!"));
            p.addWarning(QStringLiteral("The page has more than one canonical meta tag"));
        } else {
            canonicalState = CanonicalState::Capturing;
        }
    }

    void feedRobotsWords(uint8_t c)
    {
        if (noindexWord.feed(c))
            p.headContainsNoIndex = true;
        if (nofollowWord.feed(c))
            p.headContainsNoFollow = true;
    }

    // ---- Attributes ---------------------------------------------------------------------------------

    /// The attributes of the open tag that the head reads; `href` in any tag.
    void matchAttributeNames(uint8_t c)
    {
        const uint8_t previous = p.previousaBuffer;
        switch (openTag) {
        case OpenTag::Script:
            openValue(Target::ScriptSrc, srcAttr.feed(c, previous), c);
            break;
        case OpenTag::Meta:
            openValue(Target::MetaProperty, propertyAttr.feed(c, previous), c);
            openValue(Target::MetaItemprop, itempropAttr.feed(c, previous), c);
            openValue(Target::MetaName, nameAttr.feed(c, previous), c);
            openValue(Target::MetaContent, contentAttr.feed(c, previous), c);
            break;
        case OpenTag::Link:
            openValue(Target::Rel, relAttr.feed(c, previous), c);
            openValue(Target::Type, typeAttr.feed(c, previous), c);
            openValue(Target::Hreflang, hreflangAttr.feed(c, previous), c);
            break;
        case OpenTag::Base:
        case OpenTag::None:
            break;
        }
        if (target == Target::None)
            matchHref(c, previous);
    }

    /// An href goes to the canonical, the base or the link tag's linked file.
    void matchHref(uint8_t c, uint8_t previous)
    {
        const AttrEvent event = hrefAttr.feed(c, previous);
        if (event == AttrEvent::None)
            return;
        if (openTag == OpenTag::Link && canonicalState == CanonicalState::Looking)
            canonicalState
                = p.currentTagContainsCanonical() ? CanonicalState::Capturing : CanonicalState::NotCanonical;
        Target destination = Target::None;
        if (canonicalState == CanonicalState::Capturing)
            destination = Target::Canonical;
        else if (openTag == OpenTag::Base)
            destination = Target::Base;
        else if (openTag == OpenTag::Link)
            destination = Target::LinkHref;
        openValue(destination, event, c);
    }

    void resetAttributes()
    {
        for (AttrMatcher* m : { &hrefAttr, &hreflangAttr, &relAttr, &typeAttr, &propertyAttr, &itempropAttr,
                 &nameAttr, &contentAttr, &srcAttr })
            m->reset();
    }

    CaptureBuffer* bufferFor(Target which)
    {
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
    }

    /// Opens a value whose first byte (a quote, or the value's own first byte) is `c`.
    void openValue(Target which, AttrEvent event, uint8_t c)
    {
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
    }

    void finishValue()
    {
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
            openTag = OpenTag::None; // a second href of the tag is no base
            break;
        case Target::LinkHref:
            p.addLinkedFileToCollection(p.stringFromBuffer(shared.linkHref));
            break;
        case Target::Hreflang:
            p.addHreflangToCollection(p.stringFromBuffer(shared.hreflang));
            break;
        case Target::Rel:
            p.addRelToCollection(p.stringFromBuffer(shared.relAndType));
            break;
        case Target::Type:
            p.addTypeToCollection(p.stringFromBuffer(shared.relAndType));
            break;
        case Target::ScriptSrc:
            p.addLinkedFileToCollection(p.stringFromBuffer(shared.url));
            p.underlineData();
            break;
        case Target::WindowLocation:
            p.addURLToCollection(p.stringFromBuffer(shared.url));
            break;
        }
    }

    // ---- Meta tags ----------------------------------------------------------------------------------

    void clearMeta()
    {
        metaNamesRobots = false;
        shared.metaName.clear();
        shared.metaContent.clear();
        property.clear();
        itemprop.clear();
        noindexWord.reset();
        nofollowWord.reset();
    }

    /// A meta tag with a name, itemprop or property and a content is kept; with "search meta data
    /// for URLs" an address in its content is a link.
    void commitMeta()
    {
        const bool hasName = !shared.metaName.empty();
        const bool hasItemprop = !itemprop.empty();
        const bool hasProperty = !property.empty();
        if ((hasName || hasItemprop || hasProperty) && !shared.metaContent.empty()) {
            const QString content = p.stringFromBuffer(shared.metaContent, /*returnsAreSeparators=*/true);
            QVariantMap tag;
            tag.insert(QStringLiteral("content"), content);
            QString nameValue;
            QString itempropValue;
            QString propertyValue;
            if (hasName)
                tag.insert(QStringLiteral("name"), nameValue = p.stringFromBuffer(shared.metaName, true));
            if (hasItemprop)
                tag.insert(QStringLiteral("itemprop"), itempropValue = p.stringFromBuffer(itemprop, true));
            if (hasProperty)
                tag.insert(QStringLiteral("property"), propertyValue = p.stringFromBuffer(property, true));
            if (p.metaTags.size() < kMaxMetaTags)
                p.metaTags.append(tag);
            if (p.searchMetaDataForURLs && content.size() >= 12
                && (content.startsWith(QLatin1StringView("https://")) || content.startsWith(QLatin1StringView("http://")))) {
                const QString label = hasName ? QStringLiteral("name=%1").arg(nameValue)
                    : hasItemprop             ? QStringLiteral("itemprop=%1").arg(itempropValue)
                                              : QStringLiteral("property=%1").arg(propertyValue);
                p.addMetaTagURLoCollection(content, label);
            }
        }
        p.underlineData();
        clearMeta();
    }

    // ---- Tags by name -------------------------------------------------------------------------------

    /// Every tag matcher takes every markup byte; a completed name calls its handler.
    void matchTagNames(uint8_t c)
    {
        if (titleTag.feed(c))
            onTitleTag();
        if (metaTag.feed(c))
            onMetaTag();
        if (linkTag.feed(c))
            openTag = OpenTag::Link;
        if (baseTag.feed(c))
            openTag = OpenTag::Base;
        if (scriptStart.feed(c))
            onScriptTag();
        if (headEnd.feed(c))
            onHeadEndTag();
        if (bodyTag.feed(c))
            seen.body = true;
        if (headTag.feed(c))
            onceOnly(seen.head, "The page contains more than one head tag.");
        if (doctypeTag.feed(c))
            onceOnly(seen.doctype, "The page contains more than one doctype declaration.");
        if (htmlTag.feed(c))
            onceOnly(seen.html, "The page contains more than one opening html tag.");
    }

    void onTitleTag() { title = TitleState::AwaitingGt; }

    void onMetaTag()
    {
        if (!p.seoOn)
            return;
        clearMeta();
        openTag = OpenTag::Meta;
    }

    void onScriptTag()
    {
        openTag = OpenTag::Script;
        p.isScriptOrComment = true;
    }

    void onHeadEndTag()
    {
        seen.headEnd = true;
        p.endHead = p.counter;
    }

    /// A structural tag that a page has once: a second one is warned about.
    void onceOnly(bool& seenBefore, const char* warning)
    {
        if (seenBefore)
            p.addWarning(QString::fromLatin1(warning));
        seenBefore = true;
    }

    // ---- The end of the head ------------------------------------------------------------------------

    void finish()
    {
        p.m_doctypeSeen = seen.doctype;
        p.m_htmlTagSeen = seen.html;
        p.m_headEndSeen = seen.headEnd;
        p.m_bodyTagSeen = seen.body;
        if (!seen.body) {
            // No body tag: the body phase reads again from the end of the head (or from the start).
            p.rewindTo(seen.headEnd ? p.endHead : 0);
            p.isScriptOrComment = false;
        }
        p.metatitle = p.stringFromBuffer(titleBuffer, /*returnsAreSeparators=*/true);
        p.canonical = p.stringFromBuffer(canonicalBuffer);
        p.codebase = base.empty() ? QString() : p.stringFromBuffer(base);
    }

    CrwlParser& p;
    detail::ScanBuffers& shared;

    CaptureBuffer titleBuffer { detail::kValueLimit };
    CaptureBuffer property { detail::kValueLimit };
    CaptureBuffer itemprop { detail::kValueLimit };
    CaptureBuffer canonicalBuffer { detail::kValueLimit };
    CaptureBuffer base { detail::kValueLimit };

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

    Mode mode = Mode::Text;
    Mode modeAfterComment = Mode::Text;
    CommentEnd commentEnd;
    OpenTag openTag = OpenTag::None;
    bool metaNamesRobots = false; ///< the open meta tag's name holds "robots"
    TitleState title = TitleState::Idle;
    CanonicalState canonicalState = CanonicalState::Looking;

    /// The syntax of the tag being read (Mode::Tag).
    TagSyntax syntax;
    /// The value being read.
    Target target = Target::None;
    bool quoted = false;
    uint8_t terminator = 0;

    /// Structural tags met so far.
    struct {
        bool head = false;
        bool headEnd = false;
        bool body = false;
        bool doctype = false;
        bool html = false;
    } seen;
};

void CrwlParser::headPhase(detail::ScanBuffers& shared) { HeadScan(*this, shared).run(); }
