// What every test of the window needs: finding a widget by name, reading a status field, a
// virtual module to connect to, and connecting through the port dialog as the user does.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>

class MainWindow;
class VirtualModule;

namespace testsupport {

constexpr int kIoTimeoutMs = 15000;  // generous: I/O on a loaded machine, never a protocol timer

template <typename T = QWidget>
T *widget(const QWidget *root, const char *name) {
    T *found = root->findChild<T *>(QLatin1String(name));
    if (found == nullptr) {
        qFatal("no widget %s", name);
    }
    return found;
}

inline QString labelText(const QWidget *root, const char *label) {
    return widget<QLabel>(root, label)->text();
}

inline QString styleOf(const QWidget *root, const char *frame) {
    return widget<QFrame>(root, frame)->styleSheet();
}

// A status field as "<style sheet>|<text>".
inline QString field(const QWidget *root, const char *frame, const char *label) {
    return styleOf(root, frame) + QLatin1Char('|') + labelText(root, label);
}

// Points the tool's settings at a scratch folder for the life of the process, and forgets
// the last port used.
void isolateSettings(const QTemporaryDir &folder);
void storeLastPort(const QString &port);

// A running virtual module with a frozen clock (it never repeats itself), or null with the
// reason when this machine has no pseudo-terminals.
std::unique_ptr<VirtualModule> startModule(QString *whyNot);

// Chooses the module's device in the port dialog and confirms it.
bool connectThroughDialog(MainWindow &window, const VirtualModule &module);

}  // namespace testsupport
