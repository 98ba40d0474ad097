// The table of frames the inspector shows, newest at the bottom: over a live capture, or over
// the records of a capture file.
#pragma once

#include <QAbstractTableModel>
#include <deque>
#include <vector>

#include "link_traffic.h"

class TrafficCapture;

class TrafficModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { Time, Direction, Seq, Command, Status, Length, Payload, Outcome, ColumnCount };

    explicit TrafficModel(TrafficCapture *live, QObject *parent = nullptr);
    // `masked` says of each loaded record whether its file says it was masked.
    TrafficModel(std::deque<TrafficRecord> loaded, std::vector<bool> masked,
                 QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    const TrafficRecord &record(int row) const;
    // Whether the row came from a file masked already.
    bool masked(int row) const;
    const std::deque<TrafficRecord> &loadedRecords() const { return loaded_; }
    // What a cell shows, secrets masked.
    QString text(int row, int column) const;

    // Milliseconds since the frame before it on the line instead of the time of day.
    void setDeltaTime(bool delta);
    bool deltaTime() const { return delta_; }
    // While paused no rows are added; rows the capture drops still go. Unpausing catches up.
    void setPaused(bool paused);
    bool paused() const { return paused_; }

  private:
    const std::deque<TrafficRecord> &source() const;
    size_t sourceIndex(int row) const;
    void aboutToDrop(int count);
    void dropped();
    void changed(int firstChangedRow);
    void catchUp();

    TrafficCapture *live_ = nullptr;
    std::deque<TrafficRecord> loaded_;
    std::vector<bool> loadedMasked_;
    // The capture's number (TrafficCapture::firstNumber() counting) of row 0.
    quint64 first_ = 0;
    int rows_ = 0;
    int removing_ = 0;
    bool delta_ = false;
    bool paused_ = false;
};
