// A string key that carries its hash, for hash tables of URLs and link texts.
#pragma once

#include <QHashFunctions>
#include <QString>

#include <cstddef>

namespace crawlmere::engine::detail {

/// A string with its hash worked out once. Qt's hash tables keep no hashes beside their keys
/// and compare every key they probe past; URLs and link texts that share a long beginning
/// ("http://host/p/1234.html", "Page 1234") made those comparisons most of a lookup's cost.
/// With the hash in the key, a probe past a different key is one integer comparison.
struct HashedString {
    HashedString() = default;
    explicit HashedString(QString value)
        : text(std::move(value))
        , hash(qHash(text, 0))
    {
    }

    QString text;
    std::size_t hash = 0;

    friend bool operator==(const HashedString& a, const HashedString& b)
    {
        return a.hash == b.hash && a.text == b.text;
    }
    friend std::size_t qHash(const HashedString& key, std::size_t seed) noexcept { return key.hash ^ seed; }
};

} // namespace crawlmere::engine::detail
