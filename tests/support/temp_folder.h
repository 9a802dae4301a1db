// A fresh folder below the system's temporary folder, removed with everything in it when the
// object goes; for tests and benchmarks alike.
#ifndef TESTS_SUPPORT_TEMP_FOLDER_H
#define TESTS_SUPPORT_TEMP_FOLDER_H

#include <filesystem>
#include <string>

namespace support {

class TempFolder {
public:
    // Named prefix followed by a unique suffix ("registry-1a2b3c"); the prefix may hold blanks.
    explicit TempFolder(const std::string &prefix = "test");
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    // Empty when no folder could be made.
    const std::filesystem::path &path() const { return path_; }
    std::string string() const { return path_.string(); }
    bool made() const { return !path_.empty(); }

private:
    std::filesystem::path path_;
};

} // namespace support

#endif
