// Shared main of every test program: an offscreen application, a private data folder, libcurl
// initialised once before any thread.
#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <curl/curl.h>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QDir(home.path()).filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", QDir(home.path()).filePath(QStringLiteral("run")).toLocal8Bit());
    QDir().mkpath(QDir(home.path()).filePath(QStringLiteral("run")));
    QFile::setPermissions(QDir(home.path()).filePath(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    curl_global_cleanup();
    return rc;
}
