// Visibility flags, the default column lookup and the numeric and date column keys.
#include "engine/CrwlDataObject.h"

#include <algorithm>
#include <array>

CrwlDataObject::~CrwlDataObject() = default;

QString CrwlDataObject::getFieldByName(const QString& /*key*/) const { return QStringLiteral(""); }

QVariant CrwlDataObject::getSortValue(const QString& key) const { return getFieldByName(key); }

bool CrwlDataObject::isNumber(const QString& key)
{
    // "totalocurrences" and "ocurrencesinarchive" are spelled as the column identifiers are.
    static constexpr std::array<QLatin1String, 25> numericKeys = {
        QLatin1String("distance"),
        QLatin1String("distancefromhome"),
        QLatin1String("responsetime"),
        QLatin1String("loadtime"),
        QLatin1String("filesize"),
        QLatin1String("filesizecompressed"),
        QLatin1String("imageqty"),
        QLatin1String("imageweight"),
        QLatin1String("totalocurrences"),
        QLatin1String("ocurrencesinarchive"),
        QLatin1String("validatorwarnings"),
        QLatin1String("validatorerrors"),
        QLatin1String("linkcount"),
        QLatin1String("onpagecount"),
        QLatin1String("wordcount"),
        QLatin1String("redirectcount"),
        QLatin1String("internal"),
        QLatin1String("titlelength"),
        QLatin1String("descriptionlength"),
        QLatin1String("internallinkcount"),
        QLatin1String("externallinkcount"),
        QLatin1String("numberofredirectstohere"),
        QLatin1String("possibleduplicates"),
        QLatin1String("h1count"),
        QLatin1String("linenumber"),
    };
    const QString lower = key.toLower();
    return std::any_of(numericKeys.begin(), numericKeys.end(), [&](QLatin1String k) { return lower == k; });
}

bool CrwlDataObject::isDate(const QString& key) { return key.toLower() == QLatin1String("timestamp"); }
