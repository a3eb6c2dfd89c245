#pragma once

#include <functional>
#include <memory>

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include "tests/testsupport/VkEmu.h"
#include "vk/VKapi.h"

// Every test gets a fresh emulator, cookie jar and client; captchas are answered by the test
// through the prompt seam unless it restores the dialog.
class VkFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    virtual QJsonObject Config() const { return VkEmu::DefaultConfig(); }

    void StartEmulator(const QJsonObject& config);
    bool SignIn(const QString& login = QStringLiteral("user@example.com"),
                const QString& password = QStringLiteral("secret"));
    // "METHOD host path" of every recorded request, in order.
    QStringList Trail() const;
    QList<VkEmuRequest> Requests() const { return emu->Requests(); }

    std::unique_ptr<VkEmu> emu;
    TVKApi api;
    QStringList captchaUrls;                            // every image address asked about
    std::function<bool(QString& answer)> captchaAnswer; // unset: the user gives up
};

// Paths the client uses, as recorded.
inline const QString kLoginAttempt = QStringLiteral("POST " QUILLBOX_VK_SITE_HOST " /login.php");
inline const QString kLoginForm = QStringLiteral("POST " QUILLBOX_VK_LOGIN_HOST " /?act=login");
inline const QString kAuthPage =
    QStringLiteral("GET " QUILLBOX_VK_SITE_HOST " /login.php?app=8&layout=popup&type=browser&settings=8");
inline const QString kAuthResult = QStringLiteral("POST " QUILLBOX_VK_SITE_HOST " /login.php");
inline const QString kSaveSettings =
    QStringLiteral("POST " QUILLBOX_VK_SITE_HOST " /apps.php?act=a_save_settings");
inline const QString kApiCall = QStringLiteral("POST " QUILLBOX_VK_API_HOST " /api.php");
