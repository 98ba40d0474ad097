// Bytes the user types in hexadecimal, read the same way by the window and by any front end
// without one. QtCore only.
#pragma once

#include <QByteArray>
#include <QString>

// Pieces parted by any white space; a piece of one or two digits is one byte, a longer run is
// one byte for every two digits, and "0x" may come before either. On a piece that is neither,
// returns false with a message naming it in `error` and leaves `bytes` alone.
bool hexBytesFromText(const QString &text, QByteArray *bytes, QString *error);
