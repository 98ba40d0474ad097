// The line statistics in one line, for the inspector and the main window's Debug tab.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include "link_state.h"

QString trafficStatisticsLine(const LinkCounters &c, double framesPerSecond);

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
