// Builds each form on a bare widget and checks what a user would see go wrong: a text cut off or
// hidden under a neighbour, a stray font size, a text that escapes translation.
#include <QtTest>
#include <QtWidgets>

#include "high_dpi.h"
#include "ui_dlgabout.h"
#include "ui_dlgfwupdate.h"
#include "ui_dlgserialport.h"
#include "ui_mainwindow.h"

namespace {

enum Form { MainForm, AboutForm, SerialForm, FwUpdateForm, FormCount };

// Qt's own helpers (tab bar, viewports, spin box editors) and what they hold. The tab widget's
// stack is one of them too, but it holds the pages.
bool isInternal(const QObject *object, const QObject *root) {
    for (const QObject *o = object; o && o != root; o = o->parent()) {
        if (o->objectName().startsWith("qt_") && !qobject_cast<const QStackedWidget *>(o))
            return true;
    }
    return false;
}

// Brackets every text of the main window's context, so that a text not passed through tr(), or
// passed in another context, stands out.
class MarkingTranslator : public QTranslator {
  public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override {
        if (qstrcmp(context, "MainWindow") != 0)
            return {};
        return '[' + QString::fromUtf8(source) + ']';
    }
};

// The texts a widget shows of its own.
QStringList textsOf(const QWidget *w) {
    if (auto *label = qobject_cast<const QLabel *>(w))
        return {label->text()};
    if (auto *button = qobject_cast<const QAbstractButton *>(w))
        return {button->text()};
    if (auto *group = qobject_cast<const QGroupBox *>(w))
        return {group->title()};
    if (auto *menu = qobject_cast<const QMenu *>(w))
        return {menu->title()};
    if (auto *edit = qobject_cast<const QLineEdit *>(w))
        return {edit->displayText()};
    QStringList texts;
    if (auto *combo = qobject_cast<const QComboBox *>(w)) {
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
    } else if (auto *tabs = qobject_cast<const QTabWidget *>(w)) {
        for (int i = 0; i < tabs->count(); ++i)
            texts << tabs->tabText(i);
    }
    return texts;
}

// Buttons that a button box makes have no names: they go by their box and their text.
QString nameOf(const QWidget *w) {
    if (w->objectName().isEmpty() && w->parentWidget())
        return w->parentWidget()->objectName() + '/' + textsOf(w).value(0);
    return w->objectName();
}

// Why text would not fit into w at its current size, or an empty string.
QString textOverflow(QWidget *w, const QString &text) {
    if (text.isEmpty())
        return {};
    // Labels, check boxes and combos are measured by a hidden sibling of their kind, which has
    // their font, frame and style sheet and inherits what they inherit.
    if (auto *label = qobject_cast<QLabel *>(w)) {
        QLabel probe(label->parentWidget());
        probe.setFont(label->font());
        probe.setStyleSheet(label->styleSheet());
        for (const char *p : {"frameShape", "frameShadow", "lineWidth", "margin", "indent",
                              "textFormat", "wordWrap"})
            probe.setProperty(p, label->property(p));
        probe.setText(text);
        probe.ensurePolished();
        const QSize hint = probe.sizeHint();
        if (label->wordWrap()
                ? probe.heightForWidth(label->width()) > label->height()
                : hint.width() > label->width() || probe.fontMetrics().height() > label->height())
            return QString("needs %1x%2").arg(hint.width()).arg(hint.height());
    } else if (qobject_cast<QCheckBox *>(w)) {
        QCheckBox probe(text, w->parentWidget());
        probe.setFont(w->font());
        if (probe.sizeHint().width() > w->width())
            return QString("needs %1").arg(probe.sizeHint().width());
    } else if (qobject_cast<QComboBox *>(w)) {
        QComboBox probe(w->parentWidget());
        probe.setFont(w->font());
        probe.addItem(text);
        if (probe.sizeHint().width() > w->width())
            return QString("\"%1\" needs %2").arg(text).arg(probe.sizeHint().width());
    } else if (qobject_cast<QPushButton *>(w) || qobject_cast<QGroupBox *>(w)) {
        // Neither has a hint that follows its text alone: a button's hint has a minimum width.
        const int shown =
            w->style()
                ->itemTextRect(w->fontMetrics(), QRect(), Qt::TextShowMnemonic, false, text)
                .width();
        const int margin = qobject_cast<QGroupBox *>(w)
                               ? 8
                               : w->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w);
        if (shown + 2 * margin > w->width())
            return "text too wide";
    } else if (qobject_cast<QLineEdit *>(w)) {
        if (w->fontMetrics().horizontalAdvance(text) + 8 > w->width())
            return "text too wide";
    }
    return {};
}

// Why a widget's own content does not fit into it, or an empty string.
QString clipped(QWidget *w) {
    for (const QString &text : textsOf(w)) {
        const QString why = textOverflow(w, text);
        if (!why.isEmpty())
            return why;
    }
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(w)) {
        if (spin->sizeHint().width() > spin->width())
            return QString("needs %1").arg(spin->sizeHint().width());
    } else if (auto *text = qobject_cast<QPlainTextEdit *>(w)) {
        if (text->verticalScrollBar()->maximum() > 0 || text->horizontalScrollBar()->maximum() > 0)
            return "text scrolls";
    } else if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
        if (tabs->tabBar()->sizeHint().width() > tabs->width())
            return "tab titles too wide";
    }
    return {};
}

void setUpDialog(Form form, QDialog *dialog) {
    if (form == AboutForm)
        Ui::dlgAbout().setupUi(dialog);
    else if (form == SerialForm)
        Ui::DlgSerialPort().setupUi(dialog);
    else
        Ui::Dlgfwupdate().setupUi(dialog);
}

}  // namespace

class TestForms : public QObject {
    Q_OBJECT

    QMainWindow mainWindow;
    Ui::MainWindow mainUi;
    QDialog dialogs[FormCount - 1];
    QWidget *const roots[FormCount] = {&mainWindow, &dialogs[0], &dialogs[1], &dialogs[2]};

  public:
    // The tool's own scaling (app/main.cpp), so that the forms are checked as a user sees them.
    static void initMain() { enableHighDpiScaling(); }

  private slots:
    void initTestCase() {
        mainUi.setupUi(&mainWindow);
        for (int f = AboutForm; f < FormCount; ++f)
            setUpDialog(Form(f), &dialogs[f - 1]);
        // Shown, so that style sheets, fonts and scroll bars are resolved as a user sees them.
        for (int f = 0; f < FormCount; ++f)
            roots[f]->show();
        // A tab page takes its size when it is first shown.
        for (int i = 0; i < mainUi.tabWidget->count(); ++i) {
            mainUi.tabWidget->setCurrentIndex(i);
            QApplication::processEvents();
        }
    }

    // The layout checks prove nothing at a scale they do not run at. KOVA_EXPECTED_SCALE comes
    // with QT_SCALE_FACTOR, so that a factor dropped or rounded on its way fails here.
    void rendersAtExpectedScale() {
        const qreal expected = qEnvironmentVariable("KOVA_EXPECTED_SCALE", "1").toDouble();
        QCOMPARE(mainWindow.devicePixelRatioF(), expected);
    }

    void layoutIsTidy_data() {
        QTest::addColumn<int>("form");
        for (int f = 0; f < FormCount; ++f)
            QTest::newRow(qPrintable(roots[f]->objectName())) << f;
    }

    // Every text fits its widget, siblings do not overlap and each widget lies inside its parent,
    // on every tab page. Two frames wait out of sight until the window moves them: the serial
    // field into the status bar, and the audio box's read button while no settings are read.
    // Fixed positions need one known text size: 8 pt, but for the one larger button.
    void layoutIsTidy() {
        QFETCH(int, form);
        const QSet<QString> movedAtRunTime{"frmSerialStatus", "frm_I2S_GetValuesFirst"};
        QStringList faults;
        QList<QWidget *> containers = roots[form]->findChildren<QWidget *>();
        containers.prepend(roots[form]);
        for (QWidget *container : containers) {
            const int points = container->font().pointSize();
            if (!container->isWindow() && points != (container == mainUi.btn_GPIO_GetAll ? 11 : 8))
                faults << nameOf(container) + QString(": %1 pt").arg(points);
            if (qobject_cast<QStackedWidget *>(container) || isInternal(container, roots[form]))
                continue;  // tab pages share their area by design; Qt places its own helpers
            QList<QWidget *> children;
            for (QWidget *w :
                 container->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
                if (!w->isWindow() && !w->objectName().startsWith("qt_"))
                    children << w;
            }
            for (int i = 0; i < children.size(); ++i) {
                QWidget *w = children[i];
                const QString why = clipped(w);
                if (!why.isEmpty())
                    faults << nameOf(w) + ": " + why;
                if (!movedAtRunTime.contains(w->objectName()) &&
                    !container->rect().contains(w->geometry()))
                    faults << nameOf(w) + ": outside " + nameOf(container);
                for (int j = i + 1; j < children.size(); ++j) {
                    if (w->geometry().intersects(children[j]->geometry()))
                        faults << nameOf(w) + " overlaps " + nameOf(children[j]);
                }
            }
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("\n")));
    }

    void mainTextsAreTranslatable() {
        MarkingTranslator marker;
        QCoreApplication::installTranslator(&marker);
        QMainWindow window;
        Ui::MainWindow form;
        form.setupUi(&window);
        QCoreApplication::removeTranslator(&marker);

        QStringList untranslated;
        auto check = [&](const QObject *o, const QString &text) {
            if (!text.isEmpty() && !(text.startsWith('[') && text.endsWith(']')))
                untranslated << o->objectName() + ": " + text;
        };
        check(&window, window.windowTitle());
        const QList<QWidget *> widgets = window.findChildren<QWidget *>();
        for (QWidget *w : widgets) {
            if (isInternal(w, &window))
                continue;
            if (w->styleSheet().startsWith('['))
                untranslated << w->objectName() + ": style sheet went through tr()";
            auto *edit = qobject_cast<QLineEdit *>(w);
            if (edit && !edit->inputMask().isEmpty())
                continue;  // a mask would strip the brackets
            for (const QString &text : textsOf(w))
                check(w, text);
        }
        const QList<QAction *> actions = window.findChildren<QAction *>();
        for (QAction *a : actions) {
            if (!a->objectName().isEmpty()) {
                check(a, a->text());
                check(a, a->toolTip());
            }
        }
        QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join("\n")));
    }
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
