// The line settings of a pty as any other opener of the device sees them.
#pragma once

#include <QString>

namespace testsupport {

// "115200 8N1 RTS/CTS" and the like; "unreadable" when the device cannot be read.
QString ptyLineSettings(const QString &path);

}  // namespace testsupport
