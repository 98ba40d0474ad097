// Placeholder until the negotiating client lands: raw bytes through, never ready.
#include "telnet_client.h"
void TelnetClient::start(const SerialLineRequest &) {}
QByteArray TelnetClient::receive(const QByteArray &b) {
    return b;
}
void TelnetClient::send(const QByteArray &d) {
    outgoing_ += d;
}
QByteArray TelnetClient::takeOutgoing() {
    QByteArray o;
    o.swap(outgoing_);
    return o;
}
bool TelnetClient::ready() const {
    return false;
}
