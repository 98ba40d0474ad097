// SMS sending, reception switch and incoming messages.
#include "sms_feature.h"

#include "payload_fields.h"
#include "status_feature.h"

namespace {

// The longest text the module keeps for one message.
constexpr int kMaxText = 1024;

}  // namespace

bool SmsFeature::handle(const ModuleRequest &request, ModuleOutbox &out) {
    PayloadReader reader(request.payload);
    QByteArray field;
    uint8_t value = 0;
    switch (request.id) {
        case CMD_SMS_NUMBER:
            // A new number starts a new message.
            haveNumber_ = reader.text(field);
            draft_ = SentSms{field, QByteArray()};
            out.reply(request.id, haveNumber_ ? Ok : Failed);
            return true;
        case CMD_SMS_TEXT:
            if (!reader.text(field) || draft_.text.size() + field.size() > kMaxText) {
                out.reply(request.id, Failed);
                return true;
            }
            // An empty piece opens the text afresh, as in every append transfer.
            draft_.text = field.isEmpty() ? QByteArray() : draft_.text + field;
            out.reply(request.id, Ok);
            return true;
        case CMD_SMS_SEND: {
            const bool sent = haveNumber_ && !draft_.number.isEmpty() && !sendFails_ &&
                              status_.networkAvailable();
            if (sent) {
                sent_.append(draft_);
                while (sent_.size() > kSentKept) {
                    sent_.removeFirst();
                }
            }
            out.reply(request.id, sent ? Ok : Failed);
            if (sent && onSent_) {
                onSent_(draft_);
            }
            haveNumber_ = false;
            draft_ = SentSms{};
            return true;
        }
        case CMD_SMS_SET_RECEPTION:
            if (!reader.byte(value) || value > 1) {
                out.reply(request.id, Failed);
                return true;
            }
            receptionEnabled_ = value == 1;
            out.reply(request.id, Ok);
            return true;
        case CMD_SMS_GET_RECEPTION:
            out.reply(request.id, Ok, QByteArray(1, char(receptionEnabled_ ? 1 : 0)));
            return true;
        default:
            return false;
    }
}

bool SmsFeature::receive(ModuleOutbox &out, const QByteArray &sender, const QByteArray &date,
                         const QByteArray &text) {
    if (!receptionEnabled_) {
        return false;
    }
    out.start(CMD_SMS_NUMBER, textField(sender) + textField(date));
    for (const QByteArray &piece : appendPieces(text, out.pieceSize())) {
        out.start(CMD_SMS_TEXT, piece);
    }
    out.start(CMD_SMS_SEND);
    return true;
}
