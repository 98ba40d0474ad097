#include "network_port_name.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>

namespace {

const QLatin1String kRfc2217Scheme("rfc2217://");
const QLatin1String kRawTcpScheme("tcp://");

QString tr(const char *text) {
    return QCoreApplication::translate("CommProcessor", text);
}

}  // namespace

QString NetworkPortName::hostAndPort() const {
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(port);
}

bool isNetworkPortName(const QString &name) {
    return name.startsWith(kRfc2217Scheme, Qt::CaseInsensitive) ||
           name.startsWith(kRawTcpScheme, Qt::CaseInsensitive);
}

std::optional<NetworkPortName> parseNetworkPortName(const QString &name, QString *why) {
    NetworkPortName parsed;
    QString rest;
    if (name.startsWith(kRfc2217Scheme, Qt::CaseInsensitive)) {
        rest = name.mid(kRfc2217Scheme.size());
    } else if (name.startsWith(kRawTcpScheme, Qt::CaseInsensitive)) {
        parsed.kind = NetworkPortName::RawTcp;
        rest = name.mid(kRawTcpScheme.size());
    }
    static const QRegularExpression shape(QRegularExpression::anchoredPattern(
        QStringLiteral("(?:\\[([0-9A-Fa-f:.]+)\\]|([A-Za-z0-9._-]+)):([0-9]{1,5})")));
    const QRegularExpressionMatch match = shape.match(rest);
    const uint port = match.hasMatch() ? match.captured(3).toUInt() : 0;
    const QString host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    const bool hostOk =
        !match.captured(1).isEmpty() ? !QHostAddress(host).isNull() : !host.isEmpty();
    if (!isNetworkPortName(name) || !match.hasMatch() || !hostOk || port < 1 || port > 65535) {
        *why = tr("%1 is not a network port name. Write rfc2217://HOST:PORT for a serial server "
                  "with line settings or tcp://HOST:PORT for the bytes as they are, with PORT "
                  "from 1 to 65535 and an IPv6 address in brackets.")
                   .arg(name);
        return std::nullopt;
    }
    parsed.host = host;
    parsed.port = quint16(port);
    return parsed;
}
