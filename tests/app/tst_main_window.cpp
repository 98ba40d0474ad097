// The window's shell: start-up state, connecting through the dialog against the virtual module,
// the Debug and Engineering tabs, the about box and the menus.
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "dlg_serial_port.h"
#include "frames.h"
#include "link_harness.h"
#include "link_requests.h"
#include "link_state.h"
#include "main_window.h"
#include "modal_box_watcher.h"
#include "virtual_module.h"

namespace {

constexpr int kIoTimeoutMs = 15000;

template <typename T>
T *widget(QWidget *window, const char *name) {
    T *found = window->findChild<T *>(QLatin1String(name));
    if (found == nullptr) {
        qFatal("no widget %s", name);
    }
    return found;
}

QString labelText(QWidget *window, const char *name) {
    return widget<QLabel>(window, name)->text();
}

QString style(QWidget *window, const char *name) {
    return widget<QFrame>(window, name)->styleSheet();
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

QList<QAction *> reconnectActions(QWidget *window) {
    QList<QAction *> out;
    for (QAction *action : widget<QMenu>(window, "mnuSerialPort")->actions()) {
        if (action->text().startsWith(QStringLiteral("Connect to "))) {
            out << action;
        }
    }
    return out;
}

// Frames of one id waiting in the transmit table (no port is open, so they stay there).
QList<QByteArray> queuedPayloads(uint8_t id) {
    QList<QByteArray> out;
    auto s = link_get_state();
    for (const TxSlot &slot : s->txTable) {
        if (!slot.occupied()) {
            continue;
        }
        const QByteArray bytes(reinterpret_cast<const char *>(slot.frame.get()), slot.length);
        for (const auto &m : testsupport::decodeAll(bytes)) {
            if (m.cmdId == id) {
                out << m.payload;
            }
        }
    }
    return out;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir;
    std::unique_ptr<ModalBoxWatcher> boxes;
    std::unique_ptr<VirtualModule> module;
    std::unique_ptr<MainWindow> window;

    void startModule() {
        module = std::make_unique<VirtualModule>();
        module->setClock([] { return 1000.0; });
        QVERIFY2(module->start(), qPrintable(module->errorString()));
    }

    // Chooses the module's port in the dialog and confirms it, as the user does.
    void connectThroughDialog() {
        window->offerExtraPort(module->devicePath());
        widget<QMenu>(window.get(), "mnuSerialPort");
        window->findChild<QAction *>(QStringLiteral("mnuSerialPortConnect"))->trigger();
        auto *dialog = window->findChild<DlgSerialPort *>();
        QVERIFY(dialog->isVisible());
        auto *ports = widget<QComboBox>(dialog, "cmbSerialPort");
        ports->setCurrentIndex(ports->findText(module->devicePath()));
        dialog->accept();
        QCOMPARE(labelText(window.get(), "lblSerialStatus"), module->devicePath());
    }

  private slots:
    void initTestCase() {
        QVERIFY(settingsDir.isValid());
        // Never the user's own settings.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    }

    void init() {
        storeLastPort(QString());
        boxes = std::make_unique<ModalBoxWatcher>();
    }

    void cleanup() {
        window.reset();
        module.reset();
        boxes.reset();
    }

    void startsDisconnected() {
        window = std::make_unique<MainWindow>();
        QCOMPARE(labelText(window.get(), "lblSerialStatus"), QStringLiteral("Not Connected"));
        QCOMPARE(style(window.get(), "frmSerialStatus"),
                 QStringLiteral("background-color:orange;"));
        auto *tabs = widget<QTabWidget>(window.get(), "tabWidget");
        QCOMPARE(tabs->indexOf(widget<QWidget>(window.get(), "tab_Engineering")), -1);
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(labelText(window.get(), "label_AtCommandStatus"), QString());
        QCOMPARE(style(window.get(), "frame_AtCommandStatus"), QString());
        QVERIFY(reconnectActions(window.get()).isEmpty());
        QVERIFY(boxes->boxes.isEmpty());
    }

    void connectAndDisconnectThroughTheDialog() {
        startModule();
        window = std::make_unique<MainWindow>();
        connectThroughDialog();
        QCOMPARE(style(window.get(), "frmSerialStatus"),
                 QStringLiteral("background-color:darkgreen;"));
        QCOMPARE(DlgSerialPort::lastUsedPort(), module->devicePath());

        window->findChild<QAction *>(QStringLiteral("mnuSerialPortDisconnect"))->trigger();
        QCOMPARE(labelText(window.get(), "lblSerialStatus"), QStringLiteral("Not Connected"));
        QCOMPARE(style(window.get(), "frmSerialStatus"),
                 QStringLiteral("background-color:orange;"));
        QVERIFY(boxes->boxes.isEmpty());
    }

    // Choosing a port while connected closes the open one first and never ends in the
    // "already connected" warning.
    void reconnectingWhileConnected() {
        startModule();
        window = std::make_unique<MainWindow>();
        connectThroughDialog();
        for (int i = 0; i < 3; ++i) {
            connectThroughDialog();
        }
        QVERIFY2(boxes->boxes.isEmpty(), qPrintable(boxes->titles().join(',')));
        QCOMPARE(style(window.get(), "frmSerialStatus"),
                 QStringLiteral("background-color:darkgreen;"));
    }

    void cancelStoresNothing() {
        storeLastPort(QStringLiteral("/dev/ttyKOVA9"));
        window = std::make_unique<MainWindow>();
        window->findChild<QAction *>(QStringLiteral("mnuSerialPortConnect"))->trigger();
        window->findChild<DlgSerialPort *>()->reject();
        QCOMPARE(DlgSerialPort::lastUsedPort(), QStringLiteral("/dev/ttyKOVA9"));
        QCOMPARE(labelText(window.get(), "lblSerialStatus"), QStringLiteral("Not Connected"));
    }

    void reconnectActionIsAddedOnce() {
        startModule();
        storeLastPort(module->devicePath());
        window = std::make_unique<MainWindow>();
        QCOMPARE(reconnectActions(window.get()).size(), 1);
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

    void failedOpenAndLostPort() {
        window = std::make_unique<MainWindow>();
        window->openSerialPort(QStringLiteral("/dev/kova-no-such-port"));
        QCOMPARE(labelText(window.get(), "lblSerialStatus"), QStringLiteral("Connection Failed"));
        QCOMPARE(style(window.get(), "frmSerialStatus"), QStringLiteral("background-color:red;"));
        QCOMPARE(boxes->boxes.size(), 1);
        QCOMPARE(boxes->boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes->boxes[0].title, QStringLiteral("Error"));

        startModule();
        window->openSerialPort(module->devicePath());
        QCOMPARE(labelText(window.get(), "lblSerialStatus"), module->devicePath());
        module->stop();
        QTRY_COMPARE_WITH_TIMEOUT(boxes->boxes.size(), 2, kIoTimeoutMs);
        QCOMPARE(boxes->boxes[1].title, QStringLiteral("Error"));
        QVERIFY(boxes->boxes[1].text.contains(module->devicePath()));
        QCOMPARE(labelText(window.get(), "lblSerialStatus"), QStringLiteral("Not Connected"));
        QCOMPARE(style(window.get(), "frmSerialStatus"),
                 QStringLiteral("background-color:orange;"));
    }

    void generator_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("box");         // the warning's text, or empty
        QTest::addColumn<QStringList>("labels");  // id, seq, status, payload, crc, frame
        const QString tooSmall =
            QStringLiteral("The data length entered is too small.\r\nInvalid data.");
        QTest::newRow("one token") << "7E" << tooSmall << QStringList();
        QTest::newRow("status id without status")
            << "20 01"
            << "The data length entered is too small for command id 20.\r\nInvalid data."
            << QStringList();
        QTest::newRow("control frame, no payload")
            << "05 01" << QString()
            << QStringList{"05", "01", "N/A", "", "F2 DB", "7E 05 01 F2 DB CE "};
        QTest::newRow("control frame with payload")
            << "05 01 AA BB" << QString()
            << QStringList{"05", "01", "N/A", "AA BB ", "EB B0", "7E 05 01 AA BB EB B0 CE "};
        QTest::newRow("payload as typed")
            << "21 7 0 a" << QString()
            << QStringList{"21", "07", "00", "A ", "E1 E0", "7E 21 07 00 0A E1 E0 CE "};
        QTest::newRow("spaces collapse")
            << "  A1   01  00 " << QString()
            << QStringList{"A1", "01", "00", "", "75 01", "7E A1 01 00 75 01 CE "};
        QTest::newRow("escaped sequence number")
            << "60 7E 00 03 31 32 33" << QString()
            << QStringList{"60",           "7E",    "00",
                           "03 31 32 33 ", "8B 65", "7E 60 9E 7E 00 03 31 32 33 8B 65 CE "};
        QTest::newRow("strtol reading")
            << "0xa1 zz 00" << QString()
            << QStringList{"A1", "00", "00", "", "46 30", "7E A1 00 00 46 30 CE "};
        QString huge = QStringLiteral("21 01 00");
        for (int i = 0; i < 300; ++i) {
            huge += QStringLiteral(" 7E");
        }
        QTest::newRow("too long for a frame")
            << huge << QString()
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
            QCOMPARE(labelText(window.get(), "lblDebugGeneratedMessage"), QString());
            return;
        }
        const char *names[] = {"lblDebugGenMsgCmdId",  "lblDebugGenMsgSeqNr",
                               "lblDebugGenMsgStatus", "lblDebugGenMsgPayload",
                               "lblDebugGenMsgCrc",    "lblDebugGeneratedMessage"};
        QStringList shown;
        for (const char *name : names) {
            shown << labelText(window.get(), name);
        }
        QCOMPARE(shown, labels);
        QVERIFY(queuedPayloads(0x21).isEmpty());  // nothing is sent
    }

    void logKeepsTheNewestWholeEntries() {
        window = std::make_unique<MainWindow>();
        auto *log = widget<QPlainTextEdit>(window.get(), "edtDebugLastMessages");
        const QByteArray frame = testsupport::frame(0x81, 1, 0, QByteArray(40, 'x'));
        for (int i = 0; i < 400; ++i) {
            QByteArray numbered = frame;
            numbered[2] = char(i % 251);
            window->updateLastCommandSent(numbered);
        }
        const QString text = log->toPlainText();
        QVERIFY(text.size() <= 20480);
        QVERIFY(text.size() > 20480 - 200);  // only as many entries as needed were dropped
        const QStringList lines = text.split(QLatin1Char('\n'));
        const QRegularExpression entry(
            QStringLiteral("^\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d: 7E 81 "
                           "[0-9A-F]{2}( [0-9A-F]{2})+$"));
        for (const QString &line : lines) {
            QVERIFY2(entry.match(line).hasMatch(), qPrintable(line));
        }
        QVERIFY(lines.last().contains(QStringLiteral(": 7E 81 94 ")));  // the 400th: 399 % 251
    }

    void sentFramesAreLogged() {
        startModule();
        window = std::make_unique<MainWindow>();
        window->openSerialPort(module->devicePath());
        QVERIFY(link_get_rssi());
        auto *log = widget<QPlainTextEdit>(window.get(), "edtDebugLastMessages");
        QTRY_VERIFY_WITH_TIMEOUT(
            log->toPlainText().contains(QStringLiteral(": 7E A1 01 00 75 01 CE")), kIoTimeoutMs);
    }

    void atCommandRoundTrip() {
        startModule();
        window = std::make_unique<MainWindow>();
        window->openSerialPort(module->devicePath());
        widget<QLineEdit>(window.get(), "lineEdit_SendAtCommand")->setText(QStringLiteral("AT"));
        widget<QPushButton>(window.get(), "pushButton_SendAtCommand")->click();
        QTRY_COMPARE_WITH_TIMEOUT(labelText(window.get(), "label_AtCommandStatus"),
                                  QStringLiteral("AT command executed successfully."),
                                  kIoTimeoutMs);
        QCOMPARE(style(window.get(), "frame_AtCommandStatus"),
                 QStringLiteral("background-color:green;"));
        QVERIFY(widget<QPlainTextEdit>(window.get(), "plainTextEdit_AtCommandResponse")
                    ->toPlainText()
                    .contains(QStringLiteral("OK")));
    }

    // The refused command's box shows once, even when a refresh runs while it is open, and the
    // command goes back to idle rather than to "success".
    void atCommandNakIsReportedOnce() {
        startModule();
        module->setNakIds({240});
        window = std::make_unique<MainWindow>();
        window->openSerialPort(module->devicePath());
        boxes->whileOpen = [this](const ModalBoxWatcher::Box &) { window->update_UI(0, false); };
        widget<QLineEdit>(window.get(), "lineEdit_SendAtCommand")->setText(QStringLiteral("ATI"));
        widget<QPushButton>(window.get(), "pushButton_SendAtCommand")->click();
        QTRY_COMPARE_WITH_TIMEOUT(boxes->boxes.size(), 1, kIoTimeoutMs);
        QCOMPARE(boxes->boxes[0].title, QStringLiteral("AT Command Send"));
        QCOMPARE(
            boxes->boxes[0].text,
            QStringLiteral("Failed to send AT command: Cellular Modem dropped the message (NAK)."));
        QTRY_COMPARE(int(link_get_state()->cmdStatus[240]), int(CMD_STATUS_IDLE));
        window->update_UI(0, false);
        QCOMPARE(boxes->boxes.size(), 1);
        QCOMPARE(labelText(window.get(), "label_AtCommandStatus"), QString());
    }

    void nakBoxesInOrder() {
        window = std::make_unique<MainWindow>();
        for (uint8_t id : {uint8_t(240), uint8_t(119)}) {
            link_set_cmd_status(id, CMD_STATUS_NAK);
        }
        window->update_UI(0, false);
        QCOMPARE(boxes->titles(), (QStringList{QStringLiteral("Mail Message Append"),
                                               QStringLiteral("AT Command Send")}));
        QCOMPARE(int(link_get_state()->cmdStatus[119]), int(CMD_STATUS_IDLE));
    }

    void overlongAtCommandIsRefused() {
        window = std::make_unique<MainWindow>();
        widget<QLineEdit>(window.get(), "lineEdit_SendAtCommand")
            ->setText(QString(200, QChar(0xE9)));
        widget<QPushButton>(window.get(), "pushButton_SendAtCommand")->click();
        QCOMPARE(boxes->boxes.size(), 1);
        QCOMPARE(boxes->boxes[0].title, QStringLiteral("AT Command Send"));
        QCOMPARE(int(link_get_state()->cmdStatus[240]), int(CMD_STATUS_IDLE));
        QVERIFY(queuedPayloads(240).isEmpty());
    }

    void maxMessageSize_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("sent");  // the payload byte, or -1 for the warning
        QTest::newRow("31") << "31" << -1;
        QTest::newRow("32") << "32" << 8;
        QTest::newRow("33") << "33" << 8;
        QTest::newRow("256") << "256" << 64;
        QTest::newRow("257") << "257" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("not a number") << "6x" << -1;
    }
    void maxMessageSize() {
        QFETCH(QString, text);
        QFETCH(int, sent);
        window = std::make_unique<MainWindow>();
        widget<QLineEdit>(window.get(), "txtSetMaxMessageSize")->setText(text);
        widget<QPushButton>(window.get(), "btnSetMaxMessageSize")->click();
        const QList<QByteArray> queued = queuedPayloads(CMD_MAX_MESSAGE_SIZE);
        if (sent < 0) {
            QCOMPARE(boxes->titles(), QStringList{QStringLiteral("Invalid value")});
            QCOMPARE(boxes->boxes[0].text,
                     QStringLiteral("You must specify a value between 32 and 256."));
            QVERIFY(queued.isEmpty());
        } else {
            QVERIFY(boxes->boxes.isEmpty());
            QCOMPARE(queued, QList<QByteArray>{QByteArray(1, char(sent))});
        }
    }

    void aboutBoxShowsTheVersionEveryTime() {
        window = std::make_unique<MainWindow>();
        auto *about = window->findChild<QAction *>(QStringLiteral("mnuAbout"));
        for (int i = 0; i < 2; ++i) {
            about->trigger();
            auto *text = widget<QPlainTextEdit>(window.get(), "ptedtAboutText");
            QVERIFY(text->window()->isVisible());
            QVERIFY(text->toPlainText().startsWith(QStringLiteral("KOVA Test Tool v1.4.0\n")));
            QVERIFY(!text->toPlainText().contains(QStringLiteral("{VERSION_STR}")));
            auto *buttons = widget<QDialogButtonBox>(text->window(), "buttonBox");
            buttons->button(QDialogButtonBox::Close)->click();
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
