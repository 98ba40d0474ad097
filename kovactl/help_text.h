// kovactl --help, and help for one command.
#pragma once

#include <QString>
#include <QStringList>

// The whole help for no words, one command's for its words; empty with the reason for words
// that name no command.
QString helpText(const QStringList &words, QString *whyNot);
