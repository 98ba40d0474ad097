// The link's notifier: how the window and the serial worker hear about traffic.
#pragma once

#include <QObject>

class Module3G : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

  signals:
    // A received message was handled; its fields in LinkState are up to date.
    void command_received(uchar cmdId, bool isReply);
    // A frame was put into the transmit table.
    void command_queued();
    // The transfer that a send handed back ended: the module's reply status, or
    // CMD_STATUS_NAK when it refused a frame of it.
    void transfer_ended(uint transferId, uchar status);
};
