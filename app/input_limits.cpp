#include "input_limits.h"

#include <QCoreApplication>

#include "frame_codec.h"

QString overLongReason(const QString &what, const QByteArray &text, int limit, uint8_t cmdId,
                       const QByteArray &payload) {
    if (text.size() > limit) {
        return QCoreApplication::translate("MainWindow",
                                           "%1 is %2 bytes long; at most %3 bytes can be sent.")
            .arg(what)
            .arg(text.size())
            .arg(limit);
    }
    const auto *bytes = reinterpret_cast<const uint8_t *>(payload.constData());
    if (frame_worst_case_size(cmdId, 0, bytes, uint32_t(payload.size())) > FRAME_BUFFER_SIZE) {
        return QCoreApplication::translate("MainWindow",
                                           "%1 does not fit one frame: bytes 7E, 9E and CE take "
                                           "two places on the line.")
            .arg(what);
    }
    return QString();
}

QByteArray countedText(const QByteArray &text) {
    return QByteArray(1, static_cast<char>(text.size())) + text;
}
