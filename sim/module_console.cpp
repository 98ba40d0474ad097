// Parsing and carrying out console commands. Every refusal names the command and the reason.
#include "module_console.h"

#include <QDateTime>
#include <QStringList>

#include "virtual_module.h"

namespace {

ConsoleReply refuse(const QString &text) {
    return ConsoleReply{false, false, text};
}
ConsoleReply done(const QString &text = QString()) {
    return ConsoleReply{true, false, text};
}

// Decimal, or hexadecimal with 0x.
bool parseNumber(const QString &word, int low, int high, int &out) {
    bool ok = false;
    const int value = word.toInt(&ok, 0);
    if (!ok || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

bool parseSwitch(const QString &word, bool &out) {
    if (word == QLatin1String("on")) {
        out = true;
        return true;
    }
    if (word == QLatin1String("off")) {
        out = false;
        return true;
    }
    return false;
}

QString statsText(const ModuleStats &s) {
    QStringList received;
    for (int id = 0; id < 256; ++id) {
        if (s.link.receivedById[static_cast<size_t>(id)] > 0) {
            const char *name = command_name(static_cast<uint8_t>(id));
            received << QStringLiteral("%1:%2")
                            .arg(name != nullptr ? QString::fromLatin1(name) : QString::number(id))
                            .arg(s.link.receivedById[static_cast<size_t>(id)]);
        }
    }
    return QStringLiteral(
               "received by id %1\n"
               "ACKs sent %2, NAKs sent %3, ACKs withheld %4, repeats seen %5\n"
               "ACKs received %6, NAKs received %7, unmatched %8\n"
               "frames written %9, retransmissions %10, waiting for ACK %11, queued %12\n"
               "bad CRC %13, too short %14, overflows %15\n"
               "bits flipped %16, bytes dropped %17, frames repeated %18")
        .arg(received.isEmpty() ? QStringLiteral("(none)") : received.join(QLatin1Char(' ')))
        .arg(s.link.acksSent)
        .arg(s.link.naksSent)
        .arg(s.link.acksWithheld)
        .arg(s.link.repeatsSeen)
        .arg(s.link.acksReceived)
        .arg(s.link.naksReceived)
        .arg(s.link.unmatchedAcks)
        .arg(s.link.framesTaken)
        .arg(s.link.retransmissions)
        .arg(s.unacknowledged)
        .arg(s.queued)
        .arg(s.badCrc)
        .arg(s.tooShort)
        .arg(s.overflows)
        .arg(s.line.bitsFlipped)
        .arg(s.line.bytesDropped)
        .arg(s.line.framesRepeated);
}

// The every-Nth faults share their syntax.
ConsoleReply everyNth(VirtualModule &module, const QStringList &words,
                      void (VirtualModule::*setter)(int)) {
    int frames = 0;
    if (words.size() != 2 || !parseNumber(words[1], 0, 1000000, frames)) {
        return refuse(
            QStringLiteral("%1 needs one number of frames (0 turns it off)").arg(words[0]));
    }
    (module.*setter)(frames);
    return done();
}

ConsoleReply incomingSms(VirtualModule &module, const QString &line, const QStringList &words) {
    if (words.size() < 2) {
        return refuse(QStringLiteral("sms needs a sender number, then the text"));
    }
    // The text is the rest of the line as typed, inner spaces kept.
    const QString afterCommand = line.trimmed().mid(words[0].size()).trimmed();
    const QString text = afterCommand.mid(words[1].size()).trimmed();
    const QString date =
        QDateTime::currentDateTime().toString(QStringLiteral("yy/MM/dd,hh:mm:ss+00"));
    if (!module.injectIncomingSms(words[1].toUtf8(), date.toUtf8(), text.toUtf8())) {
        return refuse(QStringLiteral("SMS reception is switched off on the module"));
    }
    return done(QStringLiteral("SMS from %1 delivered to the tool").arg(words[1]));
}

ConsoleReply nakIds(VirtualModule &module, const QStringList &words) {
    QSet<quint8> ids;
    if (words.size() == 2 && words[1] == QLatin1String("off")) {
        module.setNakIds(ids);
        return done();
    }
    for (int i = 1; i < words.size(); ++i) {
        int id = 0;
        if (!parseNumber(words[i], FIRST_STATUS_ID, 255, id)) {
            return refuse(QStringLiteral("nak: '%1' is not a command id from %2 to 255")
                              .arg(words[i])
                              .arg(FIRST_STATUS_ID));
        }
        ids.insert(static_cast<quint8>(id));
    }
    if (ids.isEmpty()) {
        return refuse(QStringLiteral("nak needs command ids, or off"));
    }
    module.setNakIds(ids);
    return done();
}

ConsoleReply setSwitch(const QStringList &words, const std::function<void(bool)> &apply) {
    bool value = false;
    if (words.size() != 2 || !parseSwitch(words[1], value)) {
        return refuse(QStringLiteral("%1 takes on or off").arg(words[0]));
    }
    apply(value);
    return done();
}

}  // namespace

QString consoleHelp() {
    return QStringLiteral(
        "Commands, one a line:\n"
        "  sms SENDER TEXT...        an SMS arrives from SENDER\n"
        "  call [TYPE]               an incoming call (type 0: voice)\n"
        "  hangup [REASON]           the far end hangs up (reason 0..3, 255: unknown)\n"
        "  nak ID... | nak off       answer frames of these ids with NAK\n"
        "  withhold-acks on|off      carry frames out but never acknowledge them\n"
        "  flip N                    flip one bit of every Nth frame written (0: off)\n"
        "  drop N                    drop one byte of every Nth frame written (0: off)\n"
        "  repeat N                  write every Nth frame twice (0: off)\n"
        "  seed N                    seed for the byte and bit that flip and drop pick\n"
        "  pace on|off               write at 115200-baud wire time\n"
        "  mode pipelined|stop-and-wait\n"
        "                            unacknowledged module frames at once: several, or one\n"
        "  sms-fail on|off           SMS sends fail\n"
        "  response BYTES|default    size of the socket response\n"
        "  seq N                     sequence number of the module's next frame\n"
        "  rssi N                    signal strength code (0..31, 99)\n"
        "  pin N 0|1                 level driven onto an input pin\n"
        "  stats                     counters\n"
        "  help                      this list\n"
        "  quit                      stop the module and leave");
}

ConsoleReply runConsoleCommand(VirtualModule &module, const QString &line) {
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        return done();
    }
    const QString command = words[0].toLower();
    int number = 0;
    if (command == QLatin1String("quit") || command == QLatin1String("exit")) {
        ConsoleReply reply = done();
        reply.quit = true;
        return reply;
    }
    if (command == QLatin1String("help")) {
        return done(consoleHelp());
    }
    if (command == QLatin1String("sms")) {
        return incomingSms(module, line, words);
    }
    if (command == QLatin1String("call")) {
        if (words.size() > 2 || (words.size() == 2 && !parseNumber(words[1], 0, 255, number))) {
            return refuse(QStringLiteral("call takes at most a call type from 0 to 255"));
        }
        return module.injectIncomingCall(static_cast<quint8>(number))
                   ? done(QStringLiteral("the module rings"))
                   : refuse(QStringLiteral("a call is already up"));
    }
    if (command == QLatin1String("hangup")) {
        number = CallFeature::UnknownReason;
        if (words.size() > 2 || (words.size() == 2 && !parseNumber(words[1], 0, 255, number))) {
            return refuse(QStringLiteral("hangup takes at most a reason from 0 to 255"));
        }
        return module.injectRemoteHangUp(static_cast<quint8>(number))
                   ? done(QStringLiteral("the far end hung up"))
                   : refuse(QStringLiteral("there is no call to hang up"));
    }
    if (command == QLatin1String("nak")) {
        return nakIds(module, words);
    }
    if (command == QLatin1String("withhold-acks")) {
        return setSwitch(words, [&module](bool on) { module.setWithholdAcks(on); });
    }
    if (command == QLatin1String("flip")) {
        return everyNth(module, words, &VirtualModule::setFlipBitEvery);
    }
    if (command == QLatin1String("drop")) {
        return everyNth(module, words, &VirtualModule::setDropByteEvery);
    }
    if (command == QLatin1String("repeat")) {
        return everyNth(module, words, &VirtualModule::setRepeatFrameEvery);
    }
    if (command == QLatin1String("seed")) {
        bool ok = false;
        const uint seed = words.size() == 2 ? words[1].toUInt(&ok, 0) : 0;
        if (!ok) {
            return refuse(QStringLiteral("seed needs one unsigned number"));
        }
        module.setFaultSeed(seed);
        return done();
    }
    if (command == QLatin1String("pace")) {
        return setSwitch(words, [&module](bool on) { module.setPaced(on); });
    }
    if (command == QLatin1String("mode")) {
        if (words.size() == 2 && words[1] == QLatin1String("pipelined")) {
            module.setFlowMode(FlowMode::Pipelined);
            return done();
        }
        if (words.size() == 2 && words[1] == QLatin1String("stop-and-wait")) {
            module.setFlowMode(FlowMode::StopAndWait);
            return done();
        }
        return refuse(QStringLiteral("mode takes pipelined or stop-and-wait"));
    }
    if (command == QLatin1String("sms-fail")) {
        return setSwitch(words, [&module](bool on) { module.setSmsSendFails(on); });
    }
    if (command == QLatin1String("response")) {
        if (words.size() == 2 && words[1] == QLatin1String("default")) {
            module.setSocketResponseSize(SocketFeature::kDefaultResponseBytes);
            return done();
        }
        if (words.size() != 2 || !parseNumber(words[1], 0, 16 * 1024 * 1024, number)) {
            return refuse(QStringLiteral("response takes a size in bytes, or default"));
        }
        module.setSocketResponseSize(number);
        return done();
    }
    if (command == QLatin1String("seq")) {
        if (words.size() != 2 || !parseNumber(words[1], 1, 255, number)) {
            return refuse(QStringLiteral("seq takes a sequence number from 1 to 255"));
        }
        module.setNextSequence(static_cast<quint8>(number));
        return done();
    }
    if (command == QLatin1String("rssi")) {
        if (words.size() != 2 || !parseNumber(words[1], 0, 255, number)) {
            return refuse(QStringLiteral("rssi takes a code from 0 to 255"));
        }
        module.setRssi(static_cast<quint8>(number));
        return done();
    }
    if (command == QLatin1String("pin")) {
        int level = 0;
        if (words.size() != 3 || !parseNumber(words[1], 0, GpioFeature::kPinCount - 1, number) ||
            !parseNumber(words[2], 0, 1, level)) {
            return refuse(QStringLiteral("pin takes a pin from 0 to 11 and a level, 0 or 1"));
        }
        module.setInputLevel(number, static_cast<quint8>(level));
        return done();
    }
    if (command == QLatin1String("stats")) {
        return done(statsText(module.stats()));
    }
    return refuse(QStringLiteral("unknown command '%1'; type help for the list").arg(words[0]));
}
