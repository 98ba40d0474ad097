// A set of table slots that answers "the first one from here on, wrapping round" in a few
// dozen word reads, the question every table search asks of its cursor.
#pragma once

#include <array>
#include <cstdint>

template <int N>
class SlotBits {
  public:
    void set(int i) {
        uint64_t &word = words_[size_t(i) / 64];
        const uint64_t bit = uint64_t(1) << (i % 64);
        count_ += (word & bit) == 0;
        word |= bit;
    }
    void clear(int i) {
        uint64_t &word = words_[size_t(i) / 64];
        const uint64_t bit = uint64_t(1) << (i % 64);
        count_ -= (word & bit) != 0;
        word &= ~bit;
    }
    bool test(int i) const { return (words_[size_t(i) / 64] >> (i % 64) & 1) != 0; }
    int count() const { return count_; }
    void set_all() {
        for (int i = 0; i < N; ++i) {
            set(i);
        }
    }
    void clear_all() {
        words_.fill(0);
        count_ = 0;
    }

    // The first member at or after `start`, else the first from 0; -1 when there is none.
    int next_from(int start) const {
        if (count_ == 0) {
            return -1;
        }
        const int found = first_in(start, N);
        return found >= 0 ? found : first_in(0, start);
    }

  private:
    static constexpr int kWords = (N + 63) / 64;

    // The first member in [from, to).
    int first_in(int from, int to) const {
        for (int w = from / 64; w * 64 < to; ++w) {
            uint64_t word = words_[size_t(w)];
            if (w == from / 64) {
                word &= ~uint64_t(0) << (from % 64);
            }
            if (word != 0) {
                const int found = w * 64 + __builtin_ctzll(word);
                return found < to ? found : -1;
            }
        }
        return -1;
    }

    std::array<uint64_t, kWords> words_{};
    int count_ = 0;
};
