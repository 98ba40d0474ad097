#include "window_harness.h"

#include <QAction>
#include <QComboBox>
#include <QSettings>

#include "dlg_serial_port.h"
#include "main_window.h"
#include "virtual_module.h"

namespace testsupport {

void isolateSettings(const QTemporaryDir &folder) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    storeLastPort(QString());
}

void storeLastPort(const QString &port) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvinta"),
                       QStringLiteral("KOVA_TestTool"));
    if (port.isNull()) {
        settings.remove(QStringLiteral("SerialPort/LastSerialPort"));
    } else {
        settings.setValue(QStringLiteral("SerialPort/LastSerialPort"), port);
    }
}

std::unique_ptr<VirtualModule> startModule(QString *whyNot) {
    auto module = std::make_unique<VirtualModule>();
    module->setClock([] { return 1000.0; });
    if (!module->start()) {
        *whyNot = QStringLiteral("no pseudo-terminal: %1").arg(module->errorString());
        return nullptr;
    }
    return module;
}

bool connectThroughDialog(MainWindow &window, const VirtualModule &module) {
    window.offerExtraPort(module.devicePath());
    window.findChild<QAction *>(QStringLiteral("mnuSerialPortConnect"))->trigger();
    auto *dialog = window.findChild<DlgSerialPort *>();
    auto *ports = widget<QComboBox>(dialog, "cmbSerialPort");
    ports->setCurrentIndex(ports->findText(module.devicePath()));
    dialog->accept();
    return labelText(&window, "lblSerialStatus") == module.devicePath();
}

}  // namespace testsupport
