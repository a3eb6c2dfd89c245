// vkemu: a local stand-in for VK, the update server and the analytics collector (see README.md).
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <httplib.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "EmuServer.h"
#include "Emulator.h"

namespace {

const char kUsage[] = "usage: vkemu [--listen ADDRESS] [--port N] [--config FILE] [--log FILE] [--demo]\n"
                      "             [--die-with-parent]\n";

QString demoConfigPath()
{
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        const QString beside =
            QFileInfo(QString::fromLocal8Bit(self, int(n))).absolutePath() + QStringLiteral("/demo.json");
        if (QFile::exists(beside))
            return beside;
    }
    return QStringLiteral(VKEMU_DEMO_CONFIG);
}

bool loadConfig(const QString& path, QJsonObject& config)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "vkemu: cannot read %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (!doc.isObject()) {
        std::fprintf(stderr, "vkemu: %s is not a JSON object: %s (offset %d)\n", qPrintable(path),
                     qPrintable(error.errorString()), int(error.offset));
        return false;
    }
    config = doc.object();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string address = "127.0.0.1";
    int port = 0;
    QString configPath, logPath;
    bool demo = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--listen" && hasValue) {
            address = argv[++i];
        } else if (arg == "--port" && hasValue) {
            port = std::atoi(argv[++i]);
        } else if (arg == "--config" && hasValue) {
            configPath = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--log" && hasValue) {
            logPath = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--demo") {
            demo = true;
        } else if (arg == "--die-with-parent") {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        } else {
            std::fputs(kUsage, arg == "--help" ? stdout : stderr);
            return arg == "--help" ? 0 : 2;
        }
    }
    if (demo && configPath.isEmpty())
        configPath = demoConfigPath();
    QJsonObject config;
    if (!configPath.isEmpty() && !loadConfig(configPath, config))
        return 1;

    // Signals are taken by sigwait below; blocked before any thread exists, so none gets them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    emu::Emulator emulator(config, logPath);
    if (!logPath.isEmpty() && !emulator.LogOpen()) {
        std::fprintf(stderr, "vkemu: cannot write the log %s\n", qPrintable(logPath));
        return 1;
    }
    std::atomic<bool> stopping{false};
    emu::RecordingServer server(stopping);
    server.new_task_queue = [] { return new httplib::ThreadPool(32); };
    const auto handler = [&emulator](const httplib::Request& req, httplib::Response& res) {
        emulator.Handle(req, res);
    };
    server.Get(".*", handler);
    server.Post(".*", handler);
    server.Put(".*", handler);
    server.Delete(".*", handler);
    server.Options(".*", handler);
    server.Patch(".*", handler);

    const int bound =
        port == 0 ? server.bind_to_any_port(address) : (server.bind_to_port(address, port) ? port : -1);
    if (bound <= 0) {
        std::fprintf(stderr, "vkemu: cannot listen on %s:%d: %s\n", address.c_str(), port,
                     std::strerror(errno));
        return 1;
    }
    std::printf("PORT %d\n", bound);
    if (demo) {
        for (const emu::Account& a : emulator.Accounts())
            std::printf("DEMO login %s password %s\n", qPrintable(a.login), qPrintable(a.password));
    }
    std::fflush(stdout);

    std::atomic<bool> finished{false};
    std::thread listener([&] {
        server.listen_after_bind();
        finished = true;
    });
    int sig = 0;
    sigwait(&stopSignals, &sig);
    stopping = true;
    emulator.Stop();
    // stop() does nothing until the listener has started running; repeat until it has ended.
    while (!finished) {
        server.stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    listener.join();
    return 0;
}
