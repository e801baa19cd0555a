// The body phase of the page scan: the byte loop over text, comments, scripts and styles, and the
// reading of each tag into its name and attribute spans.
#include "parsing/CrwlParser.h"

#include "parsing/TagSyntax.h"
#include "parsing/detail/BodyState.h"
#include "parsing/detail/CharTables.h"
#include "parsing/detail/ParserDefaults.h"
#include "parsing/detail/ScanBuffers.h"
#include "parsing/detail/TextScan.h"

#include <array>
#include <cstring>

namespace detail = crawlmere::parsing::detail;
using crawlmere::parsing::TagSyntax;
using detail::AttrId;
using detail::AttributeSpan;
using detail::BodyState;
using detail::TagId;
using detail::TagSpan;

namespace {

// Offset of the first "<" or ">" in page[from, to), or `to`.
qint64 nextAngleBracket(const char* page, qint64 from, qint64 to)
{
    return static_cast<qint64>(detail::findAngleBracket(page, static_cast<size_t>(from), static_cast<size_t>(to)));
}

struct NameEntry {
    std::string_view name;
    uint8_t id;
};

constexpr NameEntry kTags[] = {
    { "a", uint8_t(TagId::A) },
    { "area", uint8_t(TagId::Area) },
    { "img", uint8_t(TagId::Img) },
    { "picture", uint8_t(TagId::Picture) },
    { "source", uint8_t(TagId::Source) },
    { "audio", uint8_t(TagId::Audio) },
    { "video", uint8_t(TagId::Video) },
    { "frame", uint8_t(TagId::Frame) },
    { "iframe", uint8_t(TagId::IFrame) },
    { "embed", uint8_t(TagId::Embed) },
    { "form", uint8_t(TagId::Form) },
    { "link", uint8_t(TagId::Link) },
    { "meta", uint8_t(TagId::Meta) },
    { "script", uint8_t(TagId::Script) },
    { "style", uint8_t(TagId::Style) },
    { "p", uint8_t(TagId::P) },
    { "div", uint8_t(TagId::Div) },
    { "span", uint8_t(TagId::Span) },
    { "body", uint8_t(TagId::Body) },
    { "html", uint8_t(TagId::Html) },
    { "nav", uint8_t(TagId::Nav) },
    { "header", uint8_t(TagId::Header) },
    { "footer", uint8_t(TagId::Footer) },
};

constexpr NameEntry kAttributes[] = {
    { "href", uint8_t(AttrId::Href) },
    { "hreflang", uint8_t(AttrId::Hreflang) },
    { "rel", uint8_t(AttrId::Rel) },
    { "type", uint8_t(AttrId::Type) },
    { "target", uint8_t(AttrId::Target) },
    { "src", uint8_t(AttrId::Src) },
    { "srcset", uint8_t(AttrId::Srcset) },
    { "data-src", uint8_t(AttrId::DataSrc) },
    { "data-srcset", uint8_t(AttrId::DataSrcset) },
    { "data-original", uint8_t(AttrId::DataOriginal) },
    { "data-orig-src", uint8_t(AttrId::DataOrigSrc) },
    { "alt", uint8_t(AttrId::Alt) },
    { "style", uint8_t(AttrId::Style) },
    { "action", uint8_t(AttrId::Action) },
    { "id", uint8_t(AttrId::Id) },
    { "name", uint8_t(AttrId::Name) },
    { "property", uint8_t(AttrId::Property) },
    { "content", uint8_t(AttrId::Content) },
};

// Names are found through a small open-addressing table keyed by length, first and last letter.
constexpr size_t kNameSlots = 128;
constexpr size_t kLongestName = 16;

constexpr size_t nameSlot(size_t length, uint8_t first, uint8_t last)
{
    const uint32_t key = static_cast<uint32_t>(length << 16 | size_t(first) << 8 | last);
    return (key * 0x9E3779B1u) >> 25; // the top seven bits: 0..127
}

template <size_t N>
constexpr std::array<uint8_t, kNameSlots> slotsFor(const NameEntry (&table)[N])
{
    static_assert(N < kNameSlots / 4, "the table stays sparse");
    std::array<uint8_t, kNameSlots> slots {};
    for (size_t e = 0; e < N; ++e) {
        const std::string_view name = table[e].name;
        size_t slot = nameSlot(name.size(), detail::byteOf(name.front()), detail::byteOf(name.back()));
        while (slots[slot])
            slot = (slot + 1) % kNameSlots;
        slots[slot] = static_cast<uint8_t>(e + 1);
    }
    return slots;
}

constexpr auto kTagSlots = slotsFor(kTags);
constexpr auto kAttributeSlots = slotsFor(kAttributes);

// The id of `name` (compared without ASCII case) in `table`, or 0.
template <size_t N>
uint8_t lookUp(std::string_view name, const NameEntry (&table)[N], const std::array<uint8_t, kNameSlots>& slots)
{
    if (name.empty() || name.size() > kLongestName)
        return 0;
    const uint8_t first = detail::toLowerAscii(detail::byteOf(name.front()));
    const uint8_t last = detail::toLowerAscii(detail::byteOf(name.back()));
    for (size_t slot = nameSlot(name.size(), first, last); slots[slot]; slot = (slot + 1) % kNameSlots) {
        const NameEntry& entry = table[slots[slot] - 1];
        if (entry.name.size() != name.size())
            continue;
        size_t i = 0;
        while (i < name.size() && detail::toLowerAscii(detail::byteOf(name[i])) == detail::byteOf(entry.name[i]))
            ++i;
        if (i == name.size())
            return entry.id;
    }
    return 0;
}

TagId tagIdOf(std::string_view name, int& headingLevel)
{
    headingLevel = 0;
    if (name.size() == 2 && detail::toLowerAscii(detail::byteOf(name[0])) == 'h' && name[1] >= '1' && name[1] <= '6') {
        headingLevel = name[1] - '0';
        return TagId::Heading;
    }
    return static_cast<TagId>(lookUp(name, kTags, kTagSlots));
}

bool endsName(uint8_t c) { return detail::isWhite(c) || c == '/' || c == '>' || c == '<'; }

/// The byte behind a "<" that makes it markup: a letter, or "/", "!" or "?".
bool isMarkupStart(uint8_t c) { return (detail::kCharClass[c] & detail::kAlpha) || c == '/' || c == '!' || c == '?'; }

} // namespace

void CrwlParser::advanceTo(qint64 position)
{
    if (position > l)
        position = l;
    if (position <= counter)
        return;
    const auto* page = reinterpret_cast<const uint8_t*>(bytes.data());
    previousaBuffer = position - 2 >= counter ? page[position - 2] : aBuffer;
    aBuffer = page[position - 1];
    counter = position;
}

void CrwlParser::bodyPhase(detail::ScanBuffers&)
{
    BodyState state(static_cast<size_t>(l));
    state.collectingText = !parserContentOnlyParas;
    state.bodySeen = m_bodyTagSeen;

    // Behind "<body" the rest of the body tag is still to be read (its id and style count).
    if (m_bodyTagSeen)
        scanTag(state, /*continuesBodyTag=*/true);

    while (counter < l) {
        if (state.inComment)
            scanComment(state);
        else if (state.inScript)
            scanScriptContent(state);
        else if (state.inStyle)
            scanStyleContent(state);
        else if (!state.rawTextElement.empty())
            scanRawText(state);
        else
            scanText(state);
    }
    finishPage(state);
}

void CrwlParser::appendPageText(BodyState& state, uint8_t c)
{
    if (state.textSize >= state.textCapacity)
        return;
    if (parserContentConsolidateWhitespace && state.textSize >= 2 && detail::isWhite(c)) {
        if (detail::isWhite(detail::byteOf(state.text[state.textSize - 1])))
            return;
        c = ' ';
    }
    state.text[state.textSize++] = static_cast<char>(c);
}

void CrwlParser::appendTagSpace(BodyState& state)
{
    if (state.textSize + 2 >= state.textCapacity)
        return;
    if (parserContentConsolidateWhitespace && state.textSize >= 2
        && detail::isWhite(detail::byteOf(state.text[state.textSize - 1])))
        return;
    state.text[state.textSize++] = ' ';
}

void CrwlParser::scanText(BodyState& state)
{
    // The run of text up to the next "<" or ">", then the bracket itself.
    const qint64 end = nextAngleBracket(bytes.data(), counter, l);
    takeTextRun(state, end);
    if (end >= l)
        return;

    // The "<" or ">" itself.
    advanceTo(end + 1);
    if (aBuffer == '>') {
        appendTagSpace(state); // a stray ">" ends nothing but still separates words
        return;
    }
    // A "<" not followed by a letter, "/", "!" or "?" is text, as "a < b" is to a browser.
    if (counter < l && !isMarkupStart(detail::byteOf(bytes[static_cast<size_t>(counter)])))
        return;
    if (openingBracketBeginsAComment()) {
        state.inComment = true;
        state.commentEnd = 0;
        state.nestedComment = 0;
        return;
    }
    scanTag(state);
}

void CrwlParser::takeTextRun(BodyState& state, qint64 end)
{
    // Its bytes go to the page text, the heading and the link text as each is open.
    const qint64 start = counter;
    const std::string_view run = bytes.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
    if (!run.empty()) {
        if ((state.collectingText || state.headingLevel > 0) && state.ignoredRegions == 0) {
            if (parserContentConsolidateWhitespace) {
                for (const char c : run)
                    appendPageText(state, detail::byteOf(c));
            } else {
                const size_t room = state.textCapacity - state.textSize;
                const size_t n = run.size() < room ? run.size() : room;
                std::memcpy(state.text.get() + state.textSize, run.data(), n);
                state.textSize += n;
            }
        }
        if (state.headingLevel > 0)
            state.heading.append(run);
        if (state.inA)
            state.linkText.append(run);
        advanceTo(end);
    }
}

void CrwlParser::scanComment(BodyState& state)
{
    // "-->", "--->" and "--!>" end a comment, "-- >" does not; a "<!--" inside one is a fault of
    // the page.
    while (getNextByte()) {
        const uint8_t c = aBuffer;
        if (c == '<')
            state.nestedComment = 1;
        else if (state.nestedComment == 1 && c == '!')
            state.nestedComment = 2;
        else if ((state.nestedComment == 2 || state.nestedComment == 3) && c == '-')
            ++state.nestedComment;
        else
            state.nestedComment = 0;
        if (state.nestedComment == 4) {
            state.nestedComment = 0;
            addWarning(QStringLiteral("The page has an opening comment tag within a comment at line %1/%2. Nested "
                                      "comments aren't allowed, or it may indicate an uninitentionally unclosed comment.")
                           .arg(currentLine())
                           .arg(counter));
        }
        if (c == '-') {
            state.commentEnd = state.commentEnd == 3 ? 1 : state.commentEnd < 2 ? state.commentEnd + 1 : 2;
        } else if (c == '!' && state.commentEnd == 2) {
            state.commentEnd = 3;
        } else {
            const bool ends = state.commentEnd >= 2 && c == '>';
            state.commentEnd = 0;
            if (ends) {
                state.inComment = false;
                return;
            }
        }
    }
}

void CrwlParser::scanScriptContent(BodyState& state)
{
    const qint64 end = static_cast<qint64>(crawlmere::parsing::scriptTextEnd(bytes, static_cast<size_t>(counter)));
    if (end >= l) {
        advanceTo(l);
        return;
    }
    advanceTo(end + 1);
    state.inScript = false;
    scanTag(state); // the end tag itself, up to its ">"
}

void CrwlParser::scanRawText(BodyState& state)
{
    // The content of a textarea, title or xmp element is text up to its end tag, as a browser
    // shows it: a tag or a comment inside it is text too.
    const qint64 end = static_cast<qint64>(
        crawlmere::parsing::rawTextEnd(bytes, static_cast<size_t>(counter), state.rawTextElement));
    state.rawTextElement = {};
    takeTextRun(state, end);
}

void CrwlParser::scanStyleContent(BodyState& state)
{
    const qint64 end = static_cast<qint64>(crawlmere::parsing::styleTextEnd(bytes, static_cast<size_t>(counter)));
    advanceTo(end + 1);
    if (end >= l)
        return;
    state.inStyle = false;
    if (aBuffer == '<')
        scanTag(state); // the end tag itself, up to its ">"
}

void CrwlParser::scanTag(BodyState& state, bool continuesBodyTag)
{
    // `counter` stands just behind the "<" (or, for the body tag the head phase stopped in, just
    // behind its name). Behind the name the tag is read as a browser reads it (`TagSyntax`): it ends
    // at the first ">" outside a quoted value; a quote that never closes ends at the next "<" or
    // ">", and a "<" then starts the next tag.
    const std::string_view page = bytes;
    const auto byteAt = [&](qint64 i) { return detail::byteOf(page[static_cast<size_t>(i)]); };
    TagSpan tag;
    std::string_view name;
    qint64 i = counter;
    if (continuesBodyTag) {
        tag.id = TagId::Body;
        tag.nameEnd = counter;
        tag.continuesBodyTag = true;
    } else {
        const qint64 nameLimit = nextAngleBracket(page.data(), counter, l);
        while (i < nameLimit && detail::isWhite(byteAt(i)))
            ++i;
        if (i < nameLimit && byteAt(i) == '/') {
            tag.closing = true;
            ++i;
            while (i < nameLimit && detail::isWhite(byteAt(i)))
                ++i;
        }
        const qint64 nameStart = i;
        while (i < nameLimit && !endsName(byteAt(i)))
            ++i;
        tag.nameEnd = i;
        name = page.substr(static_cast<size_t>(nameStart), static_cast<size_t>(i - nameStart));
        tag.id = tagIdOf(name, tag.headingLevel);
    }
    // A declaration or processing instruction ("<!DOCTYPE", "<?php") ends at its first ">".
    const bool declaration = !continuesBodyTag && counter < l && TagSyntax::startsDeclaration(byteAt(counter));
    if (declaration) {
        const void* gt = std::memchr(page.data() + tag.nameEnd, '>', static_cast<size_t>(l - tag.nameEnd));
        tag.end = gt ? static_cast<const char*>(gt) - page.data() : l;
    } else {
        tag.end = static_cast<qint64>(TagSyntax::tagEnd(page, static_cast<size_t>(tag.nameEnd)));
    }
    tag.endsAtGt = tag.end < l && byteAt(tag.end) == '>';
    tag.selfClosing = tag.endsAtGt && tag.end > tag.nameEnd && byteAt(tag.end - 1) == '/';

    if (tag.closing) {
        advanceTo(tag.nameEnd);
        closeTag(state, tag);
    } else {
        openTag(state, tag);
        if (!declaration)
            readAttributes(state, tag);
    }

    if (tag.end >= l) {
        advanceTo(l);
        return;
    }
    if (tag.endsAtGt) {
        advanceTo(tag.end + 1);
        if (!tag.closing)
            endOfTag(state, tag);
        if (!tag.closing && crawlmere::parsing::holdsRawText(name))
            state.rawTextElement = name;
        appendTagSpace(state);
    } else {
        // Interrupted by "<": the tag ends here and the "<" is read again as the next tag's start.
        advanceTo(tag.end);
        if (!tag.closing)
            endOfTag(state, tag);
    }
}

void CrwlParser::readAttributes(BodyState& state, const TagSpan& tag)
{
    // Attributes with a value, found by the same syntax that found the tag's end.
    const std::string_view page = bytes;
    TagSyntax::forEachValue(page, static_cast<size_t>(tag.nameEnd), static_cast<size_t>(tag.end),
        [&](std::string_view name, size_t valueStart, size_t valueEnd, bool quoted, bool closed) {
            AttributeSpan attribute;
            attribute.id = static_cast<AttrId>(lookUp(name, kAttributes, kAttributeSlots));
            attribute.quoted = quoted;
            attribute.closed = closed;
            attribute.terminator = static_cast<qint64>(valueEnd);
            attribute.value = page.substr(valueStart, valueEnd - valueStart);
            tagAttribute(state, tag, attribute);
        });
}
