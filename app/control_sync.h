// The refresh writes a control the user edits (a line edit, combo box, spin box, slider or
// check box) only when the record's value behind it has changed since the refresh last wrote
// it, so a notification about something else never undoes what the user is choosing.
#pragma once

#include <QHash>
#include <QVariant>

class QObject;

class ControlSync {
  public:
    // Calls write(value) unless `value` is what was last written to `control` this way.
    template <typename T, typename Write>
    void write(const QObject *control, const T &value, Write &&write) {
        const QVariant current = QVariant::fromValue(value);
        const auto last = written_.constFind(control);
        if (last != written_.constEnd() && last.value() == current) {
            return;
        }
        written_.insert(control, current);
        write(value);
    }

  private:
    QHash<const QObject *, QVariant> written_;
};
