// Port names that reach a serial server on the network: rfc2217://HOST:PORT (telnet with the
// line settings of RFC 2217) and tcp://HOST:PORT (the bytes as they are). HOST may be a name,
// an IPv4 address or an IPv6 address in brackets.
#pragma once

#include <QString>
#include <optional>

struct NetworkPortName {
    enum Kind { Rfc2217, RawTcp };
    Kind kind = Rfc2217;
    QString host;
    quint16 port = 0;

    QString hostAndPort() const;
};

// Whether `name` is meant as a network port: it starts with one of the two schemes.
bool isNetworkPortName(const QString &name);

// The parts of a network port name, or nothing with `why` saying what is wrong with it.
std::optional<NetworkPortName> parseNetworkPortName(const QString &name, QString *why);
