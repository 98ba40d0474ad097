#include "tab_script.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMetaProperty>
#include <QTest>

#include "link_state.h"
#include "main_window.h"
#include "modal_box_watcher.h"
#include "virtual_module.h"
#include "window_harness.h"

namespace testsupport {

namespace {

// Between the boxes shown; their texts may hold line breaks.
const QChar kBoxSeparator(0x1E);
// An id no feature of the module answers.
constexpr uint8_t kUnansweredId = 200;

QByteArray hexBytes(const QString &text) {
    return QByteArray::fromHex(text.toLatin1());
}

uint8_t hexByte(const QString &text) {
    return static_cast<uint8_t>(text.toUInt(nullptr, 16));
}

// A label or line edit too narrow for what it holds shows less than the program wrote.
bool cutOff(const QWidget *w) {
    if (auto *label = qobject_cast<const QLabel *>(w)) {
        return label->wordWrap() ? label->heightForWidth(label->width()) > label->height()
                                 : label->sizeHint().width() > label->width();
    }
    auto *edit = qobject_cast<const QLineEdit *>(w);
    return edit && edit->fontMetrics().horizontalAdvance(edit->text()) + 8 > edit->width();
}

}  // namespace

TabScript::TabScript() = default;
TabScript::~TabScript() {
    window_.reset();
    module_.reset();
}

bool TabScript::start(QString *whyNot) {
    boxes_ = std::make_unique<ModalBoxWatcher>();
    module_ = startModule(whyNot);
    if (!module_) {
        return false;
    }
    QObject::connect(module_.get(), &VirtualModule::frameReceived, module_.get(),
                     [this](quint8 id, quint8, quint8, const QByteArray &payload) {
                         received_.append({id, payload});
                     });
    window_ = std::make_unique<MainWindow>();
    window_->openSerialPort(module_->devicePath());
    if (labelText(window_.get(), "lblSerialStatus") != module_->devicePath()) {
        *whyNot = QStringLiteral("the window did not connect to the virtual module");
        return false;
    }
    return true;
}

bool TabScript::run(const QStringList &steps, QString *failure) {
    for (const QString &s : steps) {
        QString seen;
        if (!step(s, &seen)) {
            *failure = QStringLiteral("step \"%1\": %2").arg(s, seen);
            return false;
        }
    }
    return true;
}

QString TabScript::actual(const QString &what) const {
    if (what.startsWith(QLatin1String("sent "))) {
        QStringList payloads;
        for (const auto &frame : received_) {
            if (frame.first == hexByte(what.mid(5))) {
                payloads << (frame.second.isEmpty()
                                 ? QStringLiteral("-")
                                 : QString::fromLatin1(frame.second.toHex().toUpper()));
            }
        }
        return payloads.join(QLatin1Char(' '));
    }
    if (what == QLatin1String("boxes")) {
        QStringList shown;
        for (const ModalBoxWatcher::Box &b : boxes_->boxes) {
            shown << b.title + QLatin1Char('|') + b.text;
        }
        return shown.join(kBoxSeparator);
    }
    if (what == QLatin1String("titles")) {
        return boxes_->titles().join(QLatin1String(", "));
    }
    const QWidget *w = widget(window_.get(), qPrintable(what.section(QLatin1Char(':'), 0, 0)));
    w->ensurePolished();
    const QString whole = cutOff(w) ? QStringLiteral(" (cut off)") : QString();
    const QString aspect = what.section(QLatin1Char(':'), 1);
    if (aspect == QLatin1String("visible")) {
        return QVariant(!w->isHidden()).toString();
    }
    if (aspect == QLatin1String("enabled")) {
        return QVariant(w->isEnabled()).toString();
    }
    if (aspect == QLatin1String("length")) {
        return QString::number(w->metaObject()->userProperty().read(w).toString().size());
    }
    if (aspect == QLatin1String("field")) {
        QString colour = w->parentWidget()->styleSheet();
        colour.remove(QStringLiteral("background-color:")).remove(QLatin1Char(';'));
        return colour + QLatin1Char('|') + w->property("text").toString() + whole;
    }
    // What the user sees or sets: a line edit's text, a combo box's item, a slider's value...
    const QMetaProperty shown = w->metaObject()->userProperty();
    return (shown.isValid() ? shown.read(w) : w->property("text")).toString() + whole;
}

bool TabScript::step(const QString &written, QString *seen) {
    const QString step = QString(written).replace(QLatin1String("\\n"), QLatin1String("\n"));
    const QString verb = step.section(QLatin1Char(' '), 0, 0);
    const QString rest = step.section(QLatin1Char(' '), 1);
    const QString name = rest.section(QLatin1Char('='), 0, 0);
    const QString value = rest.section(QLatin1Char('='), 1);
    const QStringList words = rest.split(QLatin1Char(' '));
    if (verb == QLatin1String("answer")) {
        module_->setCannedReply(hexByte(words.value(0)), hexByte(words.value(1)),
                                hexBytes(words.value(2)));
    } else if (verb == QLatin1String("event")) {
        module_->sendModuleFrame(hexByte(words.value(0)), hexBytes(words.value(1)));
    } else if (verb == QLatin1String("reply")) {
        module_->sendModuleReply(hexByte(words.value(0)), hexByte(words.value(1)),
                                 hexBytes(words.value(2)));
    } else if (verb == QLatin1String("response")) {
        module_->setSocketResponseSize(rest.toInt());
    } else if (verb == QLatin1String("set")) {
        QWidget *w = widget(window_.get(), qPrintable(name));
        w->metaObject()->userProperty().write(w, value);
    } else if (verb == QLatin1String("press")) {
        widget<QAbstractButton>(window_.get(), qPrintable(rest))->click();
    } else if (verb == QLatin1String("nak")) {
        module_->setNakIds({hexByte(rest)});
    } else if (verb == QLatin1String("unanswered")) {
        module_->setUnansweredIds({hexByte(rest)});
    } else if (verb == QLatin1String("fill")) {
        // Frames the module neither acknowledges nor answers keep every slot taken.
        module_->setWithholdAcks(true);
        while (link_send(kUnansweredId, nullptr, 0, 0)) {
        }
    } else if (verb == QLatin1String("expect")) {
        // A box is looked for among those shown; a value with a colour is a status field.
        const bool box = name.startsWith(QLatin1String("box "));
        const QString wanted = box ? rest.mid(4) : value;
        QString what = value.contains(QLatin1Char('|')) ? name + QStringLiteral(":field") : name;
        if (box) {
            what = QStringLiteral("boxes");
        }
        auto holds = [&] {
            return box ? actual(what).split(kBoxSeparator).contains(wanted)
                       : actual(what) == wanted;
        };
        if (!QTest::qWaitFor(holds, kIoTimeoutMs)) {
            *seen = QStringLiteral("saw \"%1\"").arg(actual(what));
            return false;
        }
    } else {
        *seen = QStringLiteral("no such step");
        return false;
    }
    return true;
}

}  // namespace testsupport
