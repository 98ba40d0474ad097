// Codec round trips under fuzzing: arbitrary messages are encoded, then fed with noise and cut
// frames between them, in arbitrary chunks, through a decoder of the receive path's size or of
// one the input picks. The unit tests pin the frame layout; this target looks for inputs that
// break the round trip or make the decoder reach outside its buffer.
#include <QByteArray>
#include <QList>
#include <algorithm>
#include <memory>

#include "frame_codec.h"
#include "fuzz_input.h"

namespace {

constexpr int MAX_PAYLOAD = 600;

QByteArray key(uint8_t id, uint8_t seq, uint8_t status, const QByteArray &payload) {
    return QByteArray(1, static_cast<char>(id)) + static_cast<char>(seq) +
           static_cast<char>(status) + payload;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    const uint16_t capacity = in.byte() & 1 ? 32 + in.byte() * 2 : DECODER_BUFFER_SIZE;
    // Exactly the capacity, so that a write past it is a sanitizer report.
    const auto buffer = std::make_unique<uint8_t[]>(capacity);
    FrameDecoder decoder;
    FUZZ_CHECK(frame_decoder_init(&decoder, buffer.get(), capacity) == FRAME_OK);
    uint32_t chunkState = in.byte() | 1u;

    QByteArray stream;
    QList<QByteArray> expected;
    bool clean = true;
    while (!in.done()) {
        const uint8_t kind = in.byte();
        if (kind & 0x80) {
            stream += in.blob(MAX_PAYLOAD);
            clean = false;
            continue;
        }
        const uint8_t id = in.byte();
        const uint8_t seq = in.byte();
        const uint8_t status = id >= FIRST_STATUS_ID ? in.byte() : 0;
        const QByteArray payload = in.blob(MAX_PAYLOAD);
        QByteArray frame = frame_encode_bytes(id, seq, status, payload, 2 * MAX_PAYLOAD + 16);
        const auto *raw = reinterpret_cast<const uint8_t *>(payload.constData());
        FUZZ_CHECK(uint32_t(frame.size()) <=
                   frame_worst_case_size(id, status, raw, payload.size()));
        uint8_t idRead = 0;
        uint8_t seqRead = 0;
        FUZZ_CHECK(frame_read_header(reinterpret_cast<const uint8_t *>(frame.constData()),
                                     frame.size(), &idRead, &seqRead));
        FUZZ_CHECK(idRead == id && seqRead == seq);
        if (kind & 0x40) {
            // Cut off before its end marker: the next start marker abandons it, unless the cut
            // left an escape open, which takes that marker for data.
            frame.truncate(in.u16() % frame.size());
            clean = clean && !frame.endsWith(static_cast<char>(FRAME_ESCAPE));
        } else if ((id >= FIRST_STATUS_ID ? 3 : 2) + payload.size() + 2 <= capacity) {
            expected.append(key(id, seq, status, payload));  // header, payload and CRC fit
        }
        stream += frame;
    }

    QList<QByteArray> decoded;
    for (int position = 0; position < stream.size();) {
        chunkState = chunkState * 1103515245u + 12345u;
        const int chunk = std::min<int>(1 + (chunkState >> 16) % 64, stream.size() - position);
        frame_decoder_feed(&decoder, stream.mid(position, chunk), [&](const LinkMessage &m) {
            FUZZ_CHECK(m.payload >= buffer.get() &&
                       m.payload + m.length <= buffer.get() + capacity);
            decoded.append(key(m.cmdId, m.seq, m.status,
                               QByteArray(reinterpret_cast<const char *>(m.payload), m.length)));
        });
        position += chunk;
    }
    FUZZ_CHECK(!clean || decoded == expected);
    return 0;
}
