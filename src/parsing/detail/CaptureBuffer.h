// A fixed-size byte buffer that keeps the first bytes of a value and drops the rest.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace crawlmere::parsing::detail {

/// Allocated once per scan; `push` never allocates. Bytes past `limit` are dropped and the buffer
/// remembers that the value was cut, so decoding can avoid a split multi-byte character.
class CaptureBuffer {
public:
    explicit CaptureBuffer(size_t limit)
        : m_bytes(new char[limit ? limit : 1])
        , m_limit(limit)
    {
    }

    void push(char byte)
    {
        if (m_size < m_limit)
            m_bytes[m_size++] = byte;
        else
            m_cut = true;
    }
    /// Pushes each byte of `run` in turn.
    void append(std::string_view run)
    {
        const size_t room = m_limit - m_size;
        const size_t n = run.size() < room ? run.size() : room;
        if (n)
            std::memcpy(m_bytes.get() + m_size, run.data(), n);
        m_size += n;
        if (run.size() > room)
            m_cut = true;
    }
    void clear()
    {
        m_size = 0;
        m_cut = false;
    }
    std::string_view view() const { return { m_bytes.get(), m_size }; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    bool wasCut() const { return m_cut; }
    size_t limit() const { return m_limit; }

private:
    std::unique_ptr<char[]> m_bytes;
    size_t m_size = 0;
    size_t m_limit = 0;
    bool m_cut = false;
};

} // namespace crawlmere::parsing::detail
