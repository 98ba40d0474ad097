// Entry point: the window, and the command line for connecting at start or running against
// the virtual module.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "firmware_list.h"
#include "high_dpi.h"
#include "main_window.h"
#include "update_server.h"
#include "virtual_module.h"

namespace {

// --help and --version print and leave; they must work without a display.
bool onlyPrints(int argc, char *argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v" ||
            arg == "--version") {
            return true;
        }
    }
    return false;
}

// The window is widgets only: under X, Qt would still load the software OpenGL stack at the first
// show, about half the program's memory, for nothing. A value the user set stands.
void leaveOpenGlUnloaded() {
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) {
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    }
}

void describe(QCommandLineParser &parser, const QList<QCommandLineOption> &options) {
    QCoreApplication::setApplicationName(QStringLiteral("KOVA Test Tool"));
    QCoreApplication::setApplicationVersion(QLatin1String(MainWindow::VersionString));
    parser.setApplicationDescription(
        QStringLiteral("Exercises a KOVA cellular module over its serial line."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions(options);
}

}  // namespace

int main(int argc, char *argv[]) {
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Connect to serial port <name> at start: a serial port, "
                       "rfc2217://HOST:PORT or tcp://HOST:PORT."),
        QStringLiteral("name"));
    const QCommandLineOption simulateOption(
        QStringLiteral("simulate"),
        QStringLiteral("Run a virtual module on a pseudo-terminal and connect to it, and serve "
                       "a demo firmware list on 127.0.0.1:7776."));
    const QCommandLineOption updateServerOption(
        QStringLiteral("update-server"),
        QStringLiteral("Fetch the firmware list from <host> for this run (the setting "
                       "UpdateServer/Host otherwise, localhost by default)."),
        QStringLiteral("host"));
    const QList<QCommandLineOption> options{portOption, simulateOption, updateServerOption};
    QCommandLineParser parser;
    if (onlyPrints(argc, argv)) {
        QCoreApplication core(argc, argv);
        describe(parser, options);
        // --version names the program as its man page and package do. Only here: a display
        // name set for the window would be appended to every title bar under X.
        QCoreApplication::setApplicationName(QStringLiteral("kova-test-tool"));
        parser.process(core);  // prints and exits
        return 0;
    }
    enableHighDpiScaling();
    leaveOpenGlUnloaded();
    QApplication app(argc, argv);
    describe(parser, options);
    parser.process(app);
    if (parser.isSet(simulateOption) && parser.isSet(portOption)) {
        const QString refusal = QCoreApplication::translate(
            "main",
            "--simulate connects to its own virtual module: leave out --port, or leave "
            "out --simulate to use that port.");
        std::fprintf(stderr, "%s\n", qPrintable(refusal));
        return 1;
    }

    // Made before the window so that it outlives it: the window's worker closes its side of
    // the line first.
    std::unique_ptr<VirtualModule> virtualModule;
    std::unique_ptr<UpdateServer> updateServer;
    QString startPort = parser.value(portOption);
    if (parser.isSet(simulateOption)) {
        virtualModule = std::make_unique<VirtualModule>();
        if (!virtualModule->start()) {
            QMessageBox::critical(nullptr, QStringLiteral("KOVA Test Tool"),
                                  QStringLiteral("The virtual module could not start: %1")
                                      .arg(virtualModule->errorString()));
            return 1;
        }
        startPort = virtualModule->devicePath();
        updateServer = std::make_unique<UpdateServer>();
        if (!updateServer->listen(kUpdateServerPort)) {
            updateServer.reset();
        }
    }

    int exitCode = 0;
    {
        MainWindow window;
        // The demo's list is served on loopback; a host given on the command line still wins.
        if (parser.isSet(updateServerOption)) {
            window.setUpdateServerHost(parser.value(updateServerOption));
        } else if (updateServer) {
            window.setUpdateServerHost(QStringLiteral("127.0.0.1"));
        }
        if (!startPort.isEmpty()) {
            window.offerExtraPort(startPort);  // for connecting again after a Disconnect
        }
        if (virtualModule && !updateServer) {
            window.showStandingNote(
                QCoreApplication::translate("main",
                                            "Port %1 is taken: the demo firmware list is not "
                                            "served.")
                    .arg(kUpdateServerPort));
        }
        window.show();
        if (!startPort.isEmpty()) {
            QTimer::singleShot(0, &window,
                               [&window, startPort] { window.openSerialPort(startPort); });
        }
        exitCode = QApplication::exec();
    }
    return exitCode;
}
