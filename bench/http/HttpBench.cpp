// Transport figures: how live the event loop stays during a request, the cost of one request
// against bare libcurl, and receiving a large gzip body.
#include <algorithm>
#include <chrono>
#include <random>
#include <string>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <zlib.h>

#include "net/AsyncHttp.h"
#include "net/CookieJar.h"
#include "tests/testsupport/LocalHttpServer.h"

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

namespace {

std::string Gzip(const std::string& plain)
{
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
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

// Text like a page: words from a small vocabulary in random order.
std::string PageText(size_t size)
{
    static const char* words[] = {"статус",   "status", "vk",     "привет",        "the",
                                  "quillbox", "<div>",  "</div>", "href=\"/id1\"", "Отправить",
                                  "1234",     "&amp;",  "api",    "json"};
    std::mt19937 rng(42);
    std::string out;
    out.reserve(size + 32);
    while (out.size() < size) {
        out += words[rng() % std::size(words)];
        out += rng() % 9 == 0 ? '\n' : ' ';
    }
    out.resize(size);
    return out;
}

size_t Collect(char* data, size_t size, size_t count, void* out)
{
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// The largest gap between ticks of a 10 ms timer while the same thread waits for a reply that
// takes 2 s; the idle case is the same wait with no request, the floor of the timer itself.
void Liveness(benchmark::State& state, bool withRequest)
{
    RawHttpServer server([](const RecordedRequest&, RawConnection& c) {
        if (c.Stall(std::chrono::seconds(2)))
            c.Reply(200, {}, "late");
    });
    double worst = 0;
    for (auto _ : state) {
        Clock::time_point last = Clock::now();
        double maxGap = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, &timer, [&] {
            const Clock::time_point now = Clock::now();
            maxGap = std::max(maxGap, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
        });
        timer.start(10);
        last = Clock::now();
        if (withRequest) {
            if (!CreateHttp(server.Url(u"/"_s))->Get())
                state.SkipWithError("request failed");
        } else {
            QEventLoop loop;
            QTimer::singleShot(2000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
            loop.exec();
        }
        worst = std::max(worst, maxGap);
    }
    state.counters["max_gap_ms"] = worst;
}

void BM_LivenessDuringStalledRequest(benchmark::State& state)
{
    Liveness(state, true);
}
void BM_LivenessIdle(benchmark::State& state)
{
    Liveness(state, false);
}

struct SmallServer
{
    LocalHttpServer server;
    SmallServer()
    {
        // not a compressible type, so cpp-httplib sends it as it is to both clients
        server.Server().Get("/1k", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(1024, 'k'), "application/octet-stream");
        });
        server.Start();
    }
};

constexpr int Requests = 1000;

void BM_HttpFetch1KiB(benchmark::State& state)
{
    SmallServer s;
    const QString url = s.server.Url(u"/1k"_s);
    for (auto _ : state) {
        for (int i = 0; i < Requests; ++i) {
            if (HttpFetch(url, QString()).size() != 1024)
                state.SkipWithError("bad reply");
        }
    }
    state.SetItemsProcessed(state.iterations() * Requests);
}

void BM_BareCurlEasyPerform1KiB(benchmark::State& state)
{
    SmallServer s;
    const std::string url = s.server.Url(u"/1k"_s).toStdString();
    for (auto _ : state) {
        for (int i = 0; i < Requests; ++i) {
            CURL* easy = curl_easy_init();
            std::string body;
            curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Collect);
            curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
            if (curl_easy_perform(easy) != CURLE_OK || body.size() != 1024)
                state.SkipWithError("bad reply");
            curl_easy_cleanup(easy);
        }
    }
    state.SetItemsProcessed(state.iterations() * Requests);
}

const std::string& LargePlain()
{
    static const std::string plain = PageText(20 * 1024 * 1024);
    return plain;
}

const std::string& LargeGzip()
{
    static const std::string coded = Gzip(LargePlain());
    return coded;
}

void LargeBody(benchmark::State& state, bool gzip)
{
    const std::string& body = gzip ? LargeGzip() : LargePlain();
    RawHttpServer server([&](const RecordedRequest&, RawConnection& c) {
        c.Reply(200, {gzip ? "Content-Encoding: gzip" : "Content-Type: text/plain"}, body);
    });
    for (auto _ : state) {
        const auto http = CreateHttp(server.Url(u"/"_s));
        if (!http->Get() || http->ResponseBytes().size() != static_cast<qsizetype>(LargePlain().size()))
            state.SkipWithError("bad reply");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(LargePlain().size()));
    state.counters["wire_MiB"] = static_cast<double>(body.size()) / (1 << 20);
}

void BM_Receive20MiBGzip(benchmark::State& state)
{
    LargeBody(state, true);
}
void BM_Receive20MiBPlain(benchmark::State& state)
{
    LargeBody(state, false);
}

// The floor for the plain transfer: libcurl alone into a preallocated string.
void BM_BareCurl20MiBPlain(benchmark::State& state)
{
    RawHttpServer server([&](const RecordedRequest&, RawConnection& c) { c.Reply(200, {}, LargePlain()); });
    const std::string url = server.Url(u"/"_s).toStdString();
    for (auto _ : state) {
        CURL* easy = curl_easy_init();
        std::string body;
        body.reserve(LargePlain().size());
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
        if (curl_easy_perform(easy) != CURLE_OK || body.size() != LargePlain().size())
            state.SkipWithError("bad reply");
        curl_easy_cleanup(easy);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(LargePlain().size()));
}

void BM_InflateInMemory20MiB(benchmark::State& state)
{
    const std::string& coded = LargeGzip();
    std::string out(LargePlain().size(), '\0');
    for (auto _ : state) {
        z_stream z{};
        inflateInit2(&z, 16 + MAX_WBITS);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(coded.data()));
        z.avail_in = static_cast<uInt>(coded.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END)
            state.SkipWithError("inflate failed");
        inflateEnd(&z);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(out.size()));
}

BENCHMARK(BM_LivenessIdle)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LivenessDuringStalledRequest)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HttpFetch1KiB)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareCurlEasyPerform1KiB)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Receive20MiBGzip)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Receive20MiBPlain)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareCurl20MiBPlain)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateInMemory20MiB)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // requests on this thread go through the event-loop driver
    HttpGlobalInit();
    CookieJarStart();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CookieJarStop();
    HttpGlobalCleanup();
    return 0;
}
