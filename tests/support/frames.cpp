#include "frames.h"

#include <QList>

namespace testsupport {

QByteArray hex(const char *text) {
    return QByteArray::fromHex(QByteArray(text));
}

QString toHex(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QByteArray frame(uint8_t cmdId, uint8_t seq, uint8_t status, const QByteArray &payload) {
    return frame_encode_bytes(cmdId, seq, status, payload);
}

QList<Decoded> decodeAll(const QByteArray &stream) {
    QList<Decoded> out;
    uint8_t buffer[DECODER_BUFFER_SIZE];
    FrameDecoder decoder;
    frame_decoder_init(&decoder, buffer, sizeof buffer);
    for (char c : stream) {
        if (frame_decoder_put(&decoder, static_cast<uint8_t>(c)) != FRAME_COMPLETE) {
            continue;
        }
        LinkMessage m;
        if (frame_decoder_take(&decoder, &m) == FRAME_OK) {
            out.append({m.cmdId, m.seq, m.status,
                        QByteArray(reinterpret_cast<const char *>(m.payload), m.length)});
        }
    }
    return out;
}

}  // namespace testsupport
