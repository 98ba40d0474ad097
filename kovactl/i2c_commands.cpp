// i2c: read and write a device's registers. Addresses, registers and data are hexadecimal, as
// the window's fields take them; a read's count is decimal.
#include <QCoreApplication>

#include "commands.h"
#include "link_requests.h"
#include "request_texts.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

// Bit 7 of the address byte tells a write from a read, so a device address has seven bits.
constexpr int kHighestAddress = 0x7F;

// A hexadecimal word, "0x" before it or not; its range is checked as any number's.
bool hexArgument(const QStringList &args, int index, const QString &name, const char *fieldId,
                 int highest, int *out, Answer *refusal) {
    if (index >= args.size()) {
        return numberArgument(args, index, name, fieldId, 0, highest, out, refusal);
    }
    QString digits = args.at(index);
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        digits.remove(0, 2);
    }
    bool ok = false;
    digits.toInt(&ok, 16);
    if (!ok) {
        *refusal = Answer::failure(
            ExitUsage,
            tr("%1 must be a hexadecimal number, not \"%2\".").arg(name, args.at(index)));
        return false;
    }
    QStringList prefixed = args;
    prefixed[index] = QStringLiteral("0x") + digits;
    return numberArgument(prefixed, index, name, fieldId, 0, highest, out, refusal);
}

bool deviceArguments(const QStringList &args, int *address, int *reg, Answer *refusal) {
    return hexArgument(args, 0, QStringLiteral("ADDR"), "i2c.address", kHighestAddress, address,
                       refusal) &&
           hexArgument(args, 1, QStringLiteral("REG"), "i2c.register", 255, reg, refusal);
}

// Both operations answer with the bytes read: none for a write. People get them in hexadecimal
// as the window shows them, scripts in base64 under the catalogue's field.
void i2cRequest(CommandContext &context, const std::function<int()> &send, bool write,
                const Finish &finish) {
    const int result = context.link.request(
        CMD_I2C, send, context.timeoutMs, [write, finish](const RequestOutcome &outcome) {
            Answer a = answerOf(CMD_I2C, outcome);
            if (outcome.kind == RequestOutcome::Replied) {
                const PayloadFields fields =
                    catalogue_read(*catalogue_payload(CMD_I2C, PayloadWay::Reply), outcome.payload);
                const QByteArray data = fields.bytes(outcome.payload, "i2c.read_data");
                if (write && data.isEmpty()) {
                    a.result.remove(QStringLiteral("i2c.read_data"));
                } else {
                    a.text << QString::fromLatin1(data.toHex());
                }
            }
            finish(a);
        });
    if (result <= 0) {
        finish(notQueued(result));
    }
}

}  // namespace

void addI2cCommands(std::vector<CommandEntry> *entries) {
    CommandEntry read;
    read.path = QStringList{QStringLiteral("i2c"), QStringLiteral("read")};
    read.arguments = QStringLiteral("ADDR REG COUNT");
    read.summary = tr("Reads COUNT registers from REG on; ADDR and REG in hexadecimal.");
    read.run = [read](const QStringList &args, const Invocation &, CommandContext &context,
                      const Finish &finish) {
        Answer refusal;
        int address = 0;
        int reg = 0;
        int count = 0;
        if (!exactArguments(args, 3, read, &refusal) ||
            !deviceArguments(args, &address, &reg, &refusal) ||
            !numberArgument(args, 2, QStringLiteral("COUNT"), "i2c.count", 0, 255, &count,
                            &refusal)) {
            finish(refusal);
            return;
        }
        i2cRequest(
            context, [=] { return link_i2c_read(uint8_t(address), uint8_t(reg), uint8_t(count)); },
            false, finish);
    };
    entries->push_back(read);

    CommandEntry write;
    write.path = QStringList{QStringLiteral("i2c"), QStringLiteral("write")};
    write.arguments = QStringLiteral("ADDR REG HEX...");
    write.summary = tr("Writes bytes from REG on: pieces of hexadecimal digits, two per byte.");
    write.run = [write](const QStringList &args, const Invocation &, CommandContext &context,
                        const Finish &finish) {
        Answer refusal;
        int address = 0;
        int reg = 0;
        if ((args.size() < 3 && !exactArguments(args, 3, write, &refusal)) ||
            !deviceArguments(args, &address, &reg, &refusal)) {
            finish(refusal);
            return;
        }
        QByteArray data;
        const QString reason = i2cWriteRefusal(uint8_t(address), uint8_t(reg),
                                               args.mid(2).join(QLatin1Char(' ')), &data);
        if (!reason.isEmpty()) {
            finish(Answer::failure(ExitBadInput, reason));
            return;
        }
        i2cRequest(
            context,
            [=] {
                return link_i2c_write(uint8_t(address), uint8_t(reg), uint8_t(data.size()), data);
            },
            true, finish);
    };
    entries->push_back(write);
}
