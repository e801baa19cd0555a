// Label colours of result rows by colour class.
#include "engine/CrwlLabelColour.h"

#include "engine/CrwlUrl.h"
#include "engine/detail/DefaultsValue.h"
#include "platform/UserDefaults.h"

std::optional<CrwlLabelColour> CrwlLabelColour::forColourClass(int colourClass)
{
    if (colourClass == 3 || colourClass == 4)
        return error();
    if (colourClass == 2)
        return warning();
    return std::nullopt;
}

std::optional<CrwlLabelColour> CrwlLabelColour::forRow(const CrwlDataObject* row)
{
    if (!crawlmere::engine::detail::defaultsBool(
            &crawlmere::platform::UserDefaults::standard(), defaultsKey::displayLabels, true))
        return std::nullopt;
    const auto* record = dynamic_cast<const CrwlUrl*>(row);
    if (!record)
        return std::nullopt;
    return forColourClass(record->colourForCrwlUrl());
}
