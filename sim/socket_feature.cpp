// Socket transfer and APN handling.
#include "socket_feature.h"

#include "payload_fields.h"
#include "status_feature.h"

namespace {

constexpr uint8_t kProtocolCount = 3;  // TCP, HTTP GET, HTTP POST

}  // namespace

QByteArray cannedHttpResponse(int bytes) {
    const QByteArray filler = "Hello from the virtual KOVA module.\r\n";
    // The header's own length depends on the body length it names: settle it in two passes.
    QByteArray header;
    int bodyLength = 0;
    for (int pass = 0; pass < 2; ++pass) {
        header = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                 QByteArray::number(bodyLength) + "\r\nConnection: close\r\n\r\n";
        bodyLength = qMax(0, bytes - header.size());
    }
    QByteArray body;
    body.reserve(bodyLength);
    while (body.size() < bodyLength) {
        body += filler;
    }
    body.truncate(bodyLength);
    return (header + body).left(qMax(0, bytes));
}

SocketFeature::SocketFeature(const StatusFeature &status)
    : status_(status), response_(cannedHttpResponse(kDefaultResponseBytes)) {}

void SocketFeature::setResponseSize(int bytes) {
    response_ = cannedHttpResponse(bytes);
}

void SocketFeature::setApn(const Apn &apn) {
    apn_ = apn;
    apnSet_ = true;
}

bool SocketFeature::handle(const ModuleRequest &request, ModuleOutbox &out) {
    PayloadReader reader(request.payload);
    switch (request.id) {
        case CMD_APN_SET: {
            Apn apn;
            const bool ok =
                reader.text(apn.name) && reader.text(apn.login) && reader.text(apn.password);
            if (ok) {
                setApn(apn);
            }
            out.reply(request.id, ok ? Ok : Failed);
            return true;
        }
        case CMD_APN_GET:
            if (!apnSet_) {
                out.reply(request.id, Failed);
                return true;
            }
            out.reply(request.id, Ok,
                      textField(apn_.name) + textField(apn_.login) + textField(apn_.password));
            return true;
        case CMD_SOCKET_PAYLOAD: {
            QByteArray piece;
            const bool ok = reader.text(piece) && payload_.size() + piece.size() <= kMaxPayload;
            if (ok) {
                payload_ = piece.isEmpty() ? QByteArray() : payload_ + piece;
            }
            out.reply(request.id, ok ? Ok : Failed);
            return true;
        }
        case CMD_SOCKET_SEND:
            startTransfer(request, out);
            return true;
        case CMD_SOCKET_CANCEL:
            // A transfer runs while its closing reply has not reached the line.
            if (out.dropUnsent(kTransferStream) == 0) {
                out.reply(request.id, Failed);
                return true;
            }
            out.reply(request.id, Ok);
            out.reply(CMD_SOCKET_RESULT, Cancelled);
            return true;
        default:
            return false;
    }
}

void SocketFeature::startTransfer(const ModuleRequest &request, ModuleOutbox &out) {
    PayloadReader reader(request.payload);
    uint8_t protocol = 0;
    // The receive time-out has nothing to wait for: the host answers at once.
    uint16_t timeoutMs = 0;
    QByteArray destination;
    if (!reader.byte(protocol) || !reader.u16(timeoutMs) || !reader.text(destination)) {
        out.reply(request.id, Failed);
        return;
    }
    if (out.hasUnsent(kTransferStream)) {
        out.reply(request.id, Failed);
        out.reply(CMD_SOCKET_RESULT, Busy);
        return;
    }
    out.reply(request.id, Ok);
    const int stream = kTransferStream;
    if (!apnSet_) {
        out.reply(CMD_SOCKET_RESULT, ApnNotSet, QByteArray(), stream);
    } else if (!status_.networkAvailable() || destination.trimmed().isEmpty()) {
        out.reply(CMD_SOCKET_RESULT, CannotConnect, QByteArray(), stream);
    } else if (protocol >= kProtocolCount) {
        out.reply(CMD_SOCKET_RESULT, IoError, QByteArray(), stream);
    } else {
        out.start(CMD_SOCKET_RESULT, u16Field(static_cast<uint16_t>(payload_.size())), stream);
        out.start(CMD_SOCKET_PAYLOAD, QByteArray(1, '\0'), stream);  // a new response begins
        for (const QByteArray &piece : appendPieces(response_, out.pieceSize())) {
            out.start(CMD_SOCKET_PAYLOAD, piece, stream);
        }
        out.reply(CMD_SOCKET_RESULT, Complete, QByteArray(), stream);
    }
}
