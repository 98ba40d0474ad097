// A fuzz input read as a little program. Every read succeeds: past the end it yields zeros or
// fewer bytes, so that any input, however short or cut, is a valid program.
#pragma once

#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Names the broken invariant before aborting, so that a crash report says which one it was.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

class FuzzInput {
  public:
    FuzzInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    bool done() const { return position_ >= size_; }

    uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }

    uint16_t u16() {
        const uint16_t high = byte();
        return static_cast<uint16_t>(high << 8 | byte());
    }

    QByteArray bytes(size_t count) {
        count = std::min(count, size_ - position_);
        QByteArray out(reinterpret_cast<const char *>(data_ + position_), static_cast<int>(count));
        position_ += count;
        return out;
    }

    // Either up to 239 bytes taken literally or, for a head byte of 0xF0 and above, a run of up
    // to maxRun bytes of a two-byte pattern from the input. Runs reach long and escape-rich
    // payloads from a few input bytes, which the mutator would hardly build byte by byte.
    QByteArray blob(int maxRun) {
        const uint8_t head = byte();
        if (head < 0xF0) {
            return bytes(head);
        }
        const int count = u16() % (maxRun + 1);
        const char pattern[] = {static_cast<char>(byte()), static_cast<char>(byte())};
        QByteArray out(count, '\0');
        for (int i = 0; i < count; ++i) {
            out[i] = pattern[i % 2];
        }
        return out;
    }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t position_ = 0;
};
