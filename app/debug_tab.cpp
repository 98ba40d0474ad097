// Debug tab: builds a frame from hexadecimal bytes typed by hand (nothing is sent), logs every
// frame the worker writes, and shows the line's statistics.
#include <QMessageBox>
#include <QTime>
#include <cstdlib>
#include <memory>

#include "frame_codec.h"
#include "link_state.h"
#include "main_window.h"
#include "ui_mainwindow.h"

namespace {

// As strtol with base 16 reads it: leading blanks, a sign and "0x" pass, reading stops at the
// first character that is not a digit, no digit gives 0. The low eight bits are kept.
uint8_t hexByte(const QString &token) {
    return static_cast<uint8_t>(std::strtol(token.toLatin1().constData(), nullptr, 16) & 0xFF);
}

QString hexPair(uint8_t byte) {
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0'));
}

}  // namespace

void MainWindow::refreshTrafficStatistics() {
    const LinkCounters counters = link_snapshot().counters;
    ui->lblDebugTrafficStatistics->setText(
        trafficStatisticsLine(counters, frameRate_.sample(counters)));
    ui->lblDebugTrafficStatistics->setToolTip(trafficStatisticsToolTip(counters));
}

void MainWindow::on_btnDebugGenerateMessage_clicked() {
    const QStringList tokens =
        ui->lineEdit_CrcCalc->text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (tokens.size() < 2) {
        QMessageBox::warning(this, tr("Incomplete Payload"),
                             tr("The data length entered is too small.\r\nInvalid data."),
                             QMessageBox::Ok);
        return;
    }
    QByteArray bytes;
    for (const QString &token : tokens) {
        bytes.append(static_cast<char>(hexByte(token)));
    }
    const auto cmdId = static_cast<uint8_t>(bytes[0]);
    const int header = cmdId >= FIRST_STATUS_ID ? 3 : 2;
    if (tokens.size() < header) {
        QMessageBox::warning(
            this, tr("Incomplete Payload"),
            tr("The data length entered is too small for command id %1.\r\nInvalid data.")
                .arg(hexPair(cmdId)),
            QMessageBox::Ok);
        return;
    }
    QString payloadText;
    for (const QString &token : tokens.mid(header)) {
        payloadText += token + QLatin1Char(' ');
    }
    const QByteArray payload = bytes.mid(header);
    const auto status = header == 3 ? static_cast<uint8_t>(bytes[2]) : uint8_t(0);

    std::unique_ptr<uint8_t[]> frame;
    uint16_t length = 0;
    const bool built =
        payload.size() <= 0xFFFF &&
        link_build_frame(cmdId, static_cast<uint8_t>(bytes[1]), status,
                         reinterpret_cast<const uint8_t *>(payload.constData()),
                         static_cast<uint16_t>(payload.size()), &frame, &length) == FRAME_OK;

    ui->lblDebugGenMsgCmdId->setText(hexPair(cmdId).toUpper());
    ui->lblDebugGenMsgSeqNr->setText(hexPair(static_cast<uint8_t>(bytes[1])).toUpper());
    ui->lblDebugGenMsgStatus->setText(header == 3 ? hexPair(status) : tr("N/A"));
    ui->lblDebugGenMsgPayload->setText(payloadText.toUpper());
    if (!built) {
        // Too long for one frame: there is no frame and so no CRC to show.
        ui->lblDebugGenMsgCrc->setText(QString());
        ui->lblDebugGeneratedMessage->setText(QString());
        return;
    }
    // The CRC as computed, not as escaped on the wire (an escape byte may precede it there).
    QByteArray body = bytes.left(header) + payload;
    const uint16_t crc =
        crc16(reinterpret_cast<const uint8_t *>(body.constData()), uint32_t(body.size()));
    ui->lblDebugGenMsgCrc->setText(
        QStringLiteral("%1 %2").arg(hexPair(crc >> 8), hexPair(crc & 0xFF)).toUpper());
    QString frameText;
    for (uint16_t i = 0; i < length; ++i) {
        frameText += hexPair(frame[i]) + QLatin1Char(' ');
    }
    ui->lblDebugGeneratedMessage->setText(frameText.toUpper());
}

void MainWindow::updateLastCommandSent(QByteArray messageBytes) {
    sentFramesLog_.append(messageBytes, QTime::currentTime());
}
