// Shared set-up for the path tests: a temporary host folder mapped to C:, the stand-in reset around
// each test, and sentinel-filled buffers.
#ifndef TESTS_PATHS_FIXTURE_H
#define TESTS_PATHS_FIXTURE_H

#include <standin/paths.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

constexpr WCHAR kSentinel = 0xAAAA;
constexpr DWORD kUnsetError = 0xDEAD;

inline std::u16string text(const WCHAR *s) { return s ? std::u16string(s) : std::u16string(); }

inline bool untouched(const std::vector<WCHAR> &buffer, size_t from)
{
    for (size_t i = from; i < buffer.size(); ++i)
        if (buffer[i] != kSentinel) return false;
    return true;
}

// A table row's outcome in a 300-unit sentinel buffer handed over with capacity 260: the expected
// name, terminated, with nothing written past it and the last error untouched; or, for a failing
// row (no expected name), the row's error and a buffer left as it was.
inline void expectRowOutcome(const std::vector<WCHAR> &buffer, DWORD ret, const WCHAR *expected,
                             DWORD expectedRet, DWORD expectedError)
{
    EXPECT_EQ(expectedRet, ret);
    if (expected) {
        ASSERT_EQ(text(expected).size(), expectedRet) << "table row: ret is not the expected length";
        EXPECT_EQ(text(expected), std::u16string(buffer.data(), ret < 260 ? ret : 0));
        EXPECT_EQ(0, buffer[ret < 260 ? ret : 0]);
        EXPECT_TRUE(untouched(buffer, ret + 1));
        EXPECT_EQ(kUnsetError, GetLastError());
    } else {
        EXPECT_EQ(expectedError, GetLastError());
        EXPECT_TRUE(untouched(buffer, 0));
    }
}

// Creates "folder/" or "file" below the root.
inline void createEntry(const std::string &root, const std::string &entry)
{
    std::string path = root + "/" + entry;
    if (!entry.empty() && entry.back() == '/') {
        ASSERT_EQ(0, mkdir(path.c_str(), 0755)) << path;
    } else {
        int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << path;
        close(fd);
    }
}

class TempRootTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.made());
        root = folder_.string();
        StandinResetPaths();
        ASSERT_TRUE(StandinMapDrive(u'C', root.c_str()));
    }

    void TearDown() override { StandinResetPaths(); }

private:
    support::TempFolder folder_{"paths-test"};

protected:
    std::string root;
};

#endif
