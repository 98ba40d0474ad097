// Frame codec: escaping, CRC-16/IBM-3740 and the five-state receive decoder.
#include "frame_codec.h"

#include <cstring>
#include <utility>

namespace {

bool needs_escape(uint8_t byte) {
    return frame_escaped_size(byte) == 2;
}

struct FrameWriter {
    uint8_t *out;
    uint16_t capacity;
    uint16_t position;
    uint16_t crc;

    bool put_raw(uint8_t byte) {
        if (position >= capacity) {
            return false;
        }
        out[position++] = byte;
        return true;
    }
    bool put_escaped(uint8_t byte) {
        if (needs_escape(byte)) {
            if (!put_raw(FRAME_ESCAPE) || position >= capacity) {
                return false;
            }
        }
        return put_raw(byte);
    }
    bool put_body(uint8_t byte) {
        crc = crc16_update(crc, byte);
        return put_escaped(byte);
    }
};

FrameDecoder receivePathDecoder;

}  // namespace

uint16_t crc16_update(uint16_t crc, uint8_t byte) {
    uint8_t x = static_cast<uint8_t>((crc >> 8) ^ byte);
    x ^= static_cast<uint8_t>(x >> 4);
    return static_cast<uint16_t>((crc << 8) ^ (static_cast<uint16_t>(x) << 12) ^
                                 (static_cast<uint16_t>(x) << 5) ^ x);
}

uint16_t crc16(const uint8_t *data, uint32_t length) {
    uint16_t crc = 0xFFFF;
    for (uint32_t i = 0; i < length; ++i) {
        crc = crc16_update(crc, data[i]);
    }
    return crc;
}

int frame_encode(const LinkMessage *message, uint8_t *out, uint16_t capacity, uint16_t *outLength) {
    if (message == nullptr || out == nullptr || outLength == nullptr) {
        return FRAME_BAD_ARGUMENT;
    }
    if (capacity <= 5) {
        return FRAME_NO_ROOM;
    }
    if (message->length > 0 && message->payload == nullptr) {
        return FRAME_BAD_ARGUMENT;
    }
    out[0] = FRAME_START;
    FrameWriter writer{out, capacity, 1, 0xFFFF};
    bool ok = writer.put_body(message->cmdId) && writer.put_body(message->seq);
    if (ok && message->cmdId >= FIRST_STATUS_ID) {
        ok = writer.put_body(message->status);
    }
    for (uint16_t i = 0; ok && i < message->length; ++i) {
        ok = writer.put_body(message->payload[i]);
    }
    const uint16_t crc = writer.crc;
    ok = ok && writer.put_escaped(static_cast<uint8_t>(crc >> 8)) &&
         writer.put_escaped(static_cast<uint8_t>(crc & 0xFF));
    if (!ok || writer.position >= capacity) {
        return FRAME_NO_ROOM;
    }
    out[writer.position++] = FRAME_END;
    *outLength = writer.position;
    return FRAME_OK;
}

int frame_decoder_init(FrameDecoder *decoder, uint8_t *buffer, uint16_t capacity) {
    if (decoder == nullptr || buffer == nullptr || capacity < DECODER_MIN_CAPACITY) {
        return FRAME_BAD_ARGUMENT;
    }
    *decoder = FrameDecoder{};
    decoder->buffer = buffer;
    decoder->capacity = capacity;
    decoder->initialised = 1;
    return FRAME_OK;
}

// The frame's bytes so far are the ended frame's; counts what it was dropped for.
static void end_frame(FrameDecoder *d, FrameEnd how) {
    d->ended = how;
    std::swap(d->endedBytes, d->bytes);
    d->bytes.resize(0);
    switch (how) {
        case FrameEnd::BadCrc:
            ++d->badCrcCount;
            break;
        case FrameEnd::Overflow:
            ++d->overflowCount;
            break;
        case FrameEnd::TooShort:
            ++d->tooShortCount;
            break;
        case FrameEnd::CutOff:
            ++d->cutOffCount;
            break;
        case FrameEnd::None:
        case FrameEnd::Complete:
            break;
    }
}

static void start_frame(FrameDecoder *d) {
    d->length = 0;
    d->state = InFrame;
    d->bytes.resize(0);
    d->bytes.append(static_cast<char>(FRAME_START));
}

static int store_body_byte(FrameDecoder *d, uint8_t byte) {
    if (d->length >= d->capacity) {
        // The rest of an overlong frame is ignored until the next start marker.
        d->state = Hunt;
        end_frame(d, FrameEnd::Overflow);
        return FRAME_NO_ROOM;
    }
    d->buffer[d->length++] = byte;
    return FRAME_OK;
}

static int finish_frame(FrameDecoder *d) {
    if (d->length <= 3) {
        d->state = Hunt;
        end_frame(d, FrameEnd::TooShort);
        return FRAME_TOO_SHORT;
    }
    const uint16_t received =
        static_cast<uint16_t>(d->buffer[d->length - 2] << 8 | d->buffer[d->length - 1]);
    d->length = static_cast<uint16_t>(d->length - 2);
    if (crc16(d->buffer, d->length) != received) {
        d->state = Hunt;
        end_frame(d, FrameEnd::BadCrc);
        return FRAME_BAD_CRC;
    }
    d->state = Complete;
    end_frame(d, FrameEnd::Complete);
    return FRAME_COMPLETE;
}

int frame_decoder_put(FrameDecoder *d, uint8_t byte) {
    if (d == nullptr || !d->initialised) {
        return FRAME_NOT_INITIALISED;
    }
    d->ended = FrameEnd::None;
    if (d->state == InFrame || d->state == InFrameEscape) {
        d->bytes.append(static_cast<char>(byte));
    }
    switch (d->state) {
        case Hunt:
            if (byte == FRAME_ESCAPE) {
                d->state = HuntEscape;
            } else if (byte == FRAME_START) {
                start_frame(d);
            }
            return FRAME_OK;
        case HuntEscape:
            // An escaped byte outside a frame is noise, even an escaped start marker.
            d->state = Hunt;
            return FRAME_OK;
        case InFrame:
            if (byte == FRAME_ESCAPE) {
                d->state = InFrameEscape;
                return FRAME_OK;
            }
            if (byte == FRAME_START) {
                // A new frame starts; the one it cut off is abandoned.
                if (d->length > 0) {
                    d->bytes.chop(1);
                    end_frame(d, FrameEnd::CutOff);
                }
                start_frame(d);
                return FRAME_OK;
            }
            if (byte == FRAME_END) {
                return finish_frame(d);
            }
            return store_body_byte(d, byte);
        case InFrameEscape: {
            const int result = store_body_byte(d, byte);
            if (result == FRAME_OK) {
                d->state = InFrame;
            }
            return result;
        }
        case Complete:
            return FRAME_COMPLETE;
        default:
            return FRAME_BAD_STATE;
    }
}

int frame_decoder_take(FrameDecoder *d, LinkMessage *out) {
    if (out == nullptr) {
        return FRAME_BAD_ARGUMENT;
    }
    if (d == nullptr || !d->initialised) {
        return FRAME_NOT_INITIALISED;
    }
    if (d->state != Complete) {
        return FRAME_NOT_READY;
    }
    d->state = Hunt;
    const uint16_t header = d->length >= 1 && d->buffer[0] >= FIRST_STATUS_ID ? 3 : 2;
    // An id that needs a status byte but came without one is not handed out.
    if (d->length < header) {
        d->ended = FrameEnd::TooShort;  // its bytes stay those of the frame that completed
        ++d->tooShortCount;
        return FRAME_TOO_SHORT;
    }
    out->cmdId = d->buffer[0];
    out->seq = d->buffer[1];
    out->status = header == 3 ? d->buffer[2] : 0;
    out->payload = d->buffer + header;
    out->length = static_cast<uint16_t>(d->length - header);
    return FRAME_OK;
}

FrameDecoder &frame_decoder_instance() {
    return receivePathDecoder;
}

int frame_decoder_init(uint8_t *buffer, uint16_t capacity) {
    return frame_decoder_init(&receivePathDecoder, buffer, capacity);
}

int frame_decoder_put(uint8_t byte) {
    return frame_decoder_put(&receivePathDecoder, byte);
}

int frame_decoder_take(LinkMessage *out) {
    return frame_decoder_take(&receivePathDecoder, out);
}

DecodedFrame frame_decoded_copy(const LinkMessage &m) {
    return {m.cmdId, m.seq, m.status,
            QByteArray(reinterpret_cast<const char *>(m.payload), m.length)};
}

QList<DecodedFrame> frame_decode_all(FrameDecoder *decoder, const QByteArray &bytes) {
    QList<DecodedFrame> frames;
    frame_decoder_feed(decoder, bytes,
                       [&frames](const LinkMessage &m) { frames.append(frame_decoded_copy(m)); });
    return frames;
}

int link_message_copy(const LinkMessage *source, LinkMessage *destination, uint16_t capacity) {
    if (source == nullptr || destination == nullptr || source->length > capacity) {
        return FRAME_BAD_ARGUMENT;
    }
    if (source->length > 0 && (source->payload == nullptr || destination->payload == nullptr)) {
        return FRAME_BAD_ARGUMENT;
    }
    destination->cmdId = source->cmdId;
    destination->seq = source->seq;
    destination->status = source->status;
    destination->length = source->length;
    if (source->length > 0) {
        std::memcpy(destination->payload, source->payload, source->length);
    }
    return FRAME_OK;
}

bool frame_read_header(const uint8_t *frame, uint16_t length, uint8_t *cmdId, uint8_t *seq) {
    uint8_t fields[2];
    int found = 0;
    for (uint16_t i = 1; i < length && found < 2; ++i) {
        if (frame[i] == FRAME_ESCAPE && i + 1 < length) {
            ++i;
        }
        fields[found++] = frame[i];
    }
    if (found < 2) {
        return false;
    }
    *cmdId = fields[0];
    *seq = fields[1];
    return true;
}

uint32_t frame_worst_case_size(uint8_t cmdId, uint8_t status, const uint8_t *payload,
                               uint32_t length) {
    // Markers, an escaped sequence number and two escaped CRC bytes.
    uint32_t size = 2 + 2 + 4 + frame_escaped_size(cmdId);
    if (cmdId >= FIRST_STATUS_ID) {
        size += frame_escaped_size(status);
    }
    for (uint32_t i = 0; i < length; ++i) {
        size += frame_escaped_size(payload[i]);
    }
    return size;
}

QByteArray frame_encode_bytes(uint8_t cmdId, uint8_t seq, uint8_t status, const QByteArray &payload,
                              uint16_t capacity) {
    if (payload.size() > 0xFFFF) {
        return QByteArray();
    }
    LinkMessage message;
    message.cmdId = cmdId;
    message.seq = seq;
    message.status = status;
    message.payload = reinterpret_cast<uint8_t *>(const_cast<char *>(payload.constData()));
    message.length = static_cast<uint16_t>(payload.size());
    QByteArray out(capacity, Qt::Uninitialized);
    uint16_t length = 0;
    if (frame_encode(&message, reinterpret_cast<uint8_t *>(out.data()), capacity, &length) !=
        FRAME_OK) {
        return QByteArray();
    }
    out.truncate(length);
    return out;
}
