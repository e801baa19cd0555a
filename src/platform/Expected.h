// A value or the reason there is none: the result type of fallible calls that need to say why.
#pragma once

#include <QString>

#include <utility>
#include <variant>

namespace crawlmere::platform {

/// Wraps an error so that it converts into any `Expected<T, E>`: `return Unexpected(text);`.
template <typename E> struct Unexpected {
    explicit Unexpected(E e)
        : error(std::move(e))
    {
    }
    E error;
};

template <typename E> Unexpected(E) -> Unexpected<E>;

/// Holds either a `T` or an error `E`. Construct from a `T` for success and from an
/// `Unexpected<E>` for failure. `value()` on a failure (or `error()` on a success) is a
/// programming error; check `ok()` first or use `valueOr()`.
template <typename T, typename E = QString> class [[nodiscard]] Expected {
public:
    Expected(T value)
        : m_data(std::in_place_index<0>, std::move(value))
    {
    }
    template <typename U>
    Expected(Unexpected<U> failure)
        : m_data(std::in_place_index<1>, E(std::move(failure.error)))
    {
    }

    bool ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<0>(m_data); }
    T& value() & { return std::get<0>(m_data); }
    T&& value() && { return std::get<0>(std::move(m_data)); }
    const T& operator*() const& { return value(); }
    const T* operator->() const { return &value(); }

    /// The value, or `fallback` on a failure.
    T valueOr(T fallback) const& { return ok() ? value() : std::move(fallback); }

    const E& error() const { return std::get<1>(m_data); }

private:
    std::variant<T, E> m_data;
};

/// Success without a value, or an error `E`: `return {};` for success.
template <typename E> class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    template <typename U>
    Expected(Unexpected<U> failure)
        : m_error(E(std::move(failure.error)))
        , m_failed(true)
    {
    }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const E& error() const { return m_error; }

private:
    E m_error {};
    bool m_failed = false;
};

} // namespace crawlmere::platform
