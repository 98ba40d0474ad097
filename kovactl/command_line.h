// kovactl's words: options (--name or --name VALUE, anywhere before a "--") and the command's
// words in order. Global options and each command's own share one table, so a misspelt option
// is a usage error wherever it stands.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

struct Invocation {
    QStringList words;
    QMap<QString, QString> options;

    bool has(const QString &name) const { return options.contains(name); }
    QString value(const QString &name) const { return options.value(name); }
};

// False with the reason when an option is unknown or lacks its value.
bool parseInvocation(const QStringList &args, Invocation *out, QString *whyNot);
// --timeout S in milliseconds, `fallbackMs` without it; false with the reason when S is not a
// number of seconds above 0 and at most a day.
bool timeoutOption(const Invocation &invocation, int fallbackMs, int *ms, QString *whyNot);
