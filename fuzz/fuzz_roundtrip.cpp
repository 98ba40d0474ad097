// Codec round trips under fuzzing: arbitrary messages are encoded, checked against a frame built
// independently, and fed with noise between them and in arbitrary chunks through a decoder
// whose every result is compared with a reference written from the frame rules.
#include <QByteArray>
#include <QList>
#include <cstring>
#include <memory>

#include "frame_codec.h"
#include "fuzz_input.h"

namespace {

constexpr int MAX_PAYLOAD = 600;
constexpr int ENCODE_BUFFER = 2 * MAX_PAYLOAD + 16;
constexpr uint8_t GUARD = 0xA5;

// Bit by bit, so that it shares nothing with the codec's table-free step.
uint16_t reference_crc(const QByteArray &body) {
    uint16_t crc = 0xFFFF;
    for (const char c : body) {
        crc ^= static_cast<uint16_t>(static_cast<uint8_t>(c) << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

bool special(uint8_t byte) {
    return byte == FRAME_START || byte == FRAME_ESCAPE || byte == FRAME_END;
}

QByteArray body_of(uint8_t id, uint8_t seq, uint8_t status, const QByteArray &payload) {
    QByteArray body;
    body.append(static_cast<char>(id));
    body.append(static_cast<char>(seq));
    if (id >= FIRST_STATUS_ID) {
        body.append(static_cast<char>(status));
    }
    return body + payload;
}

QByteArray reference_frame(const QByteArray &body) {
    const uint16_t crc = reference_crc(body);
    QByteArray withCrc = body;
    withCrc.append(static_cast<char>(crc >> 8));
    withCrc.append(static_cast<char>(crc & 0xFF));
    QByteArray frame(1, static_cast<char>(FRAME_START));
    for (const char c : withCrc) {
        if (special(static_cast<uint8_t>(c))) {
            frame.append(static_cast<char>(FRAME_ESCAPE));
        }
        frame.append(c);
    }
    frame.append(static_cast<char>(FRAME_END));
    return frame;
}

struct Message {
    uint8_t id;
    uint8_t seq;
    uint8_t status;
    QByteArray payload;

    bool operator==(const Message &o) const {
        return id == o.id && seq == o.seq && status == o.status && payload == o.payload;
    }
};

// The decoder's state table, written out again with its own counters.
struct ReferenceDecoder {
    explicit ReferenceDecoder(int bufferCapacity) : capacity(bufferCapacity) {}

    int capacity;
    FrameDecoderState state = Hunt;
    QByteArray body;
    uint32_t badCrc = 0;
    uint32_t overflow = 0;
    uint32_t tooShort = 0;

    int store(uint8_t byte) {
        if (body.size() >= capacity) {
            state = Hunt;
            ++overflow;
            return FRAME_NO_ROOM;
        }
        body.append(static_cast<char>(byte));
        return FRAME_OK;
    }

    int put(uint8_t byte) {
        switch (state) {
            case Hunt:
                if (byte == FRAME_ESCAPE) {
                    state = HuntEscape;
                } else if (byte == FRAME_START) {
                    body.clear();
                    state = InFrame;
                }
                return FRAME_OK;
            case HuntEscape:
                state = Hunt;
                return FRAME_OK;
            case InFrame:
                if (byte == FRAME_ESCAPE) {
                    state = InFrameEscape;
                    return FRAME_OK;
                }
                if (byte == FRAME_START) {
                    body.clear();
                    return FRAME_OK;
                }
                if (byte == FRAME_END) {
                    return finish();
                }
                return store(byte);
            case InFrameEscape: {
                const int result = store(byte);
                if (result == FRAME_OK) {
                    state = InFrame;
                }
                return result;
            }
            case Complete:
                return FRAME_COMPLETE;
        }
        return FRAME_BAD_STATE;
    }

    int finish() {
        if (body.size() <= 3) {
            state = Hunt;
            ++tooShort;
            return FRAME_TOO_SHORT;
        }
        const int n = body.size();
        const uint16_t received = static_cast<uint16_t>(static_cast<uint8_t>(body[n - 2]) << 8 |
                                                        static_cast<uint8_t>(body[n - 1]));
        body.chop(2);
        if (reference_crc(body) != received) {
            state = Hunt;
            ++badCrc;
            return FRAME_BAD_CRC;
        }
        state = Complete;
        return FRAME_COMPLETE;
    }

    int take(Message *out) {
        if (state != Complete) {
            return FRAME_NOT_READY;
        }
        state = Hunt;
        // An id that needs a status byte but came without one is not handed out.
        const int header = static_cast<uint8_t>(body[0]) >= FIRST_STATUS_ID ? 3 : 2;
        if (body.size() < header) {
            ++tooShort;
            return FRAME_TOO_SHORT;
        }
        out->id = static_cast<uint8_t>(body[0]);
        out->seq = static_cast<uint8_t>(body[1]);
        out->status = header == 3 ? static_cast<uint8_t>(body[2]) : 0;
        out->payload = body.mid(header);
        return FRAME_OK;
    }
};

// The decoder under test: the process-wide one as the receive path sets it up, or an explicit
// one of the capacity the input asks for.
struct DecoderUnderTest {
    bool processWide;
    FrameDecoder own;
    uint8_t buffer[FRAME_BUFFER_SIZE + 32];

    FrameDecoder &decoder() { return processWide ? frame_decoder_instance() : own; }
    int put(uint8_t byte) {
        return processWide ? frame_decoder_put(byte) : frame_decoder_put(&own, byte);
    }
    int take(LinkMessage *out) {
        return processWide ? frame_decoder_take(out) : frame_decoder_take(&own, out);
    }
};

void check_copy(const LinkMessage &m) {
    // Exactly the payload's size, so that the sanitizer sees a byte written past it.
    const auto copy = std::make_unique<uint8_t[]>(m.length);
    LinkMessage destination;
    destination.payload = copy.get();
    FUZZ_CHECK(link_message_copy(&m, &destination, m.length) == FRAME_OK);
    FUZZ_CHECK(destination.cmdId == m.cmdId && destination.seq == m.seq &&
               destination.status == m.status && destination.length == m.length);
    FUZZ_CHECK(std::memcmp(copy.get(), m.payload, m.length) == 0);
    if (m.length > 0) {
        FUZZ_CHECK(link_message_copy(&m, &destination, m.length - 1) == FRAME_BAD_ARGUMENT);
    }
}

// Encodes one message into a buffer of the given capacity and checks the outcome against the
// reference frame; returns the frame, or nothing when it did not fit.
QByteArray encode_checked(const Message &message, uint16_t capacity) {
    uint8_t out[ENCODE_BUFFER + 16];
    std::memset(out, GUARD, sizeof out);
    LinkMessage m;
    m.cmdId = message.id;
    m.seq = message.seq;
    m.status = message.status;
    m.payload = reinterpret_cast<uint8_t *>(const_cast<char *>(message.payload.constData()));
    m.length = static_cast<uint16_t>(message.payload.size());
    constexpr uint16_t untouched = 0xBEEF;
    uint16_t length = untouched;
    const int result = frame_encode(&m, out, capacity, &length);
    for (size_t i = capacity; i < sizeof out; ++i) {
        FUZZ_CHECK(out[i] == GUARD);
    }
    const QByteArray expected =
        reference_frame(body_of(message.id, message.seq, message.status, message.payload));
    if (capacity <= 5 || expected.size() > capacity) {
        FUZZ_CHECK(result == FRAME_NO_ROOM && length == untouched);
        return QByteArray();
    }
    FUZZ_CHECK(result == FRAME_OK && length == expected.size());
    FUZZ_CHECK(std::memcmp(out, expected.constData(), length) == 0);
    FUZZ_CHECK(frame_worst_case_size(m.cmdId, m.status, m.payload, m.length) >= length);
    uint8_t id;
    uint8_t seq;
    FUZZ_CHECK(frame_read_header(out, length, &id, &seq) && id == m.cmdId && seq == m.seq);
    return expected;
}

void check_misuse() {
    FrameDecoder fresh;
    LinkMessage m;
    uint8_t buffer[DECODER_MIN_CAPACITY];
    FUZZ_CHECK(frame_decoder_put(&fresh, FRAME_START) == FRAME_NOT_INITIALISED);
    FUZZ_CHECK(frame_decoder_take(&fresh, &m) == FRAME_NOT_INITIALISED);
    FUZZ_CHECK(frame_decoder_take(&fresh, nullptr) == FRAME_BAD_ARGUMENT);
    FUZZ_CHECK(frame_decoder_init(&fresh, buffer, DECODER_MIN_CAPACITY - 1) == FRAME_BAD_ARGUMENT);
    uint16_t length = 0;
    m.length = 1;
    FUZZ_CHECK(frame_encode(&m, buffer, sizeof buffer, &length) == FRAME_BAD_ARGUMENT);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool once = [] {
        check_misuse();
        return true;
    }();
    (void)once;

    FuzzInput in(data, size);
    const uint8_t mode = in.byte();
    DecoderUnderTest dut;
    dut.processWide = (mode & 1) == 0;
    const uint16_t capacity = dut.processWide ? DECODER_BUFFER_SIZE : 32 + in.byte() * 2;
    FUZZ_CHECK(dut.processWide ? frame_decoder_init(dut.buffer, capacity) == FRAME_OK
                               : frame_decoder_init(&dut.own, dut.buffer, capacity) == FRAME_OK);
    // The serial worker takes a completed frame at once; otherwise it is taken at the end of
    // its chunk and the bytes between are ignored.
    const bool takeAtOnce = (mode & 2) == 0;
    uint32_t chunkState = in.byte() | 1u;

    QByteArray stream;
    QList<Message> expected;
    bool clean = true;
    while (!in.done()) {
        const uint8_t kind = in.byte();
        if (kind & 0x80) {
            stream += in.blob(MAX_PAYLOAD);
            clean = false;
            continue;
        }
        Message message;
        message.id = in.byte();
        message.seq = in.byte();
        message.status = message.id >= FIRST_STATUS_ID ? in.byte() : 0;
        message.payload = in.blob(MAX_PAYLOAD);
        const uint16_t encodeCapacity = kind & 0x40 ? in.u16() % ENCODE_BUFFER : ENCODE_BUFFER;
        const QByteArray frame = encode_checked(message, encodeCapacity);
        if (frame.isEmpty()) {
            continue;
        }
        stream += frame;
        const int bodySize =
            body_of(message.id, message.seq, message.status, message.payload).size() + 2;
        if (bodySize <= capacity) {
            expected.append(message);
        }
    }

    ReferenceDecoder reference(capacity);
    QList<Message> decoded;
    const auto take_both = [&] {
        LinkMessage m;
        Message wanted;
        const int result = dut.take(&m);
        FUZZ_CHECK(result == reference.take(&wanted));
        if (result != FRAME_OK) {
            return;
        }
        FUZZ_CHECK(m.payload >= dut.buffer && m.payload + m.length <= dut.buffer + capacity);
        const Message got{m.cmdId, m.seq, m.status,
                          QByteArray(reinterpret_cast<const char *>(m.payload), m.length)};
        FUZZ_CHECK(got == wanted);
        check_copy(m);
        decoded.append(got);
    };
    for (int position = 0; position < stream.size();) {
        chunkState = chunkState * 1103515245u + 12345u;
        const int chunk = std::min<int>(1 + (chunkState >> 16) % 64, stream.size() - position);
        for (int i = 0; i < chunk; ++i) {
            const auto byte = static_cast<uint8_t>(stream[position + i]);
            const int result = dut.put(byte);
            FUZZ_CHECK(result == reference.put(byte));
            if (result == FRAME_COMPLETE && takeAtOnce) {
                take_both();
            }
        }
        position += chunk;
        take_both();
    }
    const FrameDecoder &d = dut.decoder();
    FUZZ_CHECK(d.badCrcCount == reference.badCrc && d.overflowCount == reference.overflow &&
               d.tooShortCount == reference.tooShort);
    if (clean && takeAtOnce) {
        FUZZ_CHECK(decoded == expected);
    }
    return 0;
}
