// Requests whose text may be long: SMS, mail content, socket payload and AT command. Mail
// bodies and socket payloads travel as append pieces: a count byte and up to 255 data bytes,
// opened by a piece with count 0. SMS, mail and socket payloads are transfers
// (link_transfers.h): their frames go one at a time, and a refusal queues nothing of them.
// Results as in link_requests.h.
#pragma once

#include <QByteArray>
#include <QList>

#include "command_catalogue.h"
#include "link_state.h"

constexpr int LINK_PIECE_MAX_DATA = 255;

// Whether an SMS text fits its one frame: its field's limit, and its bytes once escaped.
bool link_sms_text_fits(const QByteArray &text);
// Number, text and send as one transfer. Refused with LINK_REFUSED_SMS_IN_PROGRESS while
// another SMS is in progress: the module's reply to a send does not say which SMS it answers, so
// one is sent only once the one before has its outcome (a reply, a refusal, or the link's give-up
// after LINK_REPLY_LIFETIME_SECONDS).
int link_sms_send(const QByteArray &number, const QByteArray &text,
                  LinkTransferId *transfer = nullptr);
// 1 while an SMS is queued, on its way or owed its reply.
int link_sms_in_progress();
// Recipient, sender and subject are cut to what their fields hold (less where escaping needs
// it); the body goes in pieces. Joins the mail transfer that link_mail_set_server began; only
// a full transfer queue refuses it.
int link_mail_set_content(const QByteArray &sender, const QByteArray &recipient,
                          const QByteArray &subject, const QByteArray &body);
// Begins a socket transfer with the payload's pieces; link_socket_send ends it. Only a full
// transfer queue refuses it.
int link_socket_append_payload(const QByteArray &data, LinkTransferId *transfer = nullptr);
int link_send_at_command(const QByteArray &text);

// Byte counts of the pieces that `data` is cut into: 255 each, fewer where escaping would
// not let a piece fit one frame.
QList<int> link_piece_sizes(const QByteArray &data);
