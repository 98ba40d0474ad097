// kovactl's status and gpio requests, and every exit code: the frames it writes for its
// arguments, the answer it prints, and how each kind of ending is told.
#include <QtTest>

#include "command_ids.h"
#include "kovactl_run.h"

namespace {

QStringList words(const char *line) {
    return QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

}  // namespace

class KovactlStatusTest : public QObject {
    Q_OBJECT

  private slots:
    void requests_data();
    void requests();
    void withoutModule_data();
    void withoutModule();
};

void KovactlStatusTest::requests_data() {
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("module");  // how the module behaves for the request's id
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("frameId");  // the tool's one frame; -1: none written
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("rssi") << "status rssi"
                          << "" << 0 << int(CMD_GET_RSSI) << QByteArray() << "status.rssi"
                          << QVariant(17);
    QTest::newRow("pin read") << "gpio get 0x5"
                              << "" << 0 << int(CMD_GPIO_PIN_GET) << QByteArray::fromHex("05")
                              << "gpio.pin" << QVariant(5);
    QTest::newRow("group set") << "gpio group set 3 1"
                               << "" << 0 << int(CMD_GPIO_GROUP_SET) << QByteArray::fromHex("0301")
                               << "" << QVariant();
    QTest::newRow("func level") << "status func-level 2"
                                << "" << 0 << int(CMD_SET_FUNC_LEVEL) << QByteArray::fromHex("02")
                                << "" << QVariant();
    QTest::newRow("failure status")
        << "status vin"
        << "fail 3" << 1 << int(CMD_GET_VIN) << QByteArray() << "module.code" << QVariant(3);
    QTest::newRow("nak") << "gpio get 2"
                         << "nak" << 2 << int(CMD_GPIO_PIN_GET) << QByteArray::fromHex("02") << ""
                         << QVariant();
    QTest::newRow("silence") << "--timeout 0.3 status imei"
                             << "silent" << 75 << int(CMD_GET_IMEI) << QByteArray() << ""
                             << QVariant();
    QTest::newRow("pin out of range") << "gpio get 12"
                                      << "" << 65 << -1 << QByteArray() << "" << QVariant();
    QTest::newRow("value out of range") << "gpio set 1 2"
                                        << "" << 65 << -1 << QByteArray() << "" << QVariant();
    QTest::newRow("word for a number") << "gpio get five"
                                       << "" << 64 << -1 << QByteArray() << "" << QVariant();
    QTest::newRow("missing argument") << "status func-level"
                                      << "" << 64 << -1 << QByteArray() << "" << QVariant();
    QTest::newRow("unknown command") << "status colour"
                                     << "" << 64 << -1 << QByteArray() << "" << QVariant();
}

void KovactlStatusTest::requests() {
    QFETCH(QString, args);
    QFETCH(QString, module);
    QFETCH(int, code);
    QFETCH(int, frameId);
    QFETCH(QByteArray, payload);
    QFETCH(QString, field);
    QFETCH(QVariant, value);

    KovactlRun run;
    run.module().setRssi(17);
    const auto id = static_cast<quint8>(frameId);
    if (module.startsWith(QLatin1String("fail"))) {
        run.module().setCannedReply(id, static_cast<quint8>(module.mid(5).toInt()));
    } else if (module == QLatin1String("nak")) {
        run.module().setNakIds({id});
    } else if (module == QLatin1String("silent")) {
        run.module().setUnansweredIds({id});
    }
    const KovactlResult r =
        run.run(QStringList{QStringLiteral("--json")} + words(qPrintable(args)));
    QCOMPARE(r.exitCode, code);
    QCOMPARE(r.json().value(QStringLiteral("code")).toInt(), code);
    if (code != 0) {
        QVERIFY(!r.json().value(QStringLiteral("error")).toString().isEmpty());
    }
    verifyFrameAndField(r, frameId, payload, field, value);
}

void KovactlStatusTest::withoutModule_data() {
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("says");

    QTest::newRow("no such port") << "--port /dev/kova-none status rssi" << 69 << "kova-none";
    QTest::newRow("no port named") << "status rssi" << 64 << "--port";
    QTest::newRow("unknown option") << "--simulate --colour status rssi" << 64 << "--colour";
    QTest::newRow("simulated versions") << "--simulate status versions" << 0 << "modem firmware: ";
}

void KovactlStatusTest::withoutModule() {
    QFETCH(QString, args);
    QFETCH(int, code);
    QFETCH(QString, says);
    const KovactlResult r = KovactlRun::runBare(words(qPrintable(args)));
    QCOMPARE(r.exitCode, code);
    QVERIFY2(QString::fromUtf8(r.out + r.err).contains(says), (r.out + r.err).constData());
}

QTEST_GUILESS_MAIN(KovactlStatusTest)
#include "tst_kovactl_status.moc"
