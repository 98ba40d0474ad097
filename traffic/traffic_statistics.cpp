#include "traffic_statistics.h"

#include <QCoreApplication>

double FrameRate::sample(const LinkCounters &c) {
    const quint64 frames = c.framesSent + c.framesReceived;
    const quint64 counted = frames >= frames_ ? frames - frames_ : frames;
    const double seconds = since_.restart() / 1000.0;
    frames_ = frames;
    return seconds > 0 ? double(counted) / seconds : 0;
}

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
