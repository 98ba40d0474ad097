// The fixed-position forms must grow with the screen; Qt 5 would round a 150% screen to 200%.
// Call before the application object is made.
#pragma once

#include <QGuiApplication>

inline void enableHighDpiScaling() {
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}
