// Masking works on the counted texts the request functions write: a count byte, then the text.
#include "traffic_secrets.h"

#include "command_ids.h"
#include "frame_codec.h"

namespace {

const QByteArray kMask = QByteArrayLiteral("****");

// Start of the text of the counted field at `at` and its length; false past the payload.
bool counted(const QByteArray &p, int at, int *text, int *length) {
    if (at >= p.size()) {
        return false;
    }
    *text = at + 1;
    *length = static_cast<uint8_t>(p[at]);
    return *text + *length <= p.size();
}

// Masks the text of the `index`th counted field.
QByteArray maskCounted(const QByteArray &p, int index) {
    int at = 0;
    int text = 0;
    int length = 0;
    for (int i = 0; i <= index; ++i) {
        if (!counted(p, at, &text, &length)) {
            return p;
        }
        at = text + length;
    }
    if (length == 0) {
        return p;
    }
    QByteArray out = p;
    out.replace(text, length, kMask);
    return out;
}

// The values of "!USER=...!" and "!PASS=...!" in the SMS text; a value with no closing "!" is
// masked to the end of the text rather than shown.
QByteArray maskTriggerSms(const QByteArray &p) {
    int text = 0;
    int length = 0;
    if (!counted(p, 0, &text, &length)) {
        return p;
    }
    QByteArray out = p;
    int end = text + length;
    for (const char *key : {"!USER=", "!PASS="}) {
        const int keyLength = static_cast<int>(qstrlen(key));
        for (int at = out.indexOf(key, text); at >= 0 && at < end; at = out.indexOf(key, at + 1)) {
            const int value = at + keyLength;
            int close = out.indexOf('!', value);
            if (close < 0 || close > end) {
                close = end;
            }
            if (close > value) {
                out.replace(value, close - value, kMask);
                end += kMask.size() - (close - value);
            }
        }
    }
    return out;
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

QByteArray maskedWire(const TrafficRecord &r) {
    if (!r.decoded) {
        return r.wire;
    }
    const QByteArray masked = maskSecrets(r.cmdId, r.payload);
    if (masked == r.payload) {
        return r.wire;
    }
    // "****" can be longer than the secret: room beyond the send path's buffer.
    return frame_encode_bytes(r.cmdId, r.seq, r.status, masked, 2 * FRAME_BUFFER_SIZE);
}
