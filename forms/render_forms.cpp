// Renders every tab page, menu and dialog of the forms to PNG files, so that a layout change can
// be reviewed as a picture. Usage: kova_render_forms <folder>; QT_QPA_PLATFORM chooses the
// platform (offscreen works).
#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <cstdio>

#include "kova_version.h"
#include "ui_dlgabout.h"
#include "ui_dlgfwupdate.h"
#include "ui_dlgserialport.h"
#include "ui_mainwindow.h"

static bool save(QWidget *widget, const QDir &folder, const QString &name) {
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    // Let scroll bars and tab pages settle after show() or a page change.
    QApplication::processEvents();
    if (!widget->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

template <typename Form>
static bool renderDialog(const QDir &folder, const QString &name) {
    QDialog dialog;
    Form form;
    form.setupUi(&dialog);
    dialog.show();
    return save(&dialog, folder, name);
}

// Reads the output folder from the command line; false once a usage error has been printed.
// --help and --version print and exit from here.
static bool parseFolder(int argc, char *argv[], QString *folder) {
    QCoreApplication::setApplicationName(QStringLiteral("kova_render_forms"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KOVA_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Renders every tab page, menu and dialog of the forms to PNG files."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Not addHelpOption(): its --help-all would list Qt's own options, which this parser, run
    // before any application object can take them, rejects.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("folder"),
        QStringLiteral("Folder to write the pictures to; made if missing."));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool parsed = parser.parse(arguments);
    const QStringList positional = parser.positionalArguments();
    if (parsed && !parser.isSet(help) && !parser.isSet(version) && positional.size() == 1 &&
        !positional.first().isEmpty()) {
        *folder = positional.first();
        return true;
    }

    // Printing needs no display, so a core application is enough; the help text wants one.
    QCoreApplication core(argc, argv);
    if (parsed && parser.isSet(version))
        parser.showVersion();  // exits
    if (parsed && parser.isSet(help))
        parser.showHelp();  // exits
    const QString why = parsed ? QStringLiteral("Name one output folder.") : parser.errorText();
    std::fprintf(stderr, "%s\n\n%s", qPrintable(why), qPrintable(parser.helpText()));
    return false;
}

int main(int argc, char *argv[]) {
    QString folderName;
    if (!parseFolder(argc, argv, &folderName))
        return 2;
    QApplication app(argc, argv);
    const QDir folder(folderName);
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folderName));
        return 1;
    }

    bool ok = true;
    QMainWindow window;
    Ui::MainWindow ui;
    ui.setupUi(&window);
    // The serial field sits in the status bar once the window is running; show it there.
    window.statusBar()->addPermanentWidget(ui.frmSerialStatus);
    ui.frmSerialStatus->setStyleSheet(QStringLiteral("background-color:orange;"));
    window.show();
    for (int i = 0; i < ui.tabWidget->count(); ++i) {
        ui.tabWidget->setCurrentIndex(i);
        ok &= save(&window, folder,
                   QStringLiteral("main-%1-%2").arg(i).arg(ui.tabWidget->widget(i)->objectName()));
    }
    // Until the audio settings have been read, the audio box offers only its read button.
    ui.tabWidget->setCurrentWidget(ui.tab_CallHandlingI2S);
    ui.frm_I2S_AudioSettings->hide();
    ui.frm_I2S_GetValuesFirst->move(0, 20);
    ok &= save(&window, folder, QStringLiteral("main-1-tab_CallHandlingI2S-unread"));

    for (QMenu *menu : {ui.mnuSerialPort, ui.menuFirmware_Update, ui.mnuHelp}) {
        menu->popup(window.geometry().topLeft());
        ok &= save(menu, folder, QStringLiteral("menu-") + menu->objectName());
        menu->hide();
    }

    ok &= renderDialog<Ui::dlgAbout>(folder, QStringLiteral("dlgAbout"));
    ok &= renderDialog<Ui::DlgSerialPort>(folder, QStringLiteral("DlgSerialPort"));
    ok &= renderDialog<Ui::Dlgfwupdate>(folder, QStringLiteral("Dlgfwupdate"));
    return ok ? 0 : 1;
}
