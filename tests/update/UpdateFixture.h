#pragma once

#include <optional>

#include <gtest/gtest.h>

#include "net/CookieJar.h"
#include "settings/uOptions.h"
#include "tests/testsupport/TempDataFolder.h"
#include "update/GA.h"
#include "update/formUpdate.h"

// A fresh data folder, Options and CookieJar per test; every seam back on production afterwards.
class UpdateFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_data.emplace();
        OptionsStart();
        CookieJarStart();
    }
    void TearDown() override
    {
        SetUrlOpener({});
        SetGAClock({});
        SetGARandom({});
        TCheckNewVersion::SetHandOverHook({});
        CookieJarStop();
        OptionsStop();
        m_data.reset();
    }

private:
    std::optional<TempDataFolder> m_data;
};
