// Socket tab: the module sends a payload to an Internet host and streams the host's response
// back; the access point it uses is configured and read back here.
#include <QAbstractTextDocumentLayout>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "link_transfers.h"
#include "main_window.h"
#include "request_texts.h"
#include "status_field.h"
#include "ui_mainwindow.h"

namespace {

constexpr int kStoreFailedMessageMs = 5000;

}  // namespace

void MainWindow::on_pushButton_SocketConfigApn_clicked() {
    const QByteArray name = ui->lineEdit_SocketApn_Name->text().toUtf8();
    const QByteArray login = ui->lineEdit_SocketApn_Login->text().toUtf8();
    const QByteArray password = ui->lineEdit_SocketApn_Password->text().toUtf8();
    queued(link_apn_set(name, login, password), tr("APN Configuration"));
}

void MainWindow::on_pushButton_SocketSend_clicked() {
    const QByteArray payload = ui->plainTextEdit_SocketPayload->toPlainText().toUtf8();
    const QString destinationText = ui->lineEdit_SocketUrl->text();
    const auto timeoutMs = static_cast<uint16_t>(ui->spinBox_SocketRxTimeout->value());
    const auto protocol = static_cast<uint8_t>(ui->comboBox_SocketProtocol->currentIndex());
    const QString reason = socketSendRefusal(destinationText, protocol, timeoutMs);
    if (!reason.isEmpty()) {
        QMessageBox::warning(this, tr("Invalid URL or endpoint"), reason, QMessageBox::Ok);
        return;
    }
    const QByteArray destination = destinationText.toUtf8();
    LinkTransferId transfer = 0;
    if (link_socket_append_payload(payload, &transfer) <= 0) {
        statusBar()->showMessage(tr("ERROR: failed to store message for later send."),
                                 kStoreFailedMessageMs);
        return;
    }
    if (!queued(link_socket_send(destination, protocol, timeoutMs), tr("Socket"))) {
        link_withdraw_transfer(transfer);
        return;
    }
    socketTransfer_ = transfer;
}

void MainWindow::on_btnSocketCancelSend_clicked() {
    // Until its start frame is on the line the transfer is the tool's own to take back; after
    // that only the module can stop it.
    if (socketTransfer_ != 0 && link_withdraw_transfer(socketTransfer_)) {
        socketTransfer_ = 0;
        update_UI(0, false);  // no frame will come to show it
        return;
    }
    socketTransfer_ = 0;
    queued(link_socket_cancel_send(), tr("Socket"));
}

void MainWindow::on_pushButton_SocketConfigGetApn_clicked() {
    queued(link_apn_get(), tr("APN Configuration"));
}

void MainWindow::refreshSocket(const LinkSnapshot &state) {
    const uint8_t command = state.lastSocketCmd;
    const uint8_t status = state.cmdStatus[command];
    QFrame *apnFrame = ui->frmSocketApnStatus;
    QLabel *apnLabel = ui->lblSocketApnStatus;
    QFrame *sendFrame = ui->frmSocketSendStatus;
    QLabel *sendLabel = ui->lblSocketSendStatus;
    switch (command) {
        case CMD_APN_SET:
            applyStandardStatus(apnFrame, apnLabel, status, tr("APN configured successfully."),
                                tr("ERROR: Invalid values provided."));
            break;
        case CMD_APN_GET:
            applyStandardStatus(apnFrame, apnLabel, status, tr("APN retrieved successfully."),
                                tr("ERROR: Failed to retrieve configured APN."));
            // Once per reply taken whole, so what the user types next stands.
            if (status == 0 && state.apnReadCount != 0) {
                controlSync_.write(
                    ui->lineEdit_SocketApn_Name, state.apnReadCount, [this, &state](uint32_t) {
                        ui->lineEdit_SocketApn_Name->setText(QString::fromLatin1(state.apnName));
                        ui->lineEdit_SocketApn_Login->setText(QString::fromLatin1(state.apnLogin));
                        ui->lineEdit_SocketApn_Password->setText(
                            QString::fromLatin1(state.apnPassword));
                    });
            }
            break;
        case CMD_SOCKET_CANCEL: {
            const OutcomeTexts outcome = socketCancelOutcome();
            applyStandardStatus(sendFrame, sendLabel, status, outcome.success, outcome.failure);
            break;
        }
        case CMD_SOCKET_RESULT:
            refreshSocketResult(status);
            break;
        default:
            break;
    }
    showSocketResponse(state);
    ui->label_SocketRcvd_OpCompleteBytesSent->setText(QString::number(state.socketBytesSent));
    ui->lblSocketRecvPayloadSize->setText(
        QString::number(uint64_t(state.socketResponseLength) + state.socketResponseDropped));
    ui->lblSocketBufferSizeExceeded->setVisible(state.socketResponseDropped != 0);
}

void MainWindow::refreshSocketResult(uint8_t status) {
    QFrame *frame = ui->frmSocketSendStatus;
    QLabel *label = ui->lblSocketSendStatus;
    const QString result = socketResultText(status);
    if (status == 0) {
        setStatusField(frame, label, status_style::Success, result);
    } else if (!result.isEmpty()) {
        setStatusField(frame, label, status_style::Failure, result);
    } else if (status == CMD_STATUS_PENDING) {
        setStatusField(frame, label, status_style::Pending, pendingStatusText());
    } else if (!applyRefusal(frame, label, status)) {
        label->clear();
    }
}

// The response grows by the bytes that arrived since the last refresh, so the text is never
// laid out again whole and the user's scroll position and selection stay.
void MainWindow::showSocketResponse(const LinkSnapshot &state) {
    QPlainTextEdit *edit = ui->plainTextEdit_Socket_Response;
    const char *data = state.socketResponse.data();
    const uint32_t stored =
        std::min<uint32_t>(state.socketResponseLength, SOCKET_RESPONSE_SIZE - 1);
    ResponseShown &shown = socketResponseShown_;
    const bool sameResponse =
        state.socketResponseGeneration == shown.generation && shown.length <= stored;
    const uint32_t from = sameResponse ? shown.length : 0;
    // The text ends at its first NUL.
    uint32_t visible = shown.endedAtNul && sameResponse
                           ? shown.length
                           : from + uint32_t(strnlen(data + from, stored - from));
    const bool endedAtNul = visible < stored;
    // A line break split between two pieces would show as two: hold back a trailing CR until
    // the byte after it has come or the transfer has ended.
    const bool transferRunning = state.cmdStatus[CMD_SOCKET_RESULT] == CMD_STATUS_PENDING ||
                                 state.cmdStatus[CMD_SOCKET_RESULT] == CMD_STATUS_SILENT;
    if (visible > from && data[visible - 1] == '\r' && !endedAtNul && transferRunning) {
        --visible;
    }
    if (!sameResponse) {
        edit->setPlainText(QString::fromLatin1(data, int(visible)));
    } else if (visible > shown.length) {
        QTextCursor end(edit->document());
        end.movePosition(QTextCursor::End);
        // The edit's layout asks for the whole view to be drawn again on any change. Text added
        // below the view changes only the scroll bar, which the size signal alone updates: a
        // refresh per piece of a long response then draws next to nothing.
        QAbstractTextDocumentLayout *layout = edit->document()->documentLayout();
        const bool belowView = edit->cursorRect(end).top() > edit->viewport()->height();
        {
            const QSignalBlocker quiet(belowView ? layout : nullptr);
            end.insertText(QString::fromLatin1(data + shown.length, int(visible - shown.length)));
        }
        if (belowView) {
            emit layout->documentSizeChanged(layout->documentSize());
        }
    }
    shown = ResponseShown{state.socketResponseGeneration, visible, endedAtNul};
}
