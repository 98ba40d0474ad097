#include "firmware_list.h"

#include <QRegularExpression>

QList<FirmwareItem> parseFirmwareList(const QByteArray &body, bool complete) {
    const int nul = body.indexOf('\0');
    // CR LF as the list's own format has it, or LF alone as most servers and scripts write.
    static const QRegularExpression lineEnd(QStringLiteral("\\r?\\n"));
    QStringList lines = QString::fromLatin1(nul < 0 ? body : body.left(nul)).split(lineEnd);
    if (!complete && nul < 0) {
        lines.removeLast();
    }
    QList<FirmwareItem> items;
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char('/'));
        if (parts.size() == 3) {
            items.append({parts[1] + QStringLiteral(" \t- ") + parts[2],
                          QStringLiteral(":%1/cellularModem/%2").arg(kUpdateServerPort).arg(line)});
        }
    }
    return items;
}

QStringList splitMsisdnList(const QString &text) {
    static const QRegularExpression separators(QStringLiteral("\\W+"));
    return text.split(separators, Qt::SkipEmptyParts);
}
