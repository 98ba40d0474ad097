// SMS, mail content, socket payload and AT command requests.
#include "link_long_payload.h"

#include <QList>

#include "link_internal.h"
#include "link_requests.h"

using namespace link_detail;

namespace {

// A mail field as it travels: cut to 255 bytes, and shorter still where escaping would not
// let it fit one frame.
QByteArray mail_field(uint8_t id, const QByteArray &text) {
    QByteArray field = text.left(LINK_MAIL_FIELD_MAX);
    while (!frame_always_fits(id, counted(field))) {
        field.chop(1);
    }
    return field;
}

// The opening piece, then the data in pieces.
QList<QByteArray> pieces(const QByteArray &data) {
    QList<QByteArray> out{QByteArray(1, '\0')};
    int offset = 0;
    for (int size : link_piece_sizes(data)) {
        out.append(counted(data.mid(offset, size)));
        offset += size;
    }
    return out;
}

}  // namespace

QList<int> link_piece_sizes(const QByteArray &data) {
    // Worst case around the data: markers, id, escaped sequence number, status, escaped
    // count byte and two escaped CRC bytes.
    constexpr uint32_t overhead = 2 + 1 + 2 + 1 + 2 + 4;
    constexpr uint32_t budget = FRAME_BUFFER_SIZE - overhead;
    QList<int> sizes;
    int count = 0;
    uint32_t used = 0;
    for (const char c : data) {
        const uint32_t cost = frame_escaped_size(static_cast<uint8_t>(c));
        if (count == LINK_PIECE_MAX_DATA || used + cost > budget) {
            sizes.append(count);
            count = 0;
            used = 0;
        }
        ++count;
        used += cost;
    }
    if (count > 0) {
        sizes.append(count);
    }
    return sizes;
}

bool link_sms_text_fits(const QByteArray &text) {
    return text.size() <= LINK_MAX_TEXT_LENGTH && frame_always_fits(CMD_SMS_TEXT, counted(text));
}

int link_sms_send(const QByteArray &number, const QByteArray &text, LinkTransferId *transfer) {
    if (number.size() > LINK_MAX_TEXT_LENGTH || text.size() > LINK_MAX_TEXT_LENGTH) {
        return 0;
    }
    const QByteArray numberPayload = counted(number) + QByteArray(1, '\0');
    const QByteArray textPayload = counted(text);
    // Half an SMS is worse than none: refuse it whole when one frame could never be sent.
    if (!frame_always_fits(CMD_SMS_NUMBER, numberPayload) || !link_sms_text_fits(text)) {
        return 0;
    }
    Transaction t;
    if (!transfer_has_room(t.state, 3) || sms_in_progress(t.state)) {
        return 0;
    }
    for (uint8_t id : {CMD_SMS_NUMBER, CMD_SMS_TEXT, CMD_SMS_SEND}) {
        t.state.cmdStatus[id] = CMD_STATUS_PENDING;
    }
    transfer_add(t, TransferKind::Sms, CMD_SMS_NUMBER, numberPayload);
    transfer_add(t, TransferKind::Sms, CMD_SMS_TEXT, textPayload);
    const LinkTransferId id =
        transfer_commit(t, TransferKind::Sms, CMD_SMS_SEND, QByteArray(), CMD_SMS_SEND);
    if (transfer != nullptr) {
        *transfer = id;
    }
    return 1;
}

int link_mail_set_content(const QByteArray &sender, const QByteArray &recipient,
                          const QByteArray &subject, const QByteArray &body) {
    const QList<QByteArray> bodyPieces = pieces(body);
    Transaction t;
    if (!transfer_has_room(t.state, 3 + bodyPieces.size())) {
        return 0;
    }
    const struct {
        uint8_t id;
        const QByteArray &text;
    } fields[] = {
        {CMD_MAIL_RECIPIENT, recipient}, {CMD_MAIL_SENDER, sender}, {CMD_MAIL_SUBJECT, subject}};
    for (const auto &field : fields) {
        transfer_add(t, TransferKind::Mail, field.id, counted(mail_field(field.id, field.text)));
    }
    t.state.cmdStatus[CMD_MAIL_BODY] = CMD_STATUS_PENDING;
    for (const QByteArray &piece : bodyPieces) {
        transfer_add(t, TransferKind::Mail, CMD_MAIL_BODY, piece);
    }
    return 1;
}

int link_socket_append_payload(const QByteArray &data, LinkTransferId *transfer) {
    const QList<QByteArray> payloadPieces = pieces(data);
    Transaction t;
    if (!transfer_has_room(t.state, payloadPieces.size())) {
        return 0;
    }
    bool first = true;
    LinkTransferId id = 0;
    for (const QByteArray &piece : payloadPieces) {
        id = transfer_add(t, TransferKind::Socket, CMD_SOCKET_PAYLOAD, piece, first);
        first = false;
    }
    if (transfer != nullptr) {
        *transfer = id;
    }
    return 1;
}

int link_sms_in_progress() {
    Transaction t;
    return sms_in_progress(t.state) ? 1 : 0;
}

int link_send_at_command(const QByteArray &text) {
    const QByteArray payload = counted(text);
    if (text.size() > LINK_MAX_TEXT_LENGTH || !frame_always_fits(CMD_AT_COMMAND, payload)) {
        return 0;
    }
    Transaction t;
    if (!send(t, CMD_AT_COMMAND, bytes_of(payload), static_cast<uint16_t>(payload.size()), 0)) {
        return 0;
    }
    t.state.cmdStatus[CMD_AT_COMMAND] = CMD_STATUS_PENDING;
    t.state.atResponse[0] = 0;
    return 1;
}
