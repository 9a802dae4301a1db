// What the fuzz targets share: reading the fuzzer's bytes as a stream of choices, and stopping
// on a broken invariant with a line that libFuzzer and the corpus replay both show.
#ifndef FUZZ_CHECK_H
#define FUZZ_CHECK_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

[[noreturn]] __attribute__((format(printf, 1, 2))) inline void broken(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::fputs("broken invariant: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::abort();
}

#define FUZZ_REQUIRE(condition, ...)                                                                         \
    do {                                                                                                     \
        if (!(condition)) broken(__VA_ARGS__);                                                               \
    } while (0)

// Choices read from the front of the input; an exhausted input reads as zeros, so every prefix of
// an input is itself a meaningful input.
class Bytes {
public:
    Bytes(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    uint8_t byte() { return empty() ? 0 : data_[at_++]; }
    uint16_t unit() { return (uint16_t)(byte() | byte() << 8); }
    uint32_t word() { return (uint32_t)unit() | (uint32_t)unit() << 16; }
    // 0 .. n-1 (n > 0), from one byte when n fits in one.
    size_t below(size_t n) { return (n <= 256 ? byte() : word()) % n; }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

#endif
