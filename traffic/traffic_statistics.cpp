#include "traffic_statistics.h"

#include <QCoreApplication>

QString trafficStatisticsLine(const LinkCounters &c, double framesPerSecond) {
    return QCoreApplication::translate(
               "TrafficStatistics",
               "Sent %1 frames (%2 bytes) · received %3 frames (%4 bytes) · rewrites %5 · NAKs "
               "received %6 · repeats dropped %7 · CRC errors %8 · overflows %9 · texts cut %10 "
               "· %11 frames/s")
        .arg(c.framesSent)
        .arg(c.bytesSent)
        .arg(c.framesReceived)
        .arg(c.bytesReceived)
        .arg(c.rewrites)
        .arg(c.naksReceived)
        .arg(c.repeatsDropped)
        .arg(c.crcErrors)
        .arg(c.overflows)
        .arg(c.textsCut)
        .arg(framesPerSecond, 0, 'f', 1);
}
