// State of the body phase of the page scan: what the scanner is inside, its counters, the page-text
// buffer and the spans of the tag and attribute being read.
#pragma once

#include "parsing/detail/CaptureBuffer.h"
#include "parsing/detail/ScanBuffers.h"
#include "parsing/detail/TextScan.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace crawlmere::parsing::detail {

/// Tags the body phase acts on; every other name is `Other`.
enum class TagId : uint8_t {
    Other,
    A,
    Area,
    Img,
    Picture,
    Source,
    Audio,
    Video,
    Frame,
    IFrame,
    Embed,
    Form,
    Link,
    Meta,
    Script,
    Style,
    P,
    Heading,
    Div,
    Span,
    Body,
    Html,
    Nav,
    Header,
    Footer,
};

/// Attributes the body phase acts on; every other name is `Other`.
enum class AttrId : uint8_t {
    Other,
    Href,
    Hreflang,
    Rel,
    Type,
    Target,
    Src,
    Srcset,
    DataSrc,
    DataSrcset,
    DataOriginal,
    DataOrigSrc,
    Alt,
    Style,
    Action,
    Id,
    Name,
    Property,
    Content,
};

/// One tag between "<" and its end: the first ">" behind it outside quoted values, a "<" that ends a
/// quote that never closes (see `TagSyntax`), or the end of the data.
struct TagSpan {
    TagId id = TagId::Other;
    bool closing = false;
    int headingLevel = 0; ///< 1-6 for h1-h6
    qint64 nameEnd = 0; ///< offset just behind the name
    qint64 end = 0; ///< offset of the ">" or "<" that ends the tag, or the data length
    bool endsAtGt = false;
    bool selfClosing = false; ///< "/" directly before the ">"
    bool continuesBodyTag = false; ///< the rest of the body tag that ended the head phase
};

/// One attribute of a tag, as offsets into the page.
struct AttributeSpan {
    AttrId id = AttrId::Other;
    std::string_view value;
    qint64 terminator = 0; ///< offset of the byte that ended the value
    bool quoted = false;
    bool closed = true; ///< false: a quoted value whose quote never closes, ended by ">"
};

struct BodyState {
    explicit BodyState(size_t pageLength)
        : text(pageLength)
        , textCapacity(pageLength)
    {
    }

    // Page text, at most one byte for each byte of the page.
    ScratchBytes text;
    size_t textSize = 0;
    size_t textCapacity = 0;
    bool collectingText = true;
    int ignoredRegions = 0; ///< open nav/header/footer elements whose text is left out

    CaptureBuffer linkText { kValueLimit };
    CaptureBuffer heading { kValueLimit };

    bool inComment = false;
    bool inScript = false;
    bool inStyle = false;
    std::string_view rawTextElement; ///< the name of the open textarea, title or xmp element
    int commentEnd = 0; ///< "-" seen towards "-->"; 3: "--!" seen
    int nestedComment = 0; ///< bytes of "<!--" seen inside a comment

    int openA = 0;
    bool inA = false;
    std::optional<int> hrefLine; ///< line of the open link's href, kept when images are split off
    bool inSpan = false;
    bool inPicture = false;
    int openP = 0;
    int divDepth = 0;
    int formDepth = 0;
    int divDepthAtForm = 0;
    int headingLevel = 0;
    bool headingInParagraphWarned = false;
    int navDepth = 0;
    int headerDepth = 0;

    QStringList cachedPictureSources;
    QStringList pendingNestingWarnings;

    bool bodySeen = false;
    bool closingBodySeen = false;
    bool closingHtmlSeen = false;

    // The tag being read: attributes that its end acts on.
    bool bodyMetaPropertyIsUrl = false;
    QString linkTagHref; ///< body <link>: recorded at the tag's end with its rel, type and hreflang
    bool linkTagHasHref = false;
    std::optional<QString> linkTagRel;
    std::optional<QString> linkTagType;
    std::optional<QString> linkTagHreflang;
};

} // namespace crawlmere::parsing::detail
