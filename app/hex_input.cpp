#include "hex_input.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("HexInput", text);
}

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

}  // namespace

bool hexBytesFromText(const QString &text, QByteArray *bytes, QString *error) {
    QByteArray read;
    const QStringList pieces = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        QString digits = piece;
        if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
            digits.remove(0, 2);
        }
        if (digits.isEmpty() || !std::all_of(digits.cbegin(), digits.cend(), isHexDigit)) {
            *error = tr("\"%1\" is not hexadecimal.").arg(piece);
            return false;
        }
        // A run of three digits could be 0A BC or AB 0C: refused rather than guessed.
        if (digits.size() > 2 && digits.size() % 2 != 0) {
            *error = tr("\"%1\" has an odd number of digits: write two for each byte.").arg(piece);
            return false;
        }
        if (digits.size() == 1) {
            digits.prepend(QLatin1Char('0'));
        }
        read += QByteArray::fromHex(digits.toLatin1());
    }
    *bytes = read;
    return true;
}
