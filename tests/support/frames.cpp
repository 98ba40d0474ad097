#include "frames.h"

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
    uint8_t buffer[DECODER_BUFFER_SIZE];
    FrameDecoder decoder;
    frame_decoder_init(&decoder, buffer, sizeof buffer);
    return frame_decode_all(&decoder, stream);
}

}  // namespace testsupport
