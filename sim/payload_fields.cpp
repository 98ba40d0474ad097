// Bounds-checked payload fields.
#include "payload_fields.h"

bool PayloadReader::byte(uint8_t &out) {
    if (remaining() < 1) {
        return false;
    }
    out = static_cast<uint8_t>(payload_[position_++]);
    return true;
}

bool PayloadReader::u16(uint16_t &out) {
    uint8_t high = 0;
    uint8_t low = 0;
    if (remaining() < 2 || !byte(high) || !byte(low)) {
        return false;
    }
    out = static_cast<uint16_t>(high << 8 | low);
    return true;
}

bool PayloadReader::bytes(int count, QByteArray &out) {
    if (count < 0 || remaining() < count) {
        return false;
    }
    out = payload_.mid(position_, count);
    position_ += count;
    return true;
}

bool PayloadReader::text(QByteArray &out) {
    const int start = position_;
    uint8_t length = 0;
    if (byte(length) && bytes(length, out)) {
        return true;
    }
    position_ = start;
    return false;
}

QByteArray textField(const QByteArray &text) {
    const QByteArray cut = text.left(255);
    return char(cut.size()) + cut;
}

QByteArray u16Field(uint16_t value) {
    QByteArray field(2, '\0');
    field[0] = char(value >> 8);
    field[1] = char(value & 0xFF);
    return field;
}

QList<QByteArray> appendPieces(const QByteArray &data, int pieceSize) {
    QList<QByteArray> pieces;
    const int size = qBound(1, pieceSize, 255);
    for (int offset = 0; offset < data.size(); offset += size) {
        pieces.append(textField(data.mid(offset, size)));
    }
    return pieces;
}
