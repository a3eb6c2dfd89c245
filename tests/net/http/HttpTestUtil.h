#pragma once

#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <string>

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>
#include <zlib.h>

#include "net/AsyncHttp.h"
#include "net/CookieJar.h"

// gzip coding of a body, as a server would send it.
inline std::string Gzip(const std::string& plain)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, plain.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A chunked body of the given pieces, terminating chunk included.
inline std::string Chunked(std::initializer_list<std::string> pieces)
{
    std::string out;
    char size[32];
    for (const std::string& p : pieces) {
        std::snprintf(size, sizeof size, "%zx\r\n", p.size());
        out += size + p + "\r\n";
    }
    return out + "0\r\n\r\n";
}

inline std::string Std(const QString& s)
{
    return s.toStdString();
}

inline long MsSince(std::chrono::steady_clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count());
}

// Every test starts with an empty cookie jar, no host mapping and requests allowed.
class HttpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CookieJarStop();
        CookieJarStart();
        HttpClearHostMappings();
        HttpResetAbort();
    }
    void TearDown() override
    {
        HttpClearHostMappings();
        HttpResetAbort();
    }
};
