// A fresh registry store per test, in a temporary folder removed afterwards, for the registry
// stand-in as an ordinary user's (or, on request, an administrator's).
#ifndef TESTS_REGISTRY_STORE_FIXTURE_H
#define TESTS_REGISTRY_STORE_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include <standin/registry.h>

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = ::testing::TempDir() + "registry-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        UseStore(FALSE);
    }

    void TearDown() override
    {
        StandinRegUseStore(nullptr, FALSE);
        std::filesystem::remove_all(folder_);
    }

    // Reopens the same store file, as an administrator's or an ordinary user's.
    void UseStore(BOOL administrator) { StandinRegUseStore(StorePath().c_str(), administrator); }

    std::string StorePath() const { return folder_ + "/store.db"; }
    const std::string &Folder() const { return folder_; }

private:
    std::string folder_;
};

#endif
