// Mail assembly and the two ways of sending it.
#include "mail_feature.h"

#include "payload_fields.h"
#include "status_feature.h"

namespace {

constexpr uint8_t kSsl = 1;

bool looksLikeAddress(const QByteArray &address) {
    const int at = address.indexOf('@');
    return at > 0 && at < address.size() - 1;
}

bool looksLikeUrl(const QByteArray &url) {
    const QByteArray lower = url.toLower();
    return (lower.startsWith("http://") && lower.size() > 7) ||
           (lower.startsWith("https://") && lower.size() > 8);
}

}  // namespace

bool MailFeature::storeText(const ModuleRequest &request, QByteArray &field) {
    PayloadReader reader(request.payload);
    QByteArray text;
    if (!reader.text(text)) {
        return false;
    }
    field = text;
    return true;
}

bool MailFeature::smtpReady(uint8_t encryption) const {
    return encryption <= kSsl && !draft_.server.isEmpty() && draft_.port != 0 &&
           looksLikeAddress(draft_.sender) && looksLikeAddress(draft_.recipient);
}

bool MailFeature::handle(const ModuleRequest &request, ModuleOutbox &out) {
    PayloadReader reader(request.payload);
    bool ok = false;
    switch (request.id) {
        case CMD_MAIL_SERVER:
            ok = storeText(request, draft_.server);
            break;
        case CMD_MAIL_PORT:
            ok = reader.u16(draft_.port);
            break;
        case CMD_MAIL_LOGIN:
            ok = storeText(request, draft_.login);
            break;
        case CMD_MAIL_PASSWORD:
            ok = storeText(request, draft_.password);
            break;
        case CMD_MAIL_SENDER:
            ok = storeText(request, draft_.sender);
            break;
        case CMD_MAIL_RECIPIENT:
            ok = storeText(request, draft_.recipient);
            break;
        case CMD_MAIL_SUBJECT:
            ok = storeText(request, draft_.subject);
            break;
        case CMD_MAIL_BODY: {
            QByteArray piece;
            ok = reader.text(piece) && draft_.body.size() + piece.size() <= kMaxBody;
            if (ok) {
                draft_.body = piece.isEmpty() ? QByteArray() : draft_.body + piece;
            }
            break;
        }
        case CMD_MAIL_SEND_SMTP:
            ok = reader.byte(draft_.encryption) && smtpReady(draft_.encryption) &&
                 status_.networkAvailable();
            draft_.postUrl.clear();
            break;
        case CMD_MAIL_SEND_HTTP_POST:
            // The URL's server takes the mail as it is; no SMTP setting is needed.
            ok = storeText(request, draft_.postUrl) && looksLikeUrl(draft_.postUrl) &&
                 status_.networkAvailable();
            break;
        default:
            return false;
    }
    if (ok && (request.id == CMD_MAIL_SEND_SMTP || request.id == CMD_MAIL_SEND_HTTP_POST)) {
        lastSent_ = draft_;
        ++sentCount_;
    }
    out.reply(request.id, ok ? Ok : Failed);
    return true;
}
