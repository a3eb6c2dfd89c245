// A whole sign-in plus one status read against vkemu on loopback, against a bare libcurl loop that
// makes the same five requests; and the signature of a 255-character status.
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include "net/CookieJar.h"
#include "settings/uOptions.h"
#include "tests/testsupport/VkEmu.h"
#include "vk/VKapi.h"

using namespace Qt::StringLiterals;

namespace {

VkEmu* s_emu = nullptr;

double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct CurlReply
{
    std::string body;
    std::string location;
    std::string remixsid;
};

size_t collectBody(char* data, size_t size, size_t count, void* user)
{
    static_cast<CurlReply*>(user)->body.append(data, size * count);
    return size * count;
}

size_t collectHeader(char* data, size_t size, size_t count, void* user)
{
    auto* reply = static_cast<CurlReply*>(user);
    const std::string line(data, size * count);
    if (line.rfind("Location: ", 0) == 0)
        reply->location = line.substr(10, line.find_first_of("\r\n") - 10);
    const size_t at = line.find("remixsid=");
    if (line.rfind("Set-Cookie:", 0) == 0 && at != std::string::npos)
        reply->remixsid = line.substr(at + 9, line.find(';', at) - at - 9);
    return size * count;
}

// One request on a new handle, as a plain libcurl program would make it.
CurlReply curlRequest(const std::string& url, const std::string& host, const std::string* post,
                      const std::string& cookie)
{
    CurlReply reply;
    CURL* easy = curl_easy_init();
    const std::string connectTo = host + ":80:127.0.0.1:" + std::to_string(s_emu->Port());
    curl_slist* mapping = curl_slist_append(nullptr, connectTo.c_str());
    curl_slist* headers =
        cookie.empty() ? nullptr : curl_slist_append(nullptr, ("Cookie: " + cookie).c_str());
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, mapping);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip");
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &reply);
    if (post) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, post->c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, long(post->size()));
    }
    curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    curl_slist_free_all(mapping);
    return reply;
}

bool bareSignInAndRead()
{
    const std::string site = QUILLBOX_VK_SITE_HOST, login = QUILLBOX_VK_LOGIN_HOST,
                      apiHost = QUILLBOX_VK_API_HOST;
    const std::string attempt = "op=a_login_attempt";
    if (curlRequest("http://" + site + "/login.php", site, &attempt, {}).body != "vklogin")
        return false;
    const std::string form = "email=user@example.com&pass=secret&expire=&vk=";
    const std::string remixsid = curlRequest("http://" + login + "/?act=login", login, &form, {}).remixsid;
    const std::string cookie = "remixsid=" + remixsid + ";";
    const CurlReply page = curlRequest(
        "http://" + site + "/login.php?app=8&layout=popup&type=browser&settings=8", site, nullptr, cookie);
    const std::string landing = page.location.substr(0, page.location.find('#'));
    curlRequest(landing, site, nullptr, cookie);

    const QByteArray fragment = QByteArray::fromStdString(page.location.substr(page.location.find('#') + 1));
    const QByteArray decoded = QByteArray::fromPercentEncoding(fragment);
    const qsizetype open = decoded.indexOf('{');
    const QJsonObject session =
        QJsonDocument::fromJson(decoded.mid(open, decoded.indexOf('}', open) - open + 1)).object();
    const QByteArray input = QByteArray::number(session.value(u"mid"_s).toInteger()) +
                             "api_id=8format=jsonmethod=activity.getv=3.0" +
                             session.value(u"secret"_s).toString().toLatin1();
    const std::string body = "api_id=8&method=activity.get&format=json&v=3.0&sid=" +
                             session.value(u"sid"_s).toString().toStdString() + "&sig=" +
                             QCryptographicHash::hash(input, QCryptographicHash::Md5).toHex().toStdString();
    return curlRequest("http://" + apiHost + "/api.php", apiHost, &body, cookie).body.find("response") !=
           std::string::npos;
}

bool signInAndRead()
{
    TVKApi api;
    api.Login = u"user@example.com"_s;
    api.Password = u"secret"_s;
    return api.Authorize() && !api.Secret.isEmpty() && api.GetActivity() == u"Привет, мир";
}

template <typename F> double timed(F&& f, bool& ok)
{
    const auto start = std::chrono::steady_clock::now();
    ok = f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Both ways in turns, so that the load of a shared machine falls on both alike. The manual time
// is that of TVKApi; the counters give both medians and their ratio.
void BM_SignInVsBareCurl(benchmark::State& state)
{
    std::vector<double> ours, bare;
    bool first = true;
    for (auto _ : state) {
        bool okOurs = false, okBare = false;
        double tOurs, tBare;
        if (first) {
            tOurs = timed(signInAndRead, okOurs);
            tBare = timed(bareSignInAndRead, okBare);
        } else {
            tBare = timed(bareSignInAndRead, okBare);
            tOurs = timed(signInAndRead, okOurs);
        }
        first = !first;
        state.SetIterationTime(tOurs);
        ours.push_back(tOurs * 1e6);
        bare.push_back(tBare * 1e6);
        if (!okOurs || !okBare) {
            state.SkipWithError(okOurs ? "bare sign-in failed" : "sign-in failed");
            break;
        }
    }
    const double mOurs = medianOf(ours), mBare = medianOf(bare);
    state.counters["quillbox_median_us"] = mOurs;
    state.counters["bare_curl_median_us"] = mBare;
    state.counters["ratio"] = mBare > 0 ? mOurs / mBare : 0;
}
BENCHMARK(BM_SignInVsBareCurl)->Iterations(200)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_Signature255(benchmark::State& state)
{
    TVKApi api;
    api.Mid = 123456789;
    api.Secret = u"a5e5f41d96"_s;
    QString status;
    while (status.size() < 255)
        status += u"Статус с кириллицей & знаками! "_s;
    status.truncate(255);
    const QString params = TVKApi::BuildParams(u"method=activity.set&text="_s + status);
    for (auto _ : state)
        benchmark::DoNotOptimize(api.Signature(params));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Signature255);

} // namespace

int main(int argc, char** argv)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    QCoreApplication app(argc, argv);
    CookieJarStart();
    OptionsStart();
    int rc = 0;
    {
        VkEmu emu;
        if (!emu.Started()) {
            fprintf(stderr, "vkemu did not start: %s\n", qPrintable(emu.Error()));
            rc = 1;
        } else {
            s_emu = &emu;
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
            s_emu = nullptr;
        }
    }
    OptionsStop();
    CookieJarStop();
    curl_global_cleanup();
    return rc;
}
