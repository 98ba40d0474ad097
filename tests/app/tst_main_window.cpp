// The window's shell: start-up, connecting through the dialog against the virtual module, the
// Debug and Engineering tabs, how a refusal is shown, the about box and the menus.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMetaMethod>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <memory>

#include "dlg_serial_port.h"
#include "frames.h"
#include "link_harness.h"
#include "link_requests.h"
#include "main_window.h"
#include "modal_box_watcher.h"
#include "traffic_window.h"
#include "virtual_module.h"
#include "window_harness.h"

using testsupport::field;
using testsupport::kIoTimeoutMs;
using testsupport::labelText;
using testsupport::widget;

namespace {

QList<QAction *> reconnectActions(QWidget *window) {
    QList<QAction *> out;
    for (QAction *action : widget<QMenu>(window, "mnuSerialPort")->actions()) {
        if (action->text().startsWith(QStringLiteral("Connect to "))) {
            out << action;
        }
    }
    return out;
}

QStringList warnings;
void recordWarnings(QtMsgType type, const QMessageLogContext &, const QString &text) {
    if (type == QtWarningMsg) {
        warnings << text;
    }
}

const QString notConnected = QStringLiteral("background-color:orange;|Not Connected");

// Whether connect-by-name finds a child "<object>" with a signal "<signal>" that slot
// "on_<object>_<signal>" can take.
bool connectsByName(const QObject &window, const QMetaMethod &slot) {
    const QByteArray name = slot.name();
    for (const QObject *child : window.findChildren<QObject *>()) {
        const QByteArray prefix = "on_" + child->objectName().toLatin1() + '_';
        if (child->objectName().isEmpty() || !name.startsWith(prefix)) {
            continue;
        }
        const QMetaObject *meta = child->metaObject();
        for (int i = 0; i < meta->methodCount(); ++i) {
            const QMetaMethod signal = meta->method(i);
            if (signal.methodType() == QMetaMethod::Signal &&
                signal.name() == name.mid(prefix.size()) &&
                QMetaObject::checkConnectArgs(signal, slot)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir;
    std::unique_ptr<ModalBoxWatcher> boxes;
    std::unique_ptr<VirtualModule> module;
    std::unique_ptr<MainWindow> window;

    void startModule() {
        QString whyNot;
        module = testsupport::startModule(&whyNot);
        if (!module) {
            QSKIP(qPrintable(whyNot));
        }
    }
    QString serialField() const {
        return field(window.get(), "frmSerialStatus", "lblSerialStatus");
    }
    QString atField() const {
        return field(window.get(), "frame_AtCommandStatus", "label_AtCommandStatus");
    }
    void sendAtCommand(const QString &command) {
        widget<QLineEdit>(window.get(), "lineEdit_SendAtCommand")->setText(command);
        widget<QPushButton>(window.get(), "pushButton_SendAtCommand")->click();
    }

  private slots:
    void initTestCase() { QVERIFY(settingsDir.isValid()); }

    void init() {
        testsupport::isolateSettings(settingsDir);
        boxes = std::make_unique<ModalBoxWatcher>();
    }

    void cleanup() {
        window.reset();
        module.reset();
        boxes.reset();
    }

    void startsDisconnected() {
        window = std::make_unique<MainWindow>();
        QCOMPARE(serialField(), notConnected);
        auto *tabs = widget<QTabWidget>(window.get(), "tabWidget");
        QCOMPARE(tabs->indexOf(widget(window.get(), "tab_Engineering")), -1);
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(atField(), QStringLiteral("|"));
        QVERIFY(reconnectActions(window.get()).isEmpty());
        QVERIFY(boxes->boxes.isEmpty());
        // A request shows it waits at once, though no frame will come to refresh the window.
        widget<QPushButton>(window.get(), "pushButton_GetRSSI")->click();
        QCOMPARE(labelText(window.get(), "label_statusOperationStatus"),
                 "Request sent. Waiting for reply...");
    }

    // Connect-by-name connects every on_<object>_<signal> slot but the few connected by hand;
    // a misspelt one is neither, and its warning is not hidden.
    void everySlotIsConnected() {
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordWarnings);
        window = std::make_unique<MainWindow>();
        qInstallMessageHandler(previous);
        QVERIFY2(warnings.filter(QStringLiteral("connectSlotsByName")).isEmpty(),
                 qPrintable(warnings.join('\n')));
        const QMetaObject *meta = window->metaObject();
        QStringList unconnected;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod slot = meta->method(i);
            const QString signature = QString::fromLatin1(slot.methodSignature());
            if (slot.methodType() == QMetaMethod::Slot && signature.startsWith("on_") &&
                !MainWindow::slotsNotConnectedByName().contains(signature) &&
                !connectsByName(*window, slot)) {
                unconnected << signature;
            }
        }
        QVERIFY2(unconnected.isEmpty(), qPrintable(unconnected.join(", ")));
    }

    // The inspector opened from the Tools menu shows a request to the virtual module, its
    // acknowledgement and its reply, and the Debug tab counts them.
    void trafficInspectorFromTheMenu() {
        startModule();
        window = std::make_unique<MainWindow>();
        window->openSerialPort(module->devicePath());
        for (QAction *action : window->findChildren<QAction *>()) {
            if (action->text() == QStringLiteral("Traffic Inspector...")) {
                action->trigger();
            }
        }
        auto *inspector = window->findChild<TrafficWindow *>();
        QVERIFY(inspector != nullptr && inspector->isVisible());
        inspector->setFilterText(QStringLiteral("a1"));
        widget<QPushButton>(window.get(), "pushButton_GetRSSI")->click();
        QTRY_COMPARE_WITH_TIMEOUT(inspector->viewModel()->rowCount(), 2, kIoTimeoutMs);
        inspector->setFilterText(QString());
        QTRY_VERIFY_WITH_TIMEOUT(inspector->viewModel()->rowCount() >= 4, kIoTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            labelText(window.get(), "lblDebugTrafficStatistics").startsWith("Sent 2 frames"),
            kIoTimeoutMs);
    }

    // Choosing a port while connected closes the open one first, never ending in the "already
    // connected" warning. A name the system does not list, typed in, is taken, stored and
    // offered again after a Disconnect.
    void connectingThroughTheDialog() {
        startModule();
        const QString path = settingsDir.filePath(QStringLiteral("kova-link"));
        QVERIFY(module->createLink(path));
        window = std::make_unique<MainWindow>();
        QVERIFY(testsupport::connectThroughDialog(*window, *module));
        QCOMPARE(DlgSerialPort::lastUsedPort(), module->devicePath());
        QVERIFY(testsupport::connectThroughDialog(*window, *module));
        auto *dialog = window->findChild<DlgSerialPort *>();
        QAction *connect = window->findChild<QAction *>(QStringLiteral("mnuSerialPortConnect"));
        connect->trigger();
        widget<QComboBox>(dialog, "cmbSerialPort")->setCurrentText(" " + path);
        dialog->accept();
        QCOMPARE(DlgSerialPort::lastUsedPort(), path);
        QVERIFY2(boxes->boxes.isEmpty(), qPrintable(boxes->titles().join(',')));
        window->findChild<QAction *>(QStringLiteral("mnuSerialPortDisconnect"))->trigger();
        QCOMPARE(serialField(), notConnected);
        connect->trigger();
        dialog->accept();
        QCOMPARE(serialField(), "background-color:darkgreen;|" + path);
    }

    // A note given at start stays through the passing messages that come after it.
    void standingNoteStays() {
        window = std::make_unique<MainWindow>();
        window->show();
        window->showStandingNote(QStringLiteral("Port 7776 is taken"));
        window->closeSerialPort();
        const QList<QLabel *> labels = window->statusBar()->findChildren<QLabel *>();
        QVERIFY(std::any_of(labels.cbegin(), labels.cend(), [](const QLabel *label) {
            return label->isVisible() && label->text() == QLatin1String("Port 7776 is taken");
        }));
    }

    // The serial field keeps the form's font through every change, so its texts fit it.
    void serialFieldKeepsItsFont() {
        window = std::make_unique<MainWindow>();
        window->show();
        auto *label = widget<QLabel>(window.get(), "lblSerialStatus");
        const int pointSize = window->font().pointSize();
        window->openSerialPort(QStringLiteral("/dev/kova-no-such-port"));
        window->closeSerialPort();
        QCoreApplication::processEvents();
        QCOMPARE(label->font().pointSize(), pointSize);
        QVERIFY(label->sizeHint().width() <= label->width());
    }

    // A second open while the first is on its way to the worker is refused with a message.
    void secondConnectWhileOpeningIsRefused() {
        startModule();
        window = std::make_unique<MainWindow>();
        const QString device = module->devicePath();
        QTimer::singleShot(0, window.get(), [this, device] { window->openSerialPort(device); });
        window->openSerialPort(device);
        QCOMPARE(serialField(), "background-color:darkgreen;|" + device);
        QCOMPARE(boxes->boxes.size(), 1);
        QCOMPARE(
            boxes->boxes[0].text,
            QStringLiteral("Still connecting to serial port %1. Wait for it, then connect again.")
                .arg(device));
    }

    void cancelStoresNothing() {
        testsupport::storeLastPort(QStringLiteral("/dev/ttyKOVA9"));
        window = std::make_unique<MainWindow>();
        window->findChild<QAction *>(QStringLiteral("mnuSerialPortConnect"))->trigger();
        window->findChild<DlgSerialPort *>()->reject();
        QCOMPARE(DlgSerialPort::lastUsedPort(), QStringLiteral("/dev/ttyKOVA9"));
        QCOMPARE(serialField(), notConnected);
    }

    void reconnectActionIsAddedOnce() {
        startModule();
        testsupport::storeLastPort(module->devicePath());
        window = std::make_unique<MainWindow>();
        window->updateSerialPortMenuLastUsed();
        QCOMPARE(reconnectActions(window.get()).size(), 1);
        QAction *reconnect = reconnectActions(window.get()).first();
        QCOMPARE(reconnect->text(), QStringLiteral("Connect to ") + module->devicePath());
        QCOMPARE(reconnect->shortcut(), QKeySequence(QStringLiteral("Ctrl+K")));
        reconnect->trigger();
        QCOMPARE(labelText(window.get(), "lblSerialStatus"), module->devicePath());
        reconnect->trigger();  // already connected: a warning, no change
        QCOMPARE(boxes->titles(), QStringList{QStringLiteral("Serial port")});
        QCOMPARE(boxes->boxes[0].text, QStringLiteral("You are already connected to serial port ") +
                                           module->devicePath());
    }

    void generator_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("box");         // the warning's text, or empty
        QTest::addColumn<QStringList>("labels");  // id, seq, status, payload, crc, frame
        QTest::newRow("one token")
            << "7E"
            << "The data length entered is too small.\r\nInvalid data." << QStringList();
        QTest::newRow("status id without status")
            << "20 01"
            << "The data length entered is too small for command id 20.\r\nInvalid data."
            << QStringList();
        QTest::newRow("control frame with payload")
            << "05 01 AA BB" << QString()
            << QStringList{"05", "01", "N/A", "AA BB ", "EB B0", "7E 05 01 AA BB EB B0 CE "};
        QTest::newRow("payload as typed, spaces collapse")
            << "  21 7   0 a " << QString()
            << QStringList{"21", "07", "00", "A ", "E1 E0", "7E 21 07 00 0A E1 E0 CE "};
        QTest::newRow("escaped sequence number")
            << "60 7E 00 03 31 32 33" << QString()
            << QStringList{"60",           "7E",    "00",
                           "03 31 32 33 ", "8B 65", "7E 60 9E 7E 00 03 31 32 33 8B 65 CE "};
        QTest::newRow("strtol reading")
            << "0xa1 zz 00" << QString()
            << QStringList{"A1", "00", "00", "", "46 30", "7E A1 00 00 46 30 CE "};
        QTest::newRow("too long for a frame")
            << "21 01 00" + QStringLiteral(" 7E").repeated(300) << QString()
            << QStringList{"21", "01", "00", QStringLiteral("7E ").repeated(300), "", ""};
    }
    void generator() {
        QFETCH(QString, input);
        QFETCH(QString, box);
        QFETCH(QStringList, labels);
        window = std::make_unique<MainWindow>();
        auto *line = widget<QLineEdit>(window.get(), "lineEdit_CrcCalc");
        line->setText(input);
        QTest::keyClick(line, Qt::Key_Return);  // Enter does what the button does
        QTRY_COMPARE(boxes->boxes.size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty()) {
            QCOMPARE(boxes->boxes[0].title, QStringLiteral("Incomplete Payload"));
            QCOMPARE(boxes->boxes[0].text, box);
            return;
        }
        QStringList shown;
        for (const char *name :
             {"lblDebugGenMsgCmdId", "lblDebugGenMsgSeqNr", "lblDebugGenMsgStatus",
              "lblDebugGenMsgPayload", "lblDebugGenMsgCrc", "lblDebugGeneratedMessage"}) {
            shown << labelText(window.get(), name);
        }
        QCOMPARE(shown, labels);
        const auto s = link_get_state();
        QVERIFY(std::none_of(s->txTable.cbegin(), s->txTable.cend(),
                             [](const TxSlot &slot) { return slot.occupied(); }));  // nothing sent
    }

    void logKeepsTheNewestWholeEntries() {
        window = std::make_unique<MainWindow>();
        auto *log = widget<QPlainTextEdit>(window.get(), "edtDebugLastMessages");
        const QByteArray frame = testsupport::frame(CMD_SOCKET_PAYLOAD, 1, 0, QByteArray(40, 'x'));
        for (int i = 0; i < 400; ++i) {
            QByteArray numbered = frame;
            numbered[2] = char(i % 251);
            window->updateLastCommandSent(numbered);
        }
        const QString text = log->toPlainText();
        QVERIFY(text.size() <= 20480);
        QVERIFY(text.size() > 20480 - 200);  // only as many entries as needed were dropped
        const QRegularExpression entry(
            QStringLiteral("^\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d: 7E 81 [0-9A-F]{2}( [0-9A-F]{2})+$"));
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            QVERIFY2(entry.match(line).hasMatch(), qPrintable(line));
        }
        QVERIFY(lines.last().contains(QStringLiteral(": 7E 81 94 ")));  // the 400th: 399 % 251
    }

    // The log shows the password as written; a copy of all of it, or of the password alone,
    // has it masked.
    void logCopiesMasked_data() {
        QTest::addColumn<bool>("passwordOnly");
        QTest::newRow("whole log") << false;
        QTest::newRow("the password's bytes") << true;
    }
    void logCopiesMasked() {
        QFETCH(bool, passwordOnly);
        window = std::make_unique<MainWindow>();
        auto *log = widget<QPlainTextEdit>(window.get(), "edtDebugLastMessages");
        window->updateLastCommandSent(testsupport::frame(CMD_GET_RSSI, 1));
        window->updateLastCommandSent(
            testsupport::frame(CMD_APN_SET, 2, 0, QByteArray("\x01w\x00\x06secret", 10)));
        const QString secret = QByteArray("secret").toHex(' ').toUpper();
        const int at = passwordOnly ? log->toPlainText().indexOf(secret) : 0;
        QTextCursor selection(log->document());
        selection.setPosition(at);
        selection.setPosition(passwordOnly ? at + secret.size() : log->toPlainText().size(),
                              QTextCursor::KeepAnchor);
        log->setTextCursor(selection);
        log->copy();
        const QString copied = QApplication::clipboard()->text();
        QCOMPARE(copied.count('\n'), passwordOnly ? 0 : 1);
        QVERIFY2(copied.contains("2A 2A 2A 2A 2A 2A") && !copied.contains(secret),
                 qPrintable(copied));
    }

    void atCommandRoundTrip() {
        startModule();
        window = std::make_unique<MainWindow>();
        window->openSerialPort(module->devicePath());
        sendAtCommand(QStringLiteral("AT"));
        QTRY_COMPARE_WITH_TIMEOUT(
            atField(), QStringLiteral("background-color:green;|AT command executed successfully."),
            kIoTimeoutMs);
        QVERIFY(widget<QPlainTextEdit>(window.get(), "plainTextEdit_AtCommandResponse")
                    ->toPlainText()
                    .contains(QStringLiteral("OK")));
        // Every frame written is logged on the Debug tab.
        QTRY_VERIFY_WITH_TIMEOUT(widget<QPlainTextEdit>(window.get(), "edtDebugLastMessages")
                                     ->toPlainText()
                                     .contains(QStringLiteral(": 7E F0 01 00 02 41 54 ")),
                                 kIoTimeoutMs);
    }

    // Boxes come in their order, each once, also when a refresh inside the first shows the
    // second; a second refusal is a second box.
    void refusalBoxesInOrder() {
        window = std::make_unique<MainWindow>();
        testsupport::editLink([](LinkState &s) {
            s.nakCount[CMD_AT_COMMAND] = 1;
            s.nakCount[CMD_MAIL_BODY] = 1;
        });
        boxes->whileOpen = [this](const ModalBoxWatcher::Box &) { window->update_UI(0, false); };
        window->update_UI(0, false);
        testsupport::editLink([](LinkState &s) { s.nakCount[CMD_AT_COMMAND] = 2; });
        window->update_UI(0, false);
        QCOMPARE(boxes->titles(), (QStringList{QStringLiteral("Mail Message Append"),
                                               QStringLiteral("AT Command Send"),
                                               QStringLiteral("AT Command Send")}));
        QCOMPARE(
            boxes->boxes[1].text,
            QStringLiteral("Failed to send AT command: Cellular Modem dropped the message (NAK)."));
    }

    // The refresh reads a copy of the record: a widget's change handler may call the link.
    void refreshHoldsNoLockWhileWritingWidgets() {
        window = std::make_unique<MainWindow>();
        auto *response = widget<QPlainTextEdit>(window.get(), "plainTextEdit_AtCommandResponse");
        int calls = 0;
        connect(response, &QPlainTextEdit::textChanged, window.get(),
                [&calls] { calls += link_get_rssi(); });
        testsupport::editLink([](LinkState &s) { std::strcpy(s.atResponse.data(), "OK"); });
        window->update_UI(0, false);
        QCOMPARE(calls, 1);
    }

    void aboutBoxShowsTheVersionEveryTime() {
        window = std::make_unique<MainWindow>();
        auto *about = window->findChild<QAction *>(QStringLiteral("mnuAbout"));
        for (int i = 0; i < 2; ++i) {
            about->trigger();
            auto *text = widget<QPlainTextEdit>(window.get(), "ptedtAboutText");
            QVERIFY(text->window()->isVisible());
            QVERIFY(text->toPlainText().startsWith(QStringLiteral("KOVA Test Tool v1.4.0\n")));
            widget<QDialogButtonBox>(text->window(), "buttonBox")
                ->button(QDialogButtonBox::Close)
                ->click();
            QVERIFY(!text->window()->isVisible());
        }
    }

    void batchUpdateNeedsAConnection() {
        window = std::make_unique<MainWindow>();
        window->findChild<QAction *>(QStringLiteral("mnuBatchFwUpdate"))->trigger();
        QCOMPARE(boxes->boxes.size(), 1);
        QCOMPARE(boxes->boxes[0].icon, QMessageBox::Information);
        QCOMPARE(boxes->boxes[0].title, QStringLiteral("Not Connected to Module"));
        QCOMPARE(boxes->boxes[0].text,
                 QStringLiteral("Not connected to module on serial port. Connect first."));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
