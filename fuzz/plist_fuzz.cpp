// Feeds arbitrary bytes to the property-list reader, and holds its reading of XML to libplist's
// own: where libplist reads the text into a tree that is not deep, the values read must be those
// of that tree (as libplist writes it out), and the nesting count never below its depth.
#include "platform/PropertyList.h"
#include "platform/detail/XmlPropertyList.h"

#include <plist/plist.h>

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kShallow = 16;

// The depth of a libplist tree, walked without recursion.
int depthOf(plist_t root)
{
    int deepest = 0;
    std::vector<std::pair<plist_t, int>> pending { { root, 1 } };
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        deepest = std::max(deepest, depth);
        const plist_type type = plist_get_node_type(node);
        if (type == PLIST_ARRAY) {
            for (uint32_t i = 0; i < plist_array_get_size(node); ++i)
                pending.emplace_back(plist_array_get_item(node, i), depth + 1);
        } else if (type == PLIST_DICT) {
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            for (;;) {
                char* key = nullptr;
                plist_t child = nullptr;
                plist_dict_next_item(node, iterator, &key, &child);
                std::free(key);
                if (!child)
                    break;
                pending.emplace_back(child, depth + 1);
            }
            std::free(iterator);
        }
    }
    return deepest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using crawlmere::platform::PropertyList;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto ours = PropertyList::read(bytes);
    if (size == 0 || PropertyList::isBinary(bytes)
        || crawlmere::platform::detail::xmlNestingDepth(bytes, kShallow) > kShallow)
        return 0;
    plist_t tree = nullptr;
    plist_from_xml(bytes.constData(), uint32_t(size), &tree);
    if (!tree)
        return 0;
    // A container holds its values one level further down.
    if (depthOf(tree) > kShallow + 1)
        std::abort();
    // libplist's tree as it writes it, read again: one element per value, nothing skipped.
    char* written = nullptr;
    uint32_t length = 0;
    plist_to_xml(tree, &written, &length);
    plist_free(tree);
    const auto theirs = PropertyList::read(QByteArray(written, qsizetype(length)));
    std::free(written);
    if (!ours || !theirs)
        return 0;
    const auto a = PropertyList::toBinary(*ours);
    const auto b = PropertyList::toBinary(*theirs);
    if (a && b && *a != *b) {
        if (std::getenv("PLIST_FUZZ_SAY"))
            std::fprintf(stderr, "ours:\n%s\ntheirs:\n%s\n", PropertyList::toXml(*ours)->constData(),
                PropertyList::toXml(*theirs)->constData());
        std::abort();
    }
    return 0;
}
