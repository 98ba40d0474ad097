// Fields of a payload as the protocol lays them out: single bytes, big-endian 16-bit numbers
// and texts as one length byte followed by the bytes. Reads never pass the payload's end.
#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

class PayloadReader {
  public:
    explicit PayloadReader(const QByteArray &payload) : payload_(payload) {}

    bool byte(uint8_t &out);
    bool u16(uint16_t &out);
    bool text(QByteArray &out);
    bool bytes(int count, QByteArray &out);
    int remaining() const { return payload_.size() - position_; }

  private:
    const QByteArray &payload_;
    int position_ = 0;
};

// A text field; texts longer than a length byte can count are cut to 255 bytes.
QByteArray textField(const QByteArray &text);
QByteArray u16Field(uint16_t value);

// Append pieces of at most `pieceSize` data bytes, each a count byte and the bytes; none for
// empty data.
QList<QByteArray> appendPieces(const QByteArray &data, int pieceSize);
