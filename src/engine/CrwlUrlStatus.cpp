// Status and classification of a URL record by MIME type and file extension.
#include "engine/CrwlUrl.h"

#include "platform/Strings.h"

namespace strings = crawlmere::platform::strings;

bool CrwlUrl::isXML() const
{
    if (strings::containsCaseInsensitive(mimeTypeText, u"application/xml")
        || strings::containsCaseInsensitive(mimeTypeText, u"text/xml"))
        return true;
    const QString extension = strings::pathExtension(linkURL);
    if (extension == u"xml" || extension == u"XML")
        return true;
    return strings::containsCaseInsensitive(linkURL, u".xml?");
}
