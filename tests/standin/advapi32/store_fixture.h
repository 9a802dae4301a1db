// A fresh registry store per test, in a temporary folder removed afterwards, for the registry
// stand-in as an ordinary user's (or, on request, an administrator's).
#ifndef TESTS_REGISTRY_STORE_FIXTURE_H
#define TESTS_REGISTRY_STORE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include <standin/registry.h>

#include "support/temp_folder.h"

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.made());
        UseStore(FALSE);
    }

    void TearDown() override { StandinRegUseStore(nullptr, FALSE); }

    // Reopens the same store file, as an administrator's or an ordinary user's.
    void UseStore(BOOL administrator) { StandinRegUseStore(StorePath().c_str(), administrator); }

    // Creates (or opens) HKEY_CURRENT_USER\path and closes it again: the create's status.
    static LONG MakeKey(const char *path)
    {
        HKEY key;
        LONG status =
            RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) RegCloseKey(key);
        return status;
    }

    std::string StorePath() const { return folder_.string() + "/store.db"; }
    std::string Folder() const { return folder_.string(); }

private:
    support::TempFolder folder_{"registry"};
};

#endif
