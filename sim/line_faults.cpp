// Deterministic damage to written frames.
#include "line_faults.h"

void LineFaults::setFlipBitEvery(int frames) {
    flip_.set(frames);
}
void LineFaults::setDropByteEvery(int frames) {
    drop_.set(frames);
}
void LineFaults::setRepeatFrameEvery(int frames) {
    repeat_.set(frames);
}
void LineFaults::setSeed(uint32_t seed) {
    random_.seed(seed);
}

int LineFaults::bodyPosition(const QByteArray &frame) {
    return 1 + static_cast<int>(random_() % static_cast<uint32_t>(frame.size() - 2));
}

QByteArray LineFaults::apply(const QByteArray &frame) {
    QByteArray out = frame;
    if (out.size() <= 2) {
        return out;
    }
    if (flip_.due()) {
        const int position = bodyPosition(out);
        out[position] = static_cast<char>(out[position] ^ (1 << (random_() % 8)));
        ++counters_.bitsFlipped;
    }
    if (drop_.due()) {
        out.remove(bodyPosition(out), 1);
        ++counters_.bytesDropped;
    }
    if (repeat_.due()) {
        out += out;
        ++counters_.framesRepeated;
    }
    return out;
}
