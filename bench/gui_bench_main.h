// The entry point of a benchmark program that needs a GUI application: headless unless told
// otherwise.
#pragma once

#include <benchmark/benchmark.h>
#include <QApplication>

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
