// What the body phase does with each tag: the link records of anchors, image maps, images, media,
// frames, forms, body link and script tags and inline styles; names, headings, paragraphs and the
// nesting checks made at a tag's name.
#include "parsing/CrwlParser.h"

#include "parsing/detail/BodyState.h"
#include "parsing/detail/CharTables.h"
#include "parsing/detail/DocumentText.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/Strings.h"

namespace detail = crawlmere::parsing::detail;
using crawlmere::platform::strings::trimmingQuotesAndSpaces;
using detail::AttrId;
using detail::AttributeSpan;
using detail::BodyState;
using detail::TagId;
using detail::TagSpan;

namespace {

bool isSourceAttribute(AttrId id, bool lazyload)
{
    switch (id) {
    case AttrId::Src:
    case AttrId::Srcset:
        return true;
    case AttrId::DataSrc:
    case AttrId::DataSrcset:
    case AttrId::DataOriginal:
    case AttrId::DataOrigSrc:
        return lazyload;
    case AttrId::Other:
    case AttrId::Href:
    case AttrId::Hreflang:
    case AttrId::Rel:
    case AttrId::Type:
    case AttrId::Target:
    case AttrId::Alt:
    case AttrId::Style:
    case AttrId::Action:
    case AttrId::Id:
    case AttrId::Name:
    case AttrId::Property:
    case AttrId::Content:
        return false;
    }
    return false;
}

bool isSrcset(AttrId id) { return id == AttrId::Srcset || id == AttrId::DataSrcset; }

/// A quoted value holding a ">" and a "<" behind it ran over markup to a later quote, as
/// `href="a.html>a</a> <a href="` does when its own closing quote is missing.
bool runsAcrossMarkup(std::string_view value)
{
    const size_t gt = value.find('>');
    return gt != std::string_view::npos && value.find('<', gt) != std::string_view::npos;
}

} // namespace

QString CrwlParser::decodeSpan(std::string_view span, size_t limit, bool returnsAreSeparators) const
{
    const bool cut = span.size() > limit;
    return unescapedStringFromBuffer(cut ? span.substr(0, limit) : span, useEncoding, returnsAreSeparators, cut);
}

void CrwlParser::addSeparateRecord(const QString& url, const QString& linkText)
{
    // A record of its own that leaves the record under construction (an open link, say) as it is.
    CrwlLinkRecord open = std::move(currentDictionary);
    currentDictionary = CrwlLinkRecord();
    addURLToCollection(url);
    addLinkTextToCollection(linkText);
    underlineData();
    currentDictionary = std::move(open);
}

void CrwlParser::closeLink(BodyState& state)
{
    const QString text = unescapedStringFromBuffer(
        state.linkText.view(), useEncoding, /*returnsAreSeparators=*/true, state.linkText.wasCut());
    // An image link without text keeps the alt text that stood in for its text.
    if (!text.isEmpty() || !currentDictionary.linkText || currentDictionary.linkText->isEmpty())
        addLinkTextToCollection(text);
    underlineData();
    state.inA = false;
    state.linkText.clear();
}

void CrwlParser::imageComplete(BodyState& state)
{
    if (!currentDictionary.altText)
        currentDictionary.altText = QStringLiteral("[alt]:");
    QString alt = *currentDictionary.altText;
    alt.remove(QLatin1StringView("[alt]:"));
    if (alt.trimmed().isEmpty()) {
        const QStringList& urls = currentDictionary.urlArray;
        QString url = QStringLiteral("unknown");
        if (!urls.isEmpty()) {
            url = urls.at(state.inA && urls.size() >= 2 ? 1 : 0);
            if (url.isEmpty())
                url = QStringLiteral("empty");
        }
        if (!url.contains(QLatin1StringView("data:")) && currentDictionary.lineNumber)
            addWarning(QStringLiteral("The page has an image without alt text at line %1/%2. Image url is %3")
                           .arg(QString::number(*currentDictionary.lineNumber), QString::number(counter), url));
    }
    if (state.inA) {
        underlineImageWithinAHrefLink();
        // The link keeps the line of its href, not that of the image split off it.
        if (state.hrefLine && currentDictionary.urlArray.size() == 1)
            currentDictionary.lineNumber = state.hrefLine;
    } else {
        underlineData();
    }
}

void CrwlParser::openTag(BodyState& state, const TagSpan& tag)
{
    advanceTo(tag.nameEnd);
    switch (tag.id) {
    case TagId::A:
        if (state.openA == 1) {
            if (currentDictionary.lineNumber)
                addWarning(QStringLiteral("The page has an unterminated or nested link. Link tag is on or close to line "
                                          "number %1")
                               .arg(*currentDictionary.lineNumber));
            closeLink(state); // the new link takes the place of the open one: the count stays 1
        } else {
            ++state.openA;
        }
        state.inA = true;
        state.linkText.clear();
        state.hrefLine.reset();
        break;
    case TagId::Area:
        if (state.inA)
            closeLink(state);
        break;
    case TagId::Img:
        break;
    case TagId::Picture:
        if (checkImages)
            state.inPicture = true;
        break;
    case TagId::Source:
    case TagId::Audio:
    case TagId::Video:
        if (checkImages && state.inA)
            closeLink(state);
        break;
    case TagId::Frame:
        blockWithinInline(state, "frame");
        break;
    case TagId::IFrame:
        blockWithinInline(state, "iframe");
        break;
    case TagId::Embed:
        if (checkImages)
            blockWithinInline(state, "embed");
        break;
    case TagId::Form:
        blockWithinInline(state, "form");
        if (state.formDepth > 0) {
            addWarning(QStringLiteral("Form element can't be nested at line %1/%2.").arg(currentLine()).arg(counter));
            if (!state.pendingNestingWarnings.isEmpty()) {
                addWarnings(state.pendingNestingWarnings);
                state.pendingNestingWarnings.clear();
            }
        }
        ++state.formDepth;
        state.divDepthAtForm = state.divDepth;
        break;
    case TagId::Link:
        state.linkTagHasHref = false;
        state.linkTagHref.clear();
        state.linkTagRel.reset();
        state.linkTagType.reset();
        state.linkTagHreflang.reset();
        break;
    case TagId::Meta:
        state.bodyMetaPropertyIsUrl = false;
        break;
    case TagId::Script:
        if (state.inA) {
            if (currentDictionary.lineNumber)
                addWarning(QStringLiteral("The page has an unterminated link or script tag inside link. Link tag is on or "
                                          "close to line number %1")
                               .arg(*currentDictionary.lineNumber));
            else
                addWarning(QStringLiteral("The page has an unterminated link or script tag inside link"));
            closeLink(state);
        }
        break;
    case TagId::Style:
        break;
    case TagId::P:
        if (state.headingLevel > 0)
            addWarning(QStringLiteral("The page has p within h%1 at line %2/%3. Heading tags can only contain inline "
                                      "content.")
                           .arg(state.headingLevel)
                           .arg(currentLine())
                           .arg(counter));
        ++state.openP;
        if (parserContentOnlyParas)
            state.collectingText = true;
        break;
    case TagId::Heading:
        if (!seoOn)
            break;
        if (state.openP > 0 && !state.headingInParagraphWarned) {
            state.headingInParagraphWarned = true;
            addWarning(QStringLiteral("The page has h%1 within p, or a p tag has been left unclosed at line %2/%3.")
                           .arg(tag.headingLevel)
                           .arg(currentLine())
                           .arg(counter));
        }
        state.headingLevel = tag.headingLevel;
        state.heading.clear();
        break;
    case TagId::Div:
        ++state.divDepth;
        break;
    case TagId::Span:
        state.inSpan = true;
        break;
    case TagId::Body:
        if (tag.continuesBodyTag)
            break;
        if (state.bodySeen)
            addWarning(QStringLiteral("The page contains more than one body tag."));
        state.bodySeen = true;
        break;
    case TagId::Html:
        break;
    case TagId::Nav:
        if (parserContentIgnoreNav) {
            ++state.navDepth;
            ++state.ignoredRegions;
        }
        break;
    case TagId::Header:
    case TagId::Footer:
        if (parserContentIgnoreHeader) {
            ++state.headerDepth;
            ++state.ignoredRegions;
        }
        break;
    case TagId::Other:
        break;
    }
}

void CrwlParser::closeTag(BodyState& state, const TagSpan& tag)
{
    switch (tag.id) {
    case TagId::A:
        if (state.openA == 0)
            addWarning(QStringLiteral("The page has an extra closing a at line %1/%2.").arg(currentLine()).arg(counter));
        else
            --state.openA;
        closeLink(state);
        break;
    case TagId::Form:
        if (state.divDepth != state.divDepthAtForm && state.pendingNestingWarnings.size() < kMaxWarnings)
            state.pendingNestingWarnings.append(
                QStringLiteral("Badly nested form and div at line %1/%2.").arg(currentLine()).arg(counter));
        --state.formDepth;
        break;
    case TagId::P:
        if (state.openP == 0)
            addWarning(QStringLiteral("The page has an extra closing p at line %1/%2.").arg(currentLine()).arg(counter));
        else
            --state.openP;
        if (state.inSpan) {
            addWarning(
                QStringLiteral("The page has a closing p with an open span at line %1/%2.").arg(currentLine()).arg(counter));
            state.inSpan = false;
        }
        if (parserContentOnlyParas)
            state.collectingText = false;
        break;
    case TagId::Heading:
        if (!state.heading.empty())
            addHeadingToCollection(unescapedStringFromBuffer(state.heading.view(), useEncoding,
                                       /*returnsAreSeparators=*/true, state.heading.wasCut()),
                state.headingLevel);
        state.heading.clear();
        state.headingLevel = 0;
        break;
    case TagId::Div:
        if (state.divDepth == 0)
            addWarning(QStringLiteral("The page has an extra closing div at line %1/%2.").arg(currentLine()).arg(counter));
        else
            --state.divDepth;
        break;
    case TagId::Span:
        state.inSpan = false;
        break;
    case TagId::Body:
        if (state.closingBodySeen)
            addWarning(QStringLiteral("The page contains more than one closing body tag."));
        state.closingBodySeen = true;
        break;
    case TagId::Html:
        if (state.closingHtmlSeen)
            addWarning(QStringLiteral("The page contains more than one closing html tag."));
        state.closingHtmlSeen = true;
        break;
    case TagId::Picture:
        if (!checkImages)
            break;
        if (!state.cachedPictureSources.isEmpty()) {
            addcachedPictureSourcesToCollection(state.cachedPictureSources);
            state.cachedPictureSources.clear();
            underlineData();
        }
        state.inPicture = false;
        break;
    case TagId::Nav:
        if (state.navDepth > 0) {
            --state.navDepth;
            --state.ignoredRegions;
        }
        break;
    case TagId::Header:
    case TagId::Footer:
        if (state.headerDepth > 0) {
            --state.headerDepth;
            --state.ignoredRegions;
        }
        break;
    case TagId::Area:
    case TagId::Img:
    case TagId::Source:
    case TagId::Audio:
    case TagId::Video:
    case TagId::Frame:
    case TagId::IFrame:
    case TagId::Embed:
    case TagId::Link:
    case TagId::Meta:
    case TagId::Script:
    case TagId::Style:
    case TagId::Other:
        break;
    }
}

/// One attribute of a body tag: what any tag does with it, then what its own tag does, each tag in
/// a handler named after it. A value is "finished" (the scanner moves past its closing byte)
/// only when it is used.
class CrwlParser::TagAttributeReader {
public:
    TagAttributeReader(CrwlParser& parser, BodyState& bodyState, const TagSpan& span, const AttributeSpan& read)
        : p(parser)
        , state(bodyState)
        , tag(span)
        , attribute(read)
    {
    }

    void run()
    {
        if (readOfAnyTag())
            return;
        switch (tag.id) {
        case TagId::A:
            onAnchor();
            break;
        case TagId::Area:
            if (attribute.id == AttrId::Href)
                takeUrl();
            break;
        case TagId::Img:
            onImage();
            break;
        case TagId::Source:
        case TagId::Audio:
        case TagId::Video:
            onMediaSource();
            break;
        case TagId::Frame:
        case TagId::IFrame:
            onFrame();
            break;
        case TagId::Embed:
            if (p.checkImages && attribute.id == AttrId::Src) {
                takeUrl();
                p.addLinkTextToCollection(QStringLiteral("[embed]"));
            }
            break;
        case TagId::Form:
            onForm();
            break;
        case TagId::Link:
            onLinkTag();
            break;
        case TagId::Script:
            onScript();
            break;
        case TagId::Meta:
            onMeta();
            break;
        case TagId::Picture:
        case TagId::Style:
        case TagId::P:
        case TagId::Heading:
        case TagId::Div:
        case TagId::Span:
        case TagId::Body:
        case TagId::Html:
        case TagId::Nav:
        case TagId::Header:
        case TagId::Footer:
        case TagId::Other:
            break;
        }
    }

private:
    // ---- The value ----------------------------------------------------------------------------------

    /// The byte that ended the value has been read when the value is used.
    void finishValue() { p.advanceTo(attribute.terminator + 1); }

    /// Each "=" of an unquoted value is warned about at its own place.
    void warnAboutEquals()
    {
        if (attribute.quoted)
            return;
        const qint64 valueStart = attribute.value.data() - p.bytes.data();
        for (size_t k = 0; k < attribute.value.size(); ++k) {
            if (attribute.value[k] != '=')
                continue;
            p.advanceTo(valueStart + static_cast<qint64>(k) + 1);
            p.addWarning(QStringLiteral("The page contains an = in an unquoted value at line %1/%2.")
                             .arg(p.currentLine())
                             .arg(p.counter));
        }
    }

    QString url() const { return p.decodeSpan(attribute.value, detail::kUrlLimit); }
    QString text(size_t limit, bool returnsAreSeparators = false) const
    {
        return p.decodeSpan(attribute.value, limit, returnsAreSeparators);
    }
    QStringList sources() const { return isSrcset(attribute.id) ? p.splitSrcsFromSrcset(url()) : QStringList { url() }; }

    /// An address attribute: warned about, finished and added as the tag's link.
    void takeUrl()
    {
        warnAboutEquals();
        finishValue();
        p.addURLToCollection(url());
    }

    // ---- Attributes of any tag ----------------------------------------------------------------------

    /// id, alt and style mean the same in every tag; true when the attribute is done with.
    bool readOfAnyTag()
    {
        switch (attribute.id) {
        case AttrId::Id:
            finishValue();
            if (p.collectNames && !attribute.value.empty())
                p.addNameToCollection(text(detail::kValueLimit, /*returnsAreSeparators=*/true));
            return true;
        case AttrId::Alt:
            onAlt();
            return true;
        case AttrId::Style:
            onInlineStyle();
            return true;
        case AttrId::Other:
            return true;
        case AttrId::Href:
        case AttrId::Hreflang:
        case AttrId::Rel:
        case AttrId::Type:
        case AttrId::Target:
        case AttrId::Src:
        case AttrId::Srcset:
        case AttrId::DataSrc:
        case AttrId::DataSrcset:
        case AttrId::DataOriginal:
        case AttrId::DataOrigSrc:
        case AttrId::Action:
        case AttrId::Name:
        case AttrId::Property:
        case AttrId::Content:
            return false;
        }
        return false;
    }

    void onAlt()
    {
        finishValue();
        if (attribute.value.size() > detail::kAltLimit)
            detail::parserLog(3, QStringLiteral("alt text overflow - more than 2000 characters - %1 bytes dropped")
                                     .arg(attribute.value.size() - detail::kAltLimit));
        const QString alt = text(detail::kAltLimit, /*returnsAreSeparators=*/true);
        if (p.checkImages)
            p.addAltTextToCollection(alt);
        else
            p.addLinkTextToCollection(alt);
        if (p.parserContentIncludeAltText && state.ignoredRegions == 0 && !attribute.value.empty()) {
            const std::string_view kept = attribute.value.substr(0, detail::kAltLimit);
            p.appendTagSpace(state);
            for (const char c : kept)
                p.appendPageText(state, detail::byteOf(c));
            p.appendTagSpace(state);
        }
    }

    void onInlineStyle()
    {
        if (!p.checkImages)
            return;
        finishValue();
        if (const auto urls = extractURLsFromInlineStyles(url()))
            for (const QString& styleUrl : *urls)
                p.addSeparateRecord(styleUrl, QStringLiteral("[inline style url]"));
    }

    // ---- Tags by name -------------------------------------------------------------------------------

    void onAnchor()
    {
        if (attribute.id == AttrId::Href) {
            warnAboutEquals();
            finishValue();
            const QString href = url();
            if (attribute.quoted && (!attribute.closed || runsAcrossMarkup(attribute.value)))
                p.addWarning(
                    QStringLiteral("the link href '%1' is missing an end quote or has mismatched quotes at line %2/%3.")
                        .arg(trimmingQuotesAndSpaces(href), QString::number(p.currentLine()), QString::number(p.counter)));
            p.addURLToCollection(href);
            state.hrefLine = p.currentLine();
        } else if (attribute.id == AttrId::Rel) {
            finishValue();
            p.addRelToCollection(text(detail::kValueLimit));
        } else if (attribute.id == AttrId::Target) {
            finishValue();
            p.addTargetToCollection(text(detail::kValueLimit));
        } else if (attribute.id == AttrId::Hreflang) {
            finishValue();
            p.addHreflangToCollection(text(detail::kHreflangLimit));
        } else if (attribute.id == AttrId::Name && p.collectNames && !attribute.value.empty()) {
            finishValue();
            p.addNameToCollection(text(detail::kValueLimit, /*returnsAreSeparators=*/true));
        }
    }

    void onImage()
    {
        if (!p.checkImages || !isSourceAttribute(attribute.id, p.lazyload))
            return;
        warnAboutEquals();
        finishValue();
        if (isSrcset(attribute.id))
            p.addURLsToCollection(sources());
        else
            p.addURLToCollection(url());
        if (!state.cachedPictureSources.isEmpty()) {
            p.addcachedPictureSourcesToCollection(state.cachedPictureSources);
            state.cachedPictureSources.clear();
        }
    }

    /// source, audio and video: a picture's srcset waits for its image; the rest are media.
    void onMediaSource()
    {
        if (!p.checkImages || !isSourceAttribute(attribute.id, p.lazyload && tag.id == TagId::Source))
            return;
        warnAboutEquals();
        finishValue();
        if (isSrcset(attribute.id) && state.inPicture)
            state.cachedPictureSources = sources();
        else
            p.addAudioVideoToCollection(sources());
    }

    void onFrame()
    {
        if (attribute.id != AttrId::Src)
            return;
        takeUrl();
        if (tag.id == TagId::IFrame)
            p.addLinkTextToCollection(QStringLiteral("[iFrame]"));
        p.underlineData();
    }

    void onForm()
    {
        if (attribute.id != AttrId::Action)
            return;
        finishValue();
        p.addFormActionToCollection(url());
        p.underlineData();
    }

    /// A body link tag's attributes wait for the tag's end. The head phase has read every link tag
    /// of a page that has no body tag.
    void onLinkTag()
    {
        if (!p.m_bodyTagSeen || !p.linkedFiles)
            return;
        finishValue();
        if (attribute.id == AttrId::Href) {
            state.linkTagHasHref = true;
            state.linkTagHref = url();
        } else if (attribute.id == AttrId::Rel) {
            state.linkTagRel = text(detail::kValueLimit);
        } else if (attribute.id == AttrId::Type) {
            state.linkTagType = text(detail::kValueLimit);
        } else if (attribute.id == AttrId::Hreflang) {
            state.linkTagHreflang = text(detail::kHreflangLimit);
        }
    }

    void onScript()
    {
        if (attribute.id != AttrId::Src || !p.m_bodyTagSeen)
            return;
        warnAboutEquals();
        finishValue();
        p.addLinkedFileToCollection(url());
        p.underlineData();
    }

    /// A body meta tag whose property starts with "url": its content is a link.
    void onMeta()
    {
        if (!p.lazyload && !p.searchMetaDataForURLs)
            return;
        if (attribute.id == AttrId::Property) {
            state.bodyMetaPropertyIsUrl = detail::findIgnoringCase(attribute.value.substr(0, 3), "url") == 0;
        } else if (attribute.id == AttrId::Content && state.bodyMetaPropertyIsUrl && p.searchMetaDataForURLs) {
            finishValue();
            p.addSeparateRecord(text(detail::kValueLimit), QStringLiteral("[meta tag: property=url]"));
            state.bodyMetaPropertyIsUrl = false;
        }
    }

    CrwlParser& p;
    BodyState& state;
    const TagSpan& tag;
    const AttributeSpan& attribute;
};

void CrwlParser::tagAttribute(BodyState& state, const TagSpan& tag, const AttributeSpan& attribute)
{
    TagAttributeReader(*this, state, tag, attribute).run();
}

void CrwlParser::endOfTag(BodyState& state, const TagSpan& tag)
{
    switch (tag.id) {
    case TagId::Img:
        if (checkImages)
            imageComplete(state);
        break;
    case TagId::Area:
        underlineURLsWithinArea();
        break;
    case TagId::Source:
    case TagId::Audio:
    case TagId::Video:
    case TagId::Embed:
        if (checkImages)
            underlineData();
        break;
    case TagId::Link:
        if (state.linkTagHasHref) {
            CrwlLinkRecord open = std::move(currentDictionary);
            currentDictionary = CrwlLinkRecord();
            addLinkedFileToCollection(state.linkTagHref);
            if (state.linkTagRel)
                addRelToCollection(*state.linkTagRel);
            if (state.linkTagType)
                addTypeToCollection(*state.linkTagType);
            if (state.linkTagHreflang)
                addHreflangToCollection(*state.linkTagHreflang);
            underlineData();
            currentDictionary = std::move(open);
            state.linkTagHasHref = false;
        }
        break;
    case TagId::Script:
        if (!tag.selfClosing)
            state.inScript = true;
        break;
    case TagId::Style:
        if (!tag.selfClosing)
            state.inStyle = true;
        break;
    case TagId::A:
    case TagId::Picture:
    case TagId::Frame:
    case TagId::IFrame:
    case TagId::Form:
    case TagId::Meta:
    case TagId::P:
    case TagId::Heading:
    case TagId::Div:
    case TagId::Span:
    case TagId::Body:
    case TagId::Html:
    case TagId::Nav:
    case TagId::Header:
    case TagId::Footer:
    case TagId::Other:
        break;
    }
}
