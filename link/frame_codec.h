// Byte layout of a link frame: CRC, encoder, byte-at-a-time decoder and message copy.
// The codec knows nothing of command meanings; see link_engine.h for that.
#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

constexpr uint8_t FRAME_START = 0x7E;
constexpr uint8_t FRAME_END = 0xCE;
constexpr uint8_t FRAME_ESCAPE = 0x9E;
constexpr uint8_t REPLY_FLAG = 0x80;
// Ids below this carry no status byte.
constexpr uint8_t FIRST_STATUS_ID = 16;

constexpr uint16_t FRAME_BUFFER_SIZE = 512;    // the send path's encode buffer
constexpr uint16_t DECODER_BUFFER_SIZE = 284;  // the receive path's body buffer
constexpr uint16_t DECODER_MIN_CAPACITY = 32;

enum FrameResult : int {
    FRAME_OK = 0,
    FRAME_COMPLETE = 1,
    FRAME_NOT_READY = 2,
    FRAME_BAD_ARGUMENT = 3,
    FRAME_NO_ROOM = 4,
    FRAME_TOO_SHORT = 5,
    FRAME_BAD_CRC = 6,
    FRAME_BAD_STATE = 7,
    FRAME_NOT_INITIALISED = 8,
};

struct LinkMessage {
    uint8_t cmdId = 0;
    uint8_t seq = 0;
    uint8_t status = 0;
    uint8_t *payload = nullptr;  // not owned unless the holder says so
    uint16_t length = 0;
};

enum FrameDecoderState : uint32_t {
    Hunt = 0,
    HuntEscape = 1,
    InFrame = 2,
    InFrameEscape = 3,
    Complete = 4,
};

// How the byte just fed ended a frame, if it did.
enum class FrameEnd : uint8_t { None, Complete, BadCrc, Overflow, TooShort, CutOff };

struct FrameDecoder {
    uint8_t initialised = 0;
    uint8_t *buffer = nullptr;
    uint16_t capacity = 0;
    uint16_t length = 0;
    uint32_t state = Hunt;
    // What the line spoiled; the frames themselves are dropped silently.
    uint32_t badCrcCount = 0;
    uint32_t overflowCount = 0;
    uint32_t tooShortCount = 0;
    uint32_t cutOffCount = 0;  // frames a new start marker broke off
    // The frame being received as it arrives, from its start marker; once a byte ends it,
    // `ended` says how and `endedBytes` holds it until the next byte is fed.
    QByteArray bytes;
    FrameEnd ended = FrameEnd::None;
    QByteArray endedBytes;
};

uint16_t crc16_update(uint16_t crc, uint8_t byte);
uint16_t crc16(const uint8_t *data, uint32_t length);

int frame_encode(const LinkMessage *message, uint8_t *out, uint16_t capacity, uint16_t *outLength);

// An explicit decoder, for peers that run their own receive path (the virtual module, tools).
int frame_decoder_init(FrameDecoder *decoder, uint8_t *buffer, uint16_t capacity);
int frame_decoder_put(FrameDecoder *decoder, uint8_t byte);
int frame_decoder_take(FrameDecoder *decoder, LinkMessage *out);

// A decoded frame with its payload copied out of the decoder's buffer.
struct DecodedFrame {
    uint8_t cmdId = 0;
    uint8_t seq = 0;
    uint8_t status = 0;
    QByteArray payload;
};

// Feeds bytes to a decoder and calls onFrame(const LinkMessage &) with each frame they
// complete, at once: the message's payload points into the decoder's buffer until the next
// byte is fed.
template <typename OnFrame>
void frame_decoder_feed(FrameDecoder *decoder, const QByteArray &bytes, OnFrame &&onFrame) {
    for (const char c : bytes) {
        if (frame_decoder_put(decoder, static_cast<uint8_t>(c)) != FRAME_COMPLETE) {
            continue;
        }
        LinkMessage message;
        if (frame_decoder_take(decoder, &message) == FRAME_OK) {
            onFrame(static_cast<const LinkMessage &>(message));
        }
    }
}
// Every frame the bytes complete, copied.
QList<DecodedFrame> frame_decode_all(FrameDecoder *decoder, const QByteArray &bytes);
DecodedFrame frame_decoded_copy(const LinkMessage &message);

// The tool's one receive-path decoder, fed on the serial worker thread only.
FrameDecoder &frame_decoder_instance();
int frame_decoder_init(uint8_t *buffer, uint16_t capacity);
int frame_decoder_put(uint8_t byte);
int frame_decoder_take(LinkMessage *out);

// The frame of one message as bytes, encoded into at most `capacity` bytes; empty when the
// payload is too long or the frame does not fit.
QByteArray frame_encode_bytes(uint8_t cmdId, uint8_t seq, uint8_t status, const QByteArray &payload,
                              uint16_t capacity = FRAME_BUFFER_SIZE);

int link_message_copy(const LinkMessage *source, LinkMessage *destination, uint16_t capacity);

// Bytes a frame of this id, status and payload takes on the wire whatever its sequence number
// and CRC turn out to be (both escaped).
uint32_t frame_worst_case_size(uint8_t cmdId, uint8_t status, const uint8_t *payload,
                               uint32_t length);
inline uint32_t frame_escaped_size(uint8_t byte) {
    return byte == FRAME_START || byte == FRAME_ESCAPE || byte == FRAME_END ? 2 : 1;
}

// Command id and sequence number of an encoded frame, undoing their escapes; false when the
// frame is too short to hold them.
bool frame_read_header(const uint8_t *frame, uint16_t length, uint8_t *cmdId, uint8_t *seq);
