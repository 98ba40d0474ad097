#include "tab_script.h"

#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "link_state.h"
#include "main_window.h"
#include "modal_box_watcher.h"
#include "virtual_module.h"
#include "window_harness.h"

namespace testsupport {

namespace {

// An id no feature of the module answers.
constexpr uint8_t kUnansweredId = 200;

QByteArray hexBytes(const QString &text) {
    return QByteArray::fromHex(text.toLatin1());
}

uint8_t hexByte(const QString &text) {
    return static_cast<uint8_t>(text.toUInt(nullptr, 16));
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
        const int id = int(hexByte(what.mid(5)));
        QStringList payloads;
        for (const auto &frame : received_) {
            if (frame.first == id) {
                payloads << QString::fromLatin1(frame.second.toHex().toUpper());
            }
        }
        return payloads.join(QLatin1Char(' '));
    }
    const QString name = what.section(QLatin1Char(':'), 0, 0);
    const QWidget *w = widget(window_.get(), qPrintable(name));
    const QString aspect = what.section(QLatin1Char(':'), 1);
    if (aspect == QLatin1String("visible")) {
        return w->isHidden() ? QStringLiteral("0") : QStringLiteral("1");
    }
    if (aspect == QLatin1String("enabled")) {
        return w->isEnabled() ? QStringLiteral("1") : QStringLiteral("0");
    }
    if (aspect == QLatin1String("field")) {
        QString colour = w->parentWidget()->styleSheet();
        colour.remove(QStringLiteral("background-color:")).remove(QLatin1Char(';'));
        return colour + QLatin1Char('|') + static_cast<const QLabel *>(w)->text();
    }
    if (auto *label = qobject_cast<const QLabel *>(w)) {
        return label->text();
    }
    if (auto *line = qobject_cast<const QLineEdit *>(w)) {
        return line->text();
    }
    if (auto *text = qobject_cast<const QPlainTextEdit *>(w)) {
        return text->toPlainText();
    }
    if (auto *combo = qobject_cast<const QComboBox *>(w)) {
        return combo->currentText();
    }
    if (auto *check = qobject_cast<const QCheckBox *>(w)) {
        return check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    }
    if (auto *slider = qobject_cast<const QAbstractSlider *>(w)) {
        return QString::number(slider->value());
    }
    if (auto *spin = qobject_cast<const QSpinBox *>(w)) {
        return QString::number(spin->value());
    }
    return QStringLiteral("(a %1)").arg(QLatin1String(w->metaObject()->className()));
}

bool TabScript::step(const QString &step, QString *seen) {
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
    } else if (verb == QLatin1String("type")) {
        QWidget *w = widget(window_.get(), qPrintable(name));
        if (auto *line = qobject_cast<QLineEdit *>(w)) {
            line->setText(value);
        } else {
            static_cast<QPlainTextEdit *>(w)->setPlainText(QString(value).replace("\\n", "\n"));
        }
    } else if (verb == QLatin1String("choose")) {
        QWidget *w = widget(window_.get(), qPrintable(name));
        if (auto *combo = qobject_cast<QComboBox *>(w)) {
            combo->setCurrentIndex(value.toInt());
        } else if (auto *slider = qobject_cast<QAbstractSlider *>(w)) {
            slider->setValue(value.toInt());
        } else {
            static_cast<QSpinBox *>(w)->setValue(value.toInt());
        }
    } else if (verb == QLatin1String("press")) {
        widget<QAbstractButton>(window_.get(), qPrintable(rest))->click();
    } else if (verb == QLatin1String("nak")) {
        module_->setNakIds({hexByte(rest)});
    } else if (verb == QLatin1String("fill")) {
        // Frames the module neither acknowledges nor answers keep every slot taken.
        module_->setWithholdAcks(true);
        while (link_send(kUnansweredId, nullptr, 0, 0)) {
        }
    } else if (verb == QLatin1String("expect") && rest.startsWith(QLatin1String("box "))) {
        const QString box = rest.mid(4);
        auto shown = [this] {
            QStringList all;
            for (const ModalBoxWatcher::Box &b : boxes_->boxes) {
                all << b.title + QLatin1Char('|') + b.text;
            }
            return all;
        };
        if (!QTest::qWaitFor([&] { return shown().contains(box); }, kIoTimeoutMs)) {
            *seen = QStringLiteral("boxes shown: %1").arg(shown().join(QStringLiteral("; ")));
            return false;
        }
    } else if (verb == QLatin1String("expect")) {
        // A value with a colour is a status field, named by its label.
        const QString what =
            value.contains(QLatin1Char('|')) ? name + QStringLiteral(":field") : name;
        if (!QTest::qWaitFor([&] { return actual(what) == value; }, kIoTimeoutMs)) {
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
