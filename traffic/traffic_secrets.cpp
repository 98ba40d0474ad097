// Masking works on the counted texts the request functions write: a count byte, then the text.
#include "traffic_secrets.h"

#include <QVector>
#include <algorithm>

#include "command_ids.h"
#include "frame_codec.h"

namespace {

constexpr char kMask = '*';

void mask(QByteArray &bytes, int from, int to) {
    for (int i = from; i < to; ++i) {
        bytes[i] = kMask;
    }
}

// Masks the text of the `index`th counted field; a count past the payload masks to its end.
QByteArray maskCounted(const QByteArray &p, int index) {
    int text = 0;
    for (int i = 0; i <= index; ++i) {
        if (text >= p.size()) {
            return p;
        }
        const int length = static_cast<uint8_t>(p[text]);
        if (i == index) {
            QByteArray out = p;
            mask(out, text + 1, std::min(text + 1 + length, int(p.size())));
            return out;
        }
        text += 1 + length;
    }
    return p;
}

// The values of the "!USER=" and "!PASS=" lines of the SMS text. A value may hold "!" itself:
// it ends at the "!" before a line end or the end of the text, else (cut short) at the end.
QByteArray maskTriggerSms(const QByteArray &p) {
    if (p.isEmpty()) {
        return p;
    }
    const int text = 1;
    const int end = std::min(text + static_cast<uint8_t>(p[0]), int(p.size()));
    QByteArray out = p;
    for (const char *key : {"!USER=", "!PASS="}) {
        const int keyLength = static_cast<int>(qstrlen(key));
        for (int at = out.indexOf(key, text); at >= 0 && at + keyLength <= end;
             at = out.indexOf(key, at + 1)) {
            if (at != text && out[at - 1] != '\n') {
                continue;
            }
            const int value = at + keyLength;
            int close = out.indexOf("!\r\n", value);
            if (close < 0 || close + 3 > end) {
                close = end > value && out[end - 1] == '!' ? end - 1 : end;
            }
            mask(out, value, close);
        }
    }
    return out;
}

// Keeps the markers, the id, sequence number and status and, when the frame ended, its CRC;
// every other body byte (an escape pair counting as one) becomes one mask byte.
QByteArray maskUndecoded(const QByteArray &wire) {
    QVector<int> bodyStarts;  // the wire position of each body byte, its escape included
    int i = !wire.isEmpty() && uint8_t(wire[0]) == FRAME_START ? 1 : 0;
    bool ended = false;
    for (; i < wire.size(); ++i) {
        const auto byte = uint8_t(wire[i]);
        if (byte == FRAME_END) {
            ended = true;
            break;
        }
        bodyStarts.append(i);
        if (byte == FRAME_ESCAPE) {
            ++i;
        }
    }
    const int bodyEnd = i;
    const int n = bodyStarts.size();
    const int header = n > 0 && uint8_t(wire[bodyStarts[0]]) >= FIRST_STATUS_ID ? 3 : 2;
    const int payloadEnd = ended ? n - 2 : n;
    if (payloadEnd <= header) {
        return wire;
    }
    const int from = bodyStarts[header];
    const int to = payloadEnd < n ? bodyStarts[payloadEnd] : std::min(bodyEnd, int(wire.size()));
    return wire.left(from) + QByteArray(payloadEnd - header, kMask) + wire.mid(to);
}

MaskedFrame maskedDecoded(uint8_t cmdId, uint8_t seq, uint8_t status, const QByteArray &payload,
                          const QByteArray &wire) {
    const QByteArray masked = maskSecrets(cmdId, payload);
    if (masked == payload) {
        return {wire, false};
    }
    return {frame_encode_bytes(cmdId, seq, status, masked, 2 * FRAME_BUFFER_SIZE), true};
}

MaskedFrame maskedUndecoded(const QByteArray &wire) {
    const QByteArray masked = maskUndecoded(wire);
    return {masked, masked != wire};
}

}  // namespace

QByteArray maskSecrets(uint8_t cmdId, const QByteArray &payload) {
    switch (cmdId) {
        case CMD_MAIL_PASSWORD:
            return maskCounted(payload, 0);
        case CMD_APN_SET:
        case CMD_APN_GET:
            return maskCounted(payload, 2);
        case CMD_SMS_TEXT:
            return maskTriggerSms(payload);
        default:
            return payload;
    }
}

MaskedFrame maskedWire(const TrafficRecord &r) {
    return r.decoded ? maskedDecoded(r.cmdId, r.seq, r.status, r.payload, r.wire)
                     : maskedUndecoded(r.wire);
}

MaskedFrame maskedWire(const QByteArray &wire) {
    std::vector<uint8_t> buffer(2 * FRAME_BUFFER_SIZE);
    FrameDecoder decoder;
    frame_decoder_init(&decoder, buffer.data(), uint16_t(buffer.size()));
    const QList<DecodedFrame> frames = frame_decode_all(&decoder, wire);
    if (frames.size() != 1) {
        return maskedUndecoded(wire);
    }
    const DecodedFrame &f = frames[0];
    return maskedDecoded(f.cmdId, f.seq, f.status, f.payload, wire);
}

QByteArray shownBytes(const TrafficRecord &r) {
    return r.decoded ? maskSecrets(r.cmdId, r.payload) : maskUndecoded(r.wire);
}
