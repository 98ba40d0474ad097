// The traffic inspector: a window of every frame both ways, live from a capture or opened from
// a capture file, with a filter, the selected frame's fields, copy as CSV, pcapng save and the
// line statistics.
#pragma once

#include <QTimer>
#include <QWidget>
#include <deque>
#include <vector>

#include "link_traffic.h"
#include "traffic_statistics.h"

class QAbstractItemModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class TrafficCapture;
class TrafficFilter;
class TrafficModel;

class TrafficWindow : public QWidget {
    Q_OBJECT

  public:
    // The live view; the capture must outlive the window.
    explicit TrafficWindow(TrafficCapture *live, QWidget *parent = nullptr);
    // A window of its own (deleted when closed) with the frames of a capture file; null with
    // the reason in whyNot when the file cannot be read.
    static TrafficWindow *openCapture(const QString &path, QWidget *parent, QString *whyNot);

    // Rows as the view shows them (filtered), in the given order, as CSV with a header line.
    QString csvOfRows(const QList<int> &rows) const;
    // Every row the view holds, filtered or not, as pcapng; passwords masked unless included.
    bool saveCapture(const QString &path, bool includePasswords, QString *whyNot) const;
    void setFilterText(const QString &text);
    void setPaused(bool paused);
    void setDeltaTime(bool delta);
    QAbstractItemModel *viewModel() const;
    TrafficModel *trafficModel() const { return model_; }
    QTableView *table() const { return table_; }
    // The note on rows dropped for the row limit; empty while none were.
    QString droppedNote() const;
    // The statistics line: the link's counters live, what the file holds when opened from one.
    QString statisticsText() const;
    // The detail pane: the fields of the frame last made current, and its bytes.
    QString detailText() const;
    // Asks where to save the capture (as pcapng, the suffix added when none is typed).
    void saveWithDialog();

  private:
    TrafficWindow(TrafficCapture *live, std::deque<TrafficRecord> loaded, std::vector<bool> masked,
                  QWidget *parent);
    void copySelection();
    void openWithDialog();
    void refreshStatistics();
    void refreshDropped();
    void showDetail(const QModelIndex &current);

    TrafficCapture *live_;
    TrafficModel *model_;
    TrafficFilter *filter_;
    QTableView *table_;
    QLineEdit *filterEdit_;
    QPushButton *pauseButton_;
    QComboBox *timeChoice_;
    QCheckBox *includePasswords_;
    QPlainTextEdit *detail_;
    QLabel *droppedLabel_;
    QLabel *statistics_;
    QTimer statisticsTimer_;
    // Typing filters once the user pauses: a filter over a full capture takes a moment.
    QTimer filterDelay_;
    FrameRate frameRate_;
    double framesPerSecond_ = 0;
    bool followBottom_ = true;
};
