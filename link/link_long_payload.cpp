// SMS, mail content, socket payload and AT command requests.
#include "link_long_payload.h"

#include <QList>

#include "command_catalogue.h"
#include "link_internal.h"
#include "link_requests.h"

using namespace link_detail;

namespace {

// A mail field as it travels: cut to what its field holds, and shorter still where escaping
// would not let it fit one frame.
QByteArray mail_field(uint8_t id, const QByteArray &text) {
    const CataloguePayload *description = catalogue_payload(id, PayloadWay::Request);
    QByteArray field = text.left(catalogue_limit(*description->fields[0]));
    QByteArray payload;
    while (catalogue_build(id, PayloadWay::Request, {field}, &payload).result != LINK_QUEUED) {
        field.chop(1);
    }
    return payload;
}

// The opening piece, then the data in pieces; link_piece_sizes keeps every piece buildable.
QList<QByteArray> pieces(uint8_t id, const QByteArray &data) {
    QList<QByteArray> out;
    QByteArray piece;
    catalogue_build(id, PayloadWay::Request, {QByteArray()}, &piece);
    out.append(piece);
    int offset = 0;
    for (int size : link_piece_sizes(data)) {
        catalogue_build(id, PayloadWay::Request, {data.mid(offset, size)}, &piece);
        out.append(piece);
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
    QByteArray payload;
    return catalogue_build(CMD_SMS_TEXT, PayloadWay::Request, {text}, &payload).result ==
           LINK_QUEUED;
}

int link_sms_send(const QByteArray &number, const QByteArray &text, LinkTransferId *transfer) {
    QByteArray numberPayload;
    QByteArray textPayload;
    // Half an SMS is worse than none: refuse it whole when one frame could never be sent.
    if (!catalogue_build_request(CMD_SMS_NUMBER, {number, 0}, &numberPayload) ||
        !catalogue_build_request(CMD_SMS_TEXT, {text}, &textPayload)) {
        return link_last_refusal().result;
    }
    Transaction t;
    if (sms_in_progress(t.state)) {
        return link_note_refusal(LINK_REFUSED_SMS_IN_PROGRESS);
    }
    if (!transfer_has_room(t.state, 3)) {
        return link_note_refusal(LINK_TABLE_FULL);
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
    return link_note_refusal(LINK_QUEUED);
}

int link_mail_set_content(const QByteArray &sender, const QByteArray &recipient,
                          const QByteArray &subject, const QByteArray &body) {
    const QList<QByteArray> bodyPieces = pieces(CMD_MAIL_BODY, body);
    Transaction t;
    if (!transfer_has_room(t.state, 3 + bodyPieces.size())) {
        return link_note_refusal(LINK_TABLE_FULL);
    }
    const struct {
        uint8_t id;
        const QByteArray &text;
    } fields[] = {
        {CMD_MAIL_RECIPIENT, recipient}, {CMD_MAIL_SENDER, sender}, {CMD_MAIL_SUBJECT, subject}};
    for (const auto &field : fields) {
        transfer_add(t, TransferKind::Mail, field.id, mail_field(field.id, field.text));
    }
    t.state.cmdStatus[CMD_MAIL_BODY] = CMD_STATUS_PENDING;
    for (const QByteArray &piece : bodyPieces) {
        transfer_add(t, TransferKind::Mail, CMD_MAIL_BODY, piece);
    }
    return link_note_refusal(LINK_QUEUED);
}

int link_socket_append_payload(const QByteArray &data, LinkTransferId *transfer) {
    const QList<QByteArray> payloadPieces = pieces(CMD_SOCKET_PAYLOAD, data);
    Transaction t;
    if (!transfer_has_room(t.state, payloadPieces.size())) {
        return link_note_refusal(LINK_TABLE_FULL);
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
    return link_note_refusal(LINK_QUEUED);
}

int link_sms_in_progress() {
    Transaction t;
    return sms_in_progress(t.state) ? 1 : 0;
}

int link_send_at_command(const QByteArray &text) {
    QByteArray payload;
    if (!catalogue_build_request(CMD_AT_COMMAND, {text}, &payload)) {
        return link_last_refusal().result;
    }
    Transaction t;
    if (!send(t, CMD_AT_COMMAND, bytes_of(payload), static_cast<uint16_t>(payload.size()), 0)) {
        return link_note_refusal(LINK_TABLE_FULL);
    }
    t.state.cmdStatus[CMD_AT_COMMAND] = CMD_STATUS_PENDING;
    t.state.atResponse[0] = 0;
    return link_note_refusal(LINK_QUEUED);
}
