// The line statistics in one line, for the inspector and the main window's Debug tab.
#pragma once

#include <QString>

#include "link_state.h"

QString trafficStatisticsLine(const LinkCounters &c, double framesPerSecond);
