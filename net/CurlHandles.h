#pragma once

#include <memory>

#include <QByteArray>

#include <curl/curl.h>

// Owners of libcurl's C handles, so that no path can leak or double-free one.
struct CurlEasyDeleter
{
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct CurlMultiDeleter
{
    void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct CurlSlistDeleter
{
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiDeleter>;

// A header or connect-to list; curl_slist_append copies every string.
class CurlSlist
{
public:
    bool Append(const QByteArray& line);
    curl_slist* get() const { return m_list.get(); }

private:
    std::unique_ptr<curl_slist, CurlSlistDeleter> m_list;
};
