// Owning handles for libplist's nodes and the buffers it allocates, for the property-list readers and writers.
#pragma once

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

namespace crawlmere::platform::detail {

struct NodeDeleter {
    void operator()(plist_t node) const
    {
        if (node)
            plist_free(node);
    }
};
using NodePtr = std::unique_ptr<void, NodeDeleter>;

struct MallocDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

} // namespace crawlmere::platform::detail
