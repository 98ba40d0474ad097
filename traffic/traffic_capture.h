// The frames of the line as the inspector keeps them: taken from the link in batches, so a
// window opened later still shows what crossed the line while it was closed.
#pragma once

#include <QObject>
#include <QTimer>
#include <deque>

#include "link_traffic.h"

class TrafficCapture : public QObject {
    Q_OBJECT

  public:
    static constexpr int kMaxRows = 100000;
    // Batches no more often than this, so a busy line costs one view update per interval.
    static constexpr int kTakeIntervalMs = 100;

    // Turns the link's traffic record on, and off again when destroyed.
    explicit TrafficCapture(QObject *parent = nullptr);
    ~TrafficCapture() override;

    // Oldest first, ids rising.
    const std::deque<TrafficRecord> &records() const { return records_; }
    // How many records went before the first one kept, dropped or cleared: adding it to an
    // index into records() numbers a record for as long as the capture lives.
    quint64 firstNumber() const { return firstNumber_; }
    // Records dropped for the row limit since the last clear().
    quint64 droppedRows() const { return dropped_; }
    // Changes the link's own backlog dropped before they were taken.
    quint64 lostChanges() const { return lost_; }

    int maxRows() const { return maxRows_; }
    // Drops the oldest records at once when they exceed the new limit.
    void setMaxRows(int rows);
    void clear();

    // One batch: everything the link recorded since the last, applied now. The timer calls it.
    void takeNow();

  signals:
    // The oldest `count` records go when the slots return; rowsDropped follows.
    void rowsAboutToBeDropped(int count);
    void rowsDropped(int count);
    // Once per batch, after any drop: outcomes changed from index firstChangedRow (-1: none)
    // up to the records that were there before, and appendedRows records were added at the end.
    void recordsChanged(int firstChangedRow, int appendedRows);

  private:
    void dropFront(int count);

    std::deque<TrafficRecord> records_;
    quint64 firstNumber_ = 0;
    quint64 dropped_ = 0;
    quint64 lost_ = 0;
    int maxRows_ = kMaxRows;
    QTimer timer_;
};
