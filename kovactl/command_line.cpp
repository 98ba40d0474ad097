#include "command_line.h"

#include <QCoreApplication>

namespace {

struct OptionEntry {
    const char *name;
    bool takesValue;
};

constexpr OptionEntry kOptions[] = {
    {"port", true},          {"simulate", false},    {"json", false},
    {"timeout", true},       {"capture", true},      {"include-passwords", false},
    {"help", false},         {"version", false},     {"login", true},
    {"password-file", true}, {"body-file", true},    {"server", true},
    {"smtp-port", true},     {"sender", true},       {"recipient", true},
    {"subject", true},       {"ssl", false},         {"protocol", true},
    {"timeout-ms", true},    {"payload-file", true}, {"out", true},
    {"firmware", true},      {"numbers", true},      {"apn", true},
    {"user", true},          {"report", true},       {"yes", false},
};

const OptionEntry *optionNamed(const QString &name) {
    for (const OptionEntry &o : kOptions) {
        if (name == QLatin1String(o.name)) {
            return &o;
        }
    }
    return nullptr;
}

}  // namespace

bool parseInvocation(const QStringList &args, Invocation *out, QString *whyNot) {
    Invocation parsed;
    bool optionsEnded = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (optionsEnded || !arg.startsWith(QLatin1String("--")) || arg == QLatin1String("-")) {
            parsed.words << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = arg.mid(2);
        QString value;
        const int equals = name.indexOf(QLatin1Char('='));
        const bool inline_ = equals >= 0;
        if (inline_) {
            value = name.mid(equals + 1);
            name.truncate(equals);
        }
        const OptionEntry *entry = optionNamed(name);
        if (entry == nullptr) {
            *whyNot = QCoreApplication::translate("kovactl", "Unknown option --%1.").arg(name);
            return false;
        }
        if (entry->takesValue && !inline_) {
            if (i + 1 >= args.size()) {
                *whyNot =
                    QCoreApplication::translate("kovactl", "Option --%1 needs a value.").arg(name);
                return false;
            }
            value = args.at(++i);
        } else if (!entry->takesValue && inline_) {
            *whyNot =
                QCoreApplication::translate("kovactl", "Option --%1 takes no value.").arg(name);
            return false;
        }
        parsed.options.insert(name, value);
    }
    *out = parsed;
    return true;
}

bool timeoutOption(const Invocation &invocation, int fallbackMs, int *ms, QString *whyNot) {
    *ms = fallbackMs;
    if (!invocation.has(QStringLiteral("timeout"))) {
        return true;
    }
    bool ok = false;
    const double seconds = invocation.value(QStringLiteral("timeout")).toDouble(&ok);
    if (!ok || seconds <= 0 || seconds > 86400) {
        *whyNot = QCoreApplication::translate(
            "kovactl", "--timeout takes seconds, more than 0 and at most a day.");
        return false;
    }
    *ms = static_cast<int>(seconds * 1000);
    return true;
}
