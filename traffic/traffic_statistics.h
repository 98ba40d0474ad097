// The line statistics in one line, for the inspector and the main window's Debug tab, and the
// same line for the frames of a capture file.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <deque>

#include "link_state.h"
#include "link_traffic.h"

// What happened first, then each drop count once it is not 0.
QString trafficStatisticsLine(const LinkCounters &c, double framesPerSecond);
// Every count, one to a line, for where the line would clip.
QString trafficStatisticsToolTip(const LinkCounters &c);
// Counted from the records; the link's own counts that no frame shows (texts cut) are left out,
// and the rate is the average over the time the capture spans.
QString captureStatisticsLine(const std::deque<TrafficRecord> &records);

// Frames each way per second since the last sample; after a reset of the counters the count
// starts again from nothing.
class FrameRate {
  public:
    FrameRate() { since_.start(); }
    double sample(const LinkCounters &c);

  private:
    QElapsedTimer since_;
    quint64 frames_ = 0;
};
