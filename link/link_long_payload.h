// Requests whose text may be long: SMS, mail content, socket payload and AT command. Mail
// bodies and socket payloads travel as append pieces: a count byte and up to 255 data bytes,
// opened by a piece with count 0.
#pragma once

#include <QByteArray>

constexpr int LINK_PIECE_MAX_DATA = 255;
constexpr int LINK_MAIL_FIELD_MAX = 255;

// Queues ids 96, 97 and 98; returns 0 when any of them was refused.
int link_sms_send(const QByteArray &number, const QByteArray &text);
// Recipient, sender and subject are cut to 255 bytes; the body goes in pieces.
void link_mail_set_content(const QByteArray &sender, const QByteArray &recipient,
                           const QByteArray &subject, const QByteArray &body);
// Returns 1 when every piece was queued, 0 at the first piece refused.
int link_socket_append_payload(const QByteArray &data);
int link_send_at_command(const QByteArray &text);

// Byte counts of the pieces that `data` is cut into: 255 each, fewer where escaping would
// not let a piece fit one frame.
QList<int> link_piece_sizes(const QByteArray &data);
