// Capture files of the serial line's frames in pcapng, the format Wireshark opens: written with
// one interface of link type USER0, read back from any well-formed file.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

class QIODevice;

// DLT_USER0: no registered link type fits the frames, so a dissector has to claim this one.
constexpr quint16 KOVA_PCAPNG_LINK_TYPE = 147;

struct CapturedFrame {
    qint64 timeUs = 0;  // since the Unix epoch
    bool fromModule = false;
    QByteArray wire;  // as it crossed the line: markers, escapes and a spoiled CRC included
    QString comment;  // the frame's outcome: "ACKed", "NAKed", "bad CRC", ...
};

// False with the reason in whyNot (when given) when the device takes less than all of it, or a
// frame cannot be held: a time before 1970, a comment over 64 KiB.
bool writePcapng(QIODevice &out, const QList<CapturedFrame> &frames, QString *whyNot);

// The link type 147 packets of every section, in file order; false with the reason when the
// file is not pcapng, is cut short or has a length that does not add up. Nothing is appended
// to frames then.
bool readPcapng(QIODevice &in, QList<CapturedFrame> *frames, QString *whyNot);
