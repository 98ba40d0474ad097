// setupUi() ends with connect-by-name, which warns about every on_<name>_<signal> slot whose
// object or signal it cannot find. A form's owner that connects some such slots by hand names
// them, and only the warnings about those are dropped: any other is a misspelt slot.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace forms_detail {
inline QtMessageHandler previousHandler = nullptr;
inline QStringList expectedSlots;

inline void dropExpected(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    const QString prefix =
        QStringLiteral("QMetaObject::connectSlotsByName: No matching signal for ");
    if (text.startsWith(prefix) && expectedSlots.contains(text.mid(prefix.size()))) {
        return;
    }
    previousHandler(type, context, text);
}
}  // namespace forms_detail

// Runs ui.setupUi(widget); `handConnected` holds slot signatures such as "on_x_done()".
template <typename Form, typename Widget>
void setupUiQuietly(Form &ui, Widget *widget, const QStringList &handConnected) {
    forms_detail::expectedSlots = handConnected;
    forms_detail::previousHandler = qInstallMessageHandler(forms_detail::dropExpected);
    ui.setupUi(widget);
    qInstallMessageHandler(forms_detail::previousHandler);
    forms_detail::expectedSlots.clear();
}
