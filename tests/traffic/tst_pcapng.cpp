// Capture files: the way back through readPcapng, damaged and foreign files, and the file and
// the generated dissector as Wireshark reads them.
#include <QBuffer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include "command_ids.h"
#include "frames.h"
#include "pcapng.h"

using namespace testsupport;

namespace {

QList<CapturedFrame> sample() {
    QByteArray spoiled = frame_encode_bytes(CMD_GET_IMEI, 3, 0x80, "35");
    spoiled[5] = '6';  // a payload byte, so the CRC no longer matches
    return {{1700000000000001, false, frame_encode_bytes(CMD_GET_RSSI, 1, 0, {}), "ACKed"},
            {1700000000001500, true, frame_encode_bytes(CMD_ACK, 1, 0, {}), ""},
            {1700000000002750, true, frame_encode_bytes(CMD_GET_RSSI, 0x7E, 0x9E, hex("CE7E9E")),
             QString::fromUtf8("rewritten after time-out \u2192 ACKed")},
            {1700000000004000, true, spoiled, "bad CRC"},
            // Too short for its id's status byte, but long enough to carry a CRC, which fails.
            {1700000000005000, true, hex("7E A1 21 00 00 CE"), "bad CRC"},
            {1700000000006000, false, frame_encode_bytes(CMD_GPIO_PIN_SET, 4, 0, hex("0501")), ""}};
}

QByteArray written(const QList<CapturedFrame> &frames) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    return writePcapng(buffer, frames, nullptr) ? buffer.data() : QByteArray();
}

QStringList describe(const QList<CapturedFrame> &frames) {
    QStringList out;
    for (const CapturedFrame &f : frames) {
        out << QString("%1 %2 %3 %4").arg(f.timeUs).arg(f.fromModule).arg(toHex(f.wire), f.comment);
    }
    return out;
}

// What readPcapng makes of a file: a line a frame, or "refused" and its reason (and frames).
QStringList readBack(QByteArray file) {
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    QList<CapturedFrame> frames;
    QString why;
    return readPcapng(buffer, &frames, &why) ? describe(frames)
                                             : QStringList{"refused", why} + describe(frames);
}

quint32 le(const QByteArray &bytes, int at, quint32 mask = ~0u) {
    return qFromLittleEndian<quint32>(bytes.constData() + at) & mask;
}

// The test's own reader of little-endian files: whole blocks, up to one that does not add up.
QList<QByteArray> walk(const QByteArray &file) {
    QList<QByteArray> blocks;
    for (int at = 0, n = 0; at + 12 <= file.size(); at += n) {
        n = int(le(file, at + 4));
        if (n % 4 != 0 || n < 12 || at + n > file.size() || int(le(file, at + n - 4)) != n) {
            break;
        }
        blocks << file.mid(at, n);
    }
    return blocks;
}

// tshark's fields of the frames read as a capture with the generated dissector, a line a packet,
// and its complaints; with a HOME of its own, which has no settings or plugins.
QStringList tsharkFields(const QString &tshark, const QList<CapturedFrame> &frames,
                         const QStringList &fields, const QStringList &options) {
    QStringList args{
        "-X", "lua_script:" KOVA_DISSECTOR_LUA, "-r", "-", "-T", "fields", "-E", "separator=/t"};
    args << options;
    for (const QString &field : fields) {
        args << "-e" << field;
    }
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(tshark, args);
    process.write(written(frames));
    process.closeWriteChannel();
    process.waitForFinished(60000);
    // Complaints stay in, but for the one about running as root.
    const QStringList lines = QString(process.readAll()).split('\n', Qt::SkipEmptyParts);
    return lines.filter(QRegularExpression("^(?!Running as user)"));
}

}  // namespace

class TestPcapng : public QObject {
    Q_OBJECT
    QString tshark;

  private slots:
    // The tshark tests skip (fail on CI) without tshark, or when another copy of the dissector in
    // Wireshark's global folder, where the package puts it, would load first.
    void init() {
        if (!QByteArray(QTest::currentTestFunction()).startsWith("tshark")) {
            return;
        }
        tshark = QStandardPaths::findExecutable("tshark");
        QFile installed(KOVA_INSTALLED_DISSECTOR_LUA);
        QFile built(KOVA_DISSECTOR_LUA);
        const QString why =
            tshark.isEmpty() ? "tshark is missing: scripts/install-deps.sh test installs it"
            : installed.open(QIODevice::ReadOnly) && built.open(QIODevice::ReadOnly) &&
                    installed.readAll() != built.readAll()
                ? "another kova_frames.lua loads first: " + installed.fileName()
                : QString();
        QVERIFY2(why.isEmpty() || !qEnvironmentVariableIsSet("CI"), qPrintable(why));
        if (!why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
    }

    void writtenFileReadsBack() { QCOMPARE(readBack(written(sample())), describe(sample())); }

    void damagedFilesRejected_data() {
        QTest::addColumn<int>("at");        // in the block below, from its end when negative
        QTest::addColumn<int>("block");     // 0 section, 1 interface, 2.. packets
        QTest::addColumn<qint64>("value");  // written there as 32 bits; -1 cuts the file there
        QTest::newRow("empty file") << 0 << 0 << -1ll;
        QTest::newRow("cut in a packet's bytes") << 30 << 2 << -1ll;
        QTest::newRow("wrong magic") << 0 << 0 << 0x0A0D0D0Bll;
        QTest::newRow("unknown byte order") << 8 << 0 << 0x11223344ll;
        QTest::newRow("length overruns the file") << 4 << 2 << 0x10000ll;
        QTest::newRow("length not a multiple of 4") << 4 << 1 << 42ll;
        QTest::newRow("closing length differs") << -4 << 1 << 40ll;
        QTest::newRow("option overruns its block") << 16 << 1 << 0x01000002ll;
        QTest::newRow("packet on a missing interface") << 8 << 3 << 1ll;
        QTest::newRow("captured length past the block") << 20 << 2 << 0x100ll;
    }
    void damagedFilesRejected() {
        QFETCH(int, at);
        QFETCH(int, block);
        QFETCH(qint64, value);
        QByteArray file = written(sample());
        at += walk(file).mid(0, block + (at < 0)).join().size();
        value < 0 ? file.truncate(at) : qToLittleEndian(quint32(value), file.data() + at);
        const QStringList read = readBack(file);
        QVERIFY(read.size() == 2 && read[0] == "refused" && !read[1].isEmpty());
    }

    // A little-endian section in nanoseconds whose first interface is Ethernet, then a
    // big-endian one in 2^-10 s with a block of an unknown type.
    void foreignFileRead() {
        const QByteArray file =
            hex("0A0D0D0A 1C000000 4D3C2B1A 0100 0000 FFFFFFFFFFFFFFFF 1C000000"
                "01000000 14000000 0100 0000 00000000 14000000"
                "01000000 1C000000 9300 0000 00000000 0900 0100 09000000 1C000000"
                "06000000 24000000 00000000 FE9C9717 15CD853D 04000000 04000000 01020304 24000000"
                "06000000 48000000 01000000 FE9C9717 15CD853D 04000000 04000000 7EA101CE"
                "  0200 0400 01000000 0100 0500 6669727374000000 0100 0600 7365636F6E640000"
                "  0000 0000 48000000"
                "0A0D0D0A 0000001C 1A2B3C4D 0001 0000 FFFFFFFFFFFFFFFF 0000001C"
                "00000BAD 00000010 CAFEF00D 00000010"
                "00000001 0000001C 0093 0000 00000000 0009 0001 8A000000 0000001C"
                "00000006 00000030 00000000 00000000 00001600 00000003 00000003 7E00CE00"
                "  0002 0004 00000002 0000 0000 00000030");
        QCOMPARE(readBack(file), describe({{1700000000123456, true, hex("7EA101CE"), "first"},
                                           {5500000, false, hex("7E00CE"), ""}}));
    }

    // The generated dissector in Wireshark: unescaped sequence numbers and lengths, its CRC
    // verdict, payload fields by stable id; the damaged frames too, when asked.
    void tsharkReadsCapture() {
        QString out =
            tsharkFields(tshark, sample(),
                         {"frame.time_epoch", "frame.interface_name",
                          "frame.packet_flags_direction", "frame.comment", "kova.seq",
                          "kova.length", "kova.crc.good", "kova.gpio.pin", "kova.status.rssi"},
                         {"-o", "kova.damaged:TRUE"})
                .join('\n');
        QStringList expected{"ACKed\t1\t0\t1\t\t",
                             "\t1\t0\t1\t\t",
                             sample()[2].comment + "\t126\t3\t1\t\t206",
                             "bad CRC\t3\t2\t0\t\t",
                             "bad CRC\t33\t0\t0\t\t",
                             "\t4\t2\t1\t5\t"};
        for (int i = 0; i < expected.size(); ++i) {  // time, interface, inbound 1 or outbound 2
            const CapturedFrame f = sample()[i];
            const QString time = QString::number(f.timeUs / 1000000) + '.' +
                                 QString::number(f.timeUs % 1000000).rightJustified(6, '0');
            expected[i].prepend(time + "000\tserial\t0x0000000" +
                                QString::number(f.fromModule ? 1 : 2) + '\t');
        }
        QCOMPARE(out.replace("True", "1").replace("False", "0").split('\n'), expected);
    }

    // Other people's captures use the same link type: the dissector takes only whole frames
    // with a good CRC and hands the rest to the one registered before (DLT_USER).
    void tsharkClaimsOnlyFrames_data() {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("protocols");
        const QByteArray frame = frame_encode_bytes(CMD_GET_RSSI, 1, 0, {});
        QByteArray spoiled = frame;
        spoiled[spoiled.size() - 2] = char(spoiled[spoiled.size() - 2] ^ 1);
        const QString handedBack = "kova:user_dlt:data";
        QTest::newRow("frame") << frame << QStringList() << "kova";
        QTest::newRow("foreign packet") << hex("01 02 03 04 05 06") << QStringList() << handedBack;
        // An ACK whose sequence number 0x7E, a start marker, is not escaped; the CRC is good.
        QTest::newRow("marker inside") << hex("7E 00 7E 82 56 CE") << QStringList() << handedBack;
        // The CRC is good, but the id's status byte is missing.
        QTest::newRow("too short for its header")
            << hex("7E A1 21 07 03 CE") << QStringList() << handedBack;
        QTest::newRow("markers only") << hex("7E CE") << QStringList() << handedBack;
        QTest::newRow("bad CRC") << spoiled << QStringList() << handedBack;
        QTest::newRow("bad CRC, damaged frames decoded")
            << spoiled << QStringList{"-o", "kova.damaged:TRUE"} << "kova";
        // DLT_USER, told that USER0 carries kova, hands the packet back once, then to "data".
        QTest::newRow("DLT_USER mapped to kova")
            << hex("01 02 03 04 05 06")
            << QStringList{"-o", R"uat(uat:user_dlts:"User 0 (DLT=147)","kova","0","","0","")uat"}
            << "kova:user_dlt:kova:data";
        QTest::newRow("loaded twice, as a user's copy beside the installed one")
            << frame << QStringList{"-X", "lua_script:" KOVA_DISSECTOR_LUA} << "kova";
    }
    void tsharkClaimsOnlyFrames() {
        QFETCH(QByteArray, wire);
        QFETCH(QStringList, options);
        QFETCH(QString, protocols);
        QCOMPARE(tsharkFields(tshark, {{1700000000000001, true, wire, ""}}, {"frame.protocols"},
                              options),
                 QStringList{protocols});
    }
};

QTEST_GUILESS_MAIN(TestPcapng)
#include "tst_pcapng.moc"
