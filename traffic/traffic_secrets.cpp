// Secrets are found by the catalogue's fields, so a new secret is one mark in the catalogue.
#include "traffic_secrets.h"

#include <QVector>
#include <algorithm>

#include "frame_codec.h"

namespace {

constexpr char kMask = '*';

void mask(QByteArray &bytes, int from, int to) {
    for (int i = from; i < to; ++i) {
        bytes[i] = kMask;
    }
}

// The values of the "!USER=" and "!PASS=" lines of the text in bytes[from, to). A value may
// hold "!" itself: it ends at the "!" before a line end or the end of the text, else (cut
// short) at the end.
void maskTriggerValues(QByteArray &out, int from, int to) {
    for (const char *key : {"!USER=", "!PASS="}) {
        const int keyLength = static_cast<int>(qstrlen(key));
        for (int at = out.indexOf(key, from); at >= 0 && at + keyLength <= to;
             at = out.indexOf(key, at + 1)) {
            if (at != from && out[at - 1] != '\n') {
                continue;
            }
            const int value = at + keyLength;
            int close = out.indexOf("!\r\n", value);
            if (close < 0 || close + 3 > to) {
                close = to > value && out[to - 1] == '!' ? to - 1 : to;
            }
            mask(out, value, close);
        }
    }
}

void maskValue(QByteArray &out, FieldSecret secret, int from, int to) {
    if (secret == FieldSecret::Whole) {
        mask(out, from, to);
    } else if (secret == FieldSecret::TriggerValues) {
        maskTriggerValues(out, from, to);
    }
}

bool hasSecret(const CataloguePayload &d) {
    for (int i = 0; i < d.fieldCount; ++i) {
        if (d.fields[i]->secret != FieldSecret::None) {
            return true;
        }
    }
    return false;
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

MaskedFrame maskedDecoded(bool fromModule, uint8_t cmdId, uint8_t seq, uint8_t status,
                          const QByteArray &payload, const QByteArray &wire) {
    const QByteArray masked = maskSecrets(cmdId, payload_way(fromModule, status), payload);
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

QByteArray maskSecrets(uint8_t cmdId, PayloadWay way, const QByteArray &payload) {
    const CataloguePayload *d = catalogue_payload(cmdId, way);
    if (d == nullptr || !hasSecret(*d)) {
        return payload;
    }
    const PayloadFields read = catalogue_read(*d, payload);
    QByteArray out = payload;
    int end = 0;
    for (int i = 0; i < read.count; ++i) {
        const FieldValue &v = read.values[i];
        maskValue(out, v.field->secret, v.offset, v.offset + v.length);
        end = v.offset + v.length;
    }
    if (read.complete) {
        return out;
    }
    // The payload stops inside a field: what is left may be a secret's first bytes, and a
    // count that ran past the end cannot say where a later field would have started.
    const bool counted = d->fields[read.count]->kind == FieldKind::Counted;
    const int from = std::min(end + (counted ? 1 : 0), int(payload.size()));
    for (int i = read.count; i < d->fieldCount; ++i) {
        const FieldSecret secret = d->fields[i]->secret;
        if (secret != FieldSecret::None) {
            maskValue(out, i == read.count ? secret : FieldSecret::Whole, from, payload.size());
            break;
        }
    }
    return out;
}

MaskedFrame maskedWire(const TrafficRecord &r) {
    return r.decoded ? maskedDecoded(r.fromModule, r.cmdId, r.seq, r.status, r.payload, r.wire)
                     : maskedUndecoded(r.wire);
}

MaskedFrame maskedWire(const QByteArray &wire, bool fromModule) {
    std::vector<uint8_t> buffer(2 * FRAME_BUFFER_SIZE);
    FrameDecoder decoder;
    frame_decoder_init(&decoder, buffer.data(), uint16_t(buffer.size()));
    const QList<DecodedFrame> frames = frame_decode_all(&decoder, wire);
    if (frames.size() != 1) {
        return maskedUndecoded(wire);
    }
    const DecodedFrame &f = frames[0];
    return maskedDecoded(fromModule, f.cmdId, f.seq, f.status, f.payload, wire);
}

QByteArray shownBytes(const TrafficRecord &r) {
    return r.decoded ? maskSecrets(r.cmdId, payload_way(r.fromModule, r.status), r.payload)
                     : maskUndecoded(r.wire);
}
