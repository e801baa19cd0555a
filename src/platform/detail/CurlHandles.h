// Owning wrappers for libcurl handles, so every handle is freed exactly once and an easy
// handle always leaves its multi handle before it is cleaned up.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace crawlmere::platform::detail {

struct CurlMultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, CurlMultiDeleter>;

struct CurlShareDeleter {
    void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};
using ShareHandle = std::unique_ptr<CURLSH, CurlShareDeleter>;

struct CurlEasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using SlistHandle = std::unique_ptr<curl_slist, CurlSlistDeleter>;

/// An easy handle that may be added to a multi handle. `release()` (and the destructor) removes
/// it from the multi handle first and then frees it, in that order, in one place. Network
/// thread only; never released from inside one of its own callbacks.
class AttachedEasy {
public:
    AttachedEasy() = default;
    explicit AttachedEasy(EasyHandle easy)
        : m_easy(std::move(easy))
    {
    }
    ~AttachedEasy() { release(); }
    AttachedEasy(const AttachedEasy&) = delete;
    AttachedEasy& operator=(const AttachedEasy&) = delete;

    CURL* get() const { return m_easy.get(); }
    explicit operator bool() const { return static_cast<bool>(m_easy); }
    bool isAttached() const { return m_multi != nullptr; }

    /// Releases the current handle (see `release`) and takes `easy` in its place, unattached.
    void reset(EasyHandle easy)
    {
        release();
        m_easy = std::move(easy);
    }

    /// Adds the handle to `multi`; false (and not attached) when libcurl refuses.
    bool attach(CURLM* multi)
    {
        if (!m_easy || m_multi)
            return false;
        if (curl_multi_add_handle(multi, m_easy.get()) != CURLM_OK)
            return false;
        m_multi = multi;
        return true;
    }

    /// Removes the handle from its multi handle (when attached), then frees it.
    void release()
    {
        if (m_multi && m_easy)
            curl_multi_remove_handle(m_multi, m_easy.get());
        m_multi = nullptr;
        m_easy.reset();
    }

private:
    EasyHandle m_easy;
    CURLM* m_multi = nullptr;
};

} // namespace crawlmere::platform::detail
