// Lookup of HTML's named character references by name.
#pragma once

#include <cstddef>
#include <string_view>

namespace crawlmere::parsing::detail {

/// One named reference: its name without "&" and ";", and the one or two code points it stands for
/// (`second` is 0 for a single code point).
struct NamedEntity {
    std::string_view name;
    char32_t first;
    char32_t second;
};

/// Length of the longest name in the table, without "&" and ";".
inline constexpr size_t kMaxEntityNameLength = 31;

/// The entity called `name` (case-sensitive, without "&" and ";"), or nullptr.
const NamedEntity* findNamedEntity(std::string_view name);

/// Number of names in the table.
size_t namedEntityCount();

} // namespace crawlmere::parsing::detail
