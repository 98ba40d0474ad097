// How the module misbehaves on the line, and how it paces and orders its frames. Everything is
// off by default: a module that answers promptly and cleanly, frames back to back.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QtGlobal>

#include "module_link.h"

struct ModuleFaults {
    // Frames of these ids are answered with a NAK and not carried out.
    QSet<quint8> nakIds;
    // Requests of these ids are acknowledged and answered with this status code and payload
    // instead of being carried out: replies no feature of the module would give on its own.
    struct CannedReply {
        quint8 code = 0;
        QByteArray payload;
    };
    QMap<quint8, CannedReply> cannedReplies;
    // Requests of these ids are acknowledged and then lost: never carried out nor answered.
    QSet<quint8> unansweredIds;
    // The send of an SMS to one of these numbers is acknowledged and then lost, as by a module
    // that restarts between its ACK and its reply.
    QSet<QByteArray> unansweredSmsTo;
    // Frames are carried out but never acknowledged, so the tool keeps writing them again.
    bool withholdAcks = false;
    // Every Nth frame written gets one bit flipped, loses one byte, or goes out twice (0: never).
    int flipBitEvery = 0;
    int dropByteEvery = 0;
    int repeatFrameEvery = 0;
    // Picks the byte and bit spoiled.
    quint32 seed = 1;
    // Bytes leave no faster than a 115200-baud line carries them (10 bits a byte).
    bool paced = false;
    FlowMode flow = FlowMode::Pipelined;
};
