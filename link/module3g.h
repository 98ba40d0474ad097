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
    // The commit frame of a transfer that a send handed back was written for the first time.
    void transfer_committed(uint transferId);
    // The transfer that a send handed back ended: the module's reply status, CMD_STATUS_NAK
    // when it refused a frame of it, CMD_STATUS_NO_REPLY or CMD_STATUS_NOT_SENT when the link
    // gave up on it, CMD_STATUS_INTERRUPTED when the port's loss ended it.
    void transfer_ended(uint transferId, uchar status);
    // A request of this command (the one whose status reports it) was written
    // LINK_SILENT_AFTER_WRITES times and the module acknowledged none of them.
    void module_silent(uchar cmdId);
    // A reply that nothing was owed: an SMS send's after its own was given up on, say.
    void reply_unplaced(uchar cmdId, uchar status);
};
