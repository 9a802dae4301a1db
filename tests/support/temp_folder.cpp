// Temporary folders: a random suffix, retried until the name is new, so concurrent test processes
// never share one.
#include "support/temp_folder.h"

#include <random>
#include <system_error>

namespace support {

namespace fs = std::filesystem;

TempFolder::TempFolder(const std::string &prefix)
{
    std::error_code error;
    fs::path base = fs::temp_directory_path(error);
    if (error) return;
    std::random_device seed;
    std::mt19937_64 random(((uint64_t)seed() << 32) ^ seed());
    const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + "-";
        for (int i = 0; i < 8; ++i) name += digits[random() % 36];
        fs::path candidate = (base / name).make_preferred();
        if (fs::create_directory(candidate, error) && !error) {
            path_ = candidate;
            return;
        }
    }
}

TempFolder::~TempFolder()
{
    if (path_.empty()) return;
    std::error_code ignored;
#ifdef _WIN32
    // Trees below it may pass MAX_PATH.
    fs::remove_all(fs::path(L"\\\\?\\" + fs::absolute(path_).wstring()), ignored);
#else
    fs::remove_all(path_, ignored);
#endif
}

} // namespace support
