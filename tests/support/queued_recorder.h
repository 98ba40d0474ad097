// Records signals emitted on other threads. QSignalSpy appends on the emitting thread while the
// test reads on its own; this recorder is reached by queued calls, so the test thread alone
// touches what it records. Wait with QTRY_* (which runs the event loop).
#pragma once

#include <QList>
#include <QObject>
#include <QVariant>

class QueuedRecorder : public QObject {
  public:
    template <typename Sender, typename Signal>
    QueuedRecorder(Sender *sender, Signal signal) {
        connect(
            sender, signal, this,
            [this](auto... args) { calls.append(QVariantList{QVariant::fromValue(args)...}); },
            Qt::QueuedConnection);
    }

    int count() const { return calls.size(); }
    QVariantList last() const { return calls.isEmpty() ? QVariantList() : calls.last(); }

    QList<QVariantList> calls;
};
