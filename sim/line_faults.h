// Line noise on demand: spoils every Nth frame the module writes by flipping one bit or losing
// one byte of its body, or writes every Nth frame twice. The spoiled byte and bit come from a
// seeded generator, so a test sees the same damage on every run.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <random>

struct LineFaultCounters {
    quint32 bitsFlipped = 0;
    quint32 bytesDropped = 0;
    quint32 framesRepeated = 0;
};

class LineFaults {
  public:
    // N = 0 turns a fault off. Setting any of them starts its count again.
    void setFlipBitEvery(int frames);
    void setDropByteEvery(int frames);
    void setRepeatFrameEvery(int frames);
    void setSeed(uint32_t seed);

    // The bytes to write for one encoded frame.
    QByteArray apply(const QByteArray &frame);

    const LineFaultCounters &counters() const { return counters_; }

  private:
    struct EveryNth {
        int every = 0;
        int count = 0;
        void set(int frames) {
            every = frames > 0 ? frames : 0;
            count = 0;
        }
        bool due() { return every > 0 && ++count % every == 0; }
    };
    // A position between the markers, so that the damage stays inside this one frame.
    int bodyPosition(const QByteArray &frame);

    EveryNth flip_;
    EveryNth drop_;
    EveryNth repeat_;
    std::mt19937 random_{1};
    LineFaultCounters counters_;
};
