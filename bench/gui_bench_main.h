// The entry point of a benchmark program that needs a GUI application: headless unless told
// otherwise.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

// A named child widget or action, or null.
template <typename T>
T *child(const QObject &root, const char *name) {
    return root.findChild<T *>(QLatin1String(name));
}

// Runs the main thread's events (the module's queued signals) until `done` holds; false when
// `timeoutMs` passed first.
inline bool waitForEvents(const std::function<bool()> &done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.hasExpired(timeoutMs)) {
            return false;
        }
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return true;
}

inline int runGuiBenchmarks(int argc, char **argv, void (*registerAll)()) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
