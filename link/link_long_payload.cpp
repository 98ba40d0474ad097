// SMS, mail content, socket payload and AT command requests.
#include "link_long_payload.h"

#include <QList>

#include "link_internal.h"
#include "link_requests.h"

using namespace link_detail;

namespace {

constexpr uint8_t CMD_SMS_NUMBER = 96;
constexpr uint8_t CMD_SMS_TEXT = 97;
constexpr uint8_t CMD_SMS_END = 98;
constexpr uint8_t CMD_MAIL_SENDER = 116;
constexpr uint8_t CMD_MAIL_RECIPIENT = 117;
constexpr uint8_t CMD_MAIL_SUBJECT = 118;
constexpr uint8_t CMD_MAIL_BODY = 119;
constexpr uint8_t CMD_SOCKET_PAYLOAD = 129;
constexpr uint8_t CMD_AT = 240;

int queue(Transaction &t, uint8_t id, const QByteArray &payload) {
    return send(t, id, bytes_of(payload), static_cast<uint16_t>(payload.size()), 0);
}

// A mail field as it travels: cut to 255 bytes, and shorter still where escaping would not
// let it fit one frame.
QByteArray mail_field(uint8_t id, const QByteArray &text) {
    QByteArray field = text.left(LINK_MAIL_FIELD_MAX);
    while (!frame_always_fits(id, counted(field))) {
        field.chop(1);
    }
    return field;
}

// Queues the opening piece and then the data in pieces; stops at the first refusal.
int queue_pieces(Transaction &t, uint8_t id, const QByteArray &data) {
    if (!queue(t, id, QByteArray(1, '\0'))) {
        return 0;
    }
    int offset = 0;
    for (int size : link_piece_sizes(data)) {
        if (!queue(t, id, counted(data.mid(offset, size)))) {
            return 0;
        }
        offset += size;
    }
    return 1;
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

int link_sms_send(const QByteArray &number, const QByteArray &text) {
    if (number.size() > LINK_MAX_TEXT_LENGTH || text.size() > LINK_MAX_TEXT_LENGTH) {
        return 0;
    }
    const QByteArray numberPayload = counted(number) + QByteArray(1, '\0');
    const QByteArray textPayload = counted(text);
    // Half an SMS is worse than none: refuse it whole when one frame could never be sent.
    if (!frame_always_fits(CMD_SMS_NUMBER, numberPayload) ||
        !frame_always_fits(CMD_SMS_TEXT, textPayload)) {
        return 0;
    }
    Transaction t;
    for (uint8_t id : {CMD_SMS_NUMBER, CMD_SMS_TEXT, CMD_SMS_END}) {
        t.state.cmdStatus[id] = CMD_STATUS_PENDING;
    }
    const int number_ok = queue(t, CMD_SMS_NUMBER, numberPayload);
    const int text_ok = queue(t, CMD_SMS_TEXT, textPayload);
    const int end_ok = queue(t, CMD_SMS_END, QByteArray());
    return number_ok && text_ok && end_ok ? 1 : 0;
}

void link_mail_set_content(const QByteArray &sender, const QByteArray &recipient,
                           const QByteArray &subject, const QByteArray &body) {
    Transaction t;
    queue(t, CMD_MAIL_RECIPIENT, counted(mail_field(CMD_MAIL_RECIPIENT, recipient)));
    queue(t, CMD_MAIL_SENDER, counted(mail_field(CMD_MAIL_SENDER, sender)));
    queue(t, CMD_MAIL_SUBJECT, counted(mail_field(CMD_MAIL_SUBJECT, subject)));
    t.state.cmdStatus[CMD_MAIL_BODY] = CMD_STATUS_PENDING;
    queue_pieces(t, CMD_MAIL_BODY, body);
}

int link_socket_append_payload(const QByteArray &data) {
    Transaction t;
    return queue_pieces(t, CMD_SOCKET_PAYLOAD, data);
}

int link_send_at_command(const QByteArray &text) {
    const QByteArray payload = counted(text);
    if (text.size() > LINK_MAX_TEXT_LENGTH || !frame_always_fits(CMD_AT, payload)) {
        return 0;
    }
    Transaction t;
    t.state.cmdStatus[CMD_AT] = CMD_STATUS_PENDING;
    t.state.atResponse[0] = 0;
    return queue(t, CMD_AT, payload);
}
