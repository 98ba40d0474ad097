// GPIO tab: the twelve pins in four groups, each group's mode deciding what its pins are (an
// input, an output or a dedicated function), and the last GPIO operation's status.
#include <QComboBox>

#include "link_requests.h"
#include "link_state.h"
#include "main_window.h"
#include "status_field.h"
#include "ui_mainwindow.h"

namespace {

enum PinFunction { Unknown, Input, Output, Ready, Pwm, Fsd, DaiTx, DaiTfs, DaiClk, Ring, DaiRx };

const char *const kFunctionNames[] = {"UNKNOWN", "INPUT",   "OUTPUT",  "READY", "PWM",   "FSD",
                                      "DAI_TX",  "DAI_TFS", "DAI_CLK", "RING",  "DAI_RX"};

// Each pin's function per group mode: MODE_0, MODE_1, and while the mode is unknown.
const PinFunction kPinFunctions[3][GPIO_PIN_COUNT] = {
    {DaiTx, DaiTfs, DaiClk, DaiRx, Ring, Input, Input, Input, Ready, Output, Input, Input},
    {Unknown, Unknown, Unknown, Unknown, Unknown, Unknown, Output, Output, Output, Output, Output,
     Output},
    {},
};

// Group A holds pins 0 to 5; B, C and D two pins each.
constexpr int kFirstPin[GPIO_GROUP_COUNT + 1] = {0, 6, 8, 10, 12};

int groupOf(int pin) {
    int group = 0;
    while (pin >= kFirstPin[group + 1]) {
        ++group;
    }
    return group;
}

// The mode a group shows, or 2 while unknown: never read or set, or a mode byte the pin table
// has no row for.
int shownMode(const LinkSnapshot &state, int group) {
    const uint32_t mode = state.gpioGroupValue[group];
    return state.gpioGroupResult[group] == 255 || mode > MODE_1 ? 2 : int(mode);
}

enum WidgetRole { GetButton, ReadLabel, ReadValue, SetLabel, SetValue, SetButton };

}  // namespace

void MainWindow::collectGpioWidgets() {
    const char *const roles[] = {"btn_GPIO%1_Get", "lbl_GPIO%1_Read",   "lbl_GPIO%1_Read_Value",
                                 "lbl_GPIO%1_Set", "cmb_GPIO%1_SetVal", "btn_GPIO%1_Set"};
    for (int pin = 0; pin < GPIO_PIN_COUNT; ++pin) {
        const int group = groupOf(pin);
        for (int role = 0; role < 6; ++role) {
            gpioWidgets[group][pin - kFirstPin[group]][role] =
                findChild<QWidget *>(QString::fromLatin1(roles[role]).arg(pin));
        }
        gpioModeLabels_[pin] = findChild<QLabel *>(QStringLiteral("label_Gpio%1Mode").arg(pin));
    }
}

GPIO_Group_Mode_t MainWindow::get_gpio_group(QString groupStr) {
    return groupStr == QLatin1String("MODE_1") ? MODE_1 : MODE_0;
}

void MainWindow::setGpioGroup(int group) {
    const QComboBox *modes[] = {ui->cmb_GPIOA_ModeVal, ui->cmb_GPIOB_ModeVal, ui->cmb_GPIOC_ModeVal,
                                ui->cmb_GPIOD_ModeVal};
    queued(link_gpio_group_set(group, uint8_t(get_gpio_group(modes[group]->currentText()))),
           tr("GPIO"));
}

void MainWindow::getGpioGroup(int group) {
    queued(link_gpio_group_get(group), tr("GPIO"));
}

void MainWindow::setGpioPin(int pin) {
    const int group = groupOf(pin);
    const auto *value =
        static_cast<QComboBox *>(gpioWidgets[group][pin - kFirstPin[group]][SetValue]);
    queued(link_gpio_pin_set(pin, value->currentIndex() != 0 ? 1 : 0), tr("GPIO"));
}

void MainWindow::getGpioPin(int pin) {
    queued(link_gpio_pin_get(pin), tr("GPIO"));
}

void MainWindow::on_btn_GPIOA_Set_clicked() {
    setGpioGroup(0);
}
void MainWindow::on_btn_GPIOB_Set_clicked() {
    setGpioGroup(1);
}
void MainWindow::on_btn_GPIOC_Set_clicked() {
    setGpioGroup(2);
}
void MainWindow::on_btn_GPIOD_Set_clicked() {
    setGpioGroup(3);
}
void MainWindow::on_btn_GPIOA_Get_clicked() {
    getGpioGroup(0);
}
void MainWindow::on_btn_GPIOB_Get_clicked() {
    getGpioGroup(1);
}
void MainWindow::on_btn_GPIOC_Get_clicked() {
    getGpioGroup(2);
}
void MainWindow::on_btn_GPIOD_Get_clicked() {
    getGpioGroup(3);
}
void MainWindow::on_btn_GPIO0_Set_clicked() {
    setGpioPin(0);
}
void MainWindow::on_btn_GPIO1_Set_clicked() {
    setGpioPin(1);
}
void MainWindow::on_btn_GPIO2_Set_clicked() {
    setGpioPin(2);
}
void MainWindow::on_btn_GPIO3_Set_clicked() {
    setGpioPin(3);
}
void MainWindow::on_btn_GPIO4_Set_clicked() {
    setGpioPin(4);
}
void MainWindow::on_btn_GPIO5_Set_clicked() {
    setGpioPin(5);
}
void MainWindow::on_btn_GPIO6_Set_clicked() {
    setGpioPin(6);
}
void MainWindow::on_btn_GPIO7_Set_clicked() {
    setGpioPin(7);
}
void MainWindow::on_btn_GPIO8_Set_clicked() {
    setGpioPin(8);
}
void MainWindow::on_btn_GPIO9_Set_clicked() {
    setGpioPin(9);
}
void MainWindow::on_btn_GPIO10_Set_clicked() {
    setGpioPin(10);
}
void MainWindow::on_btn_GPIO11_Set_clicked() {
    setGpioPin(11);
}
void MainWindow::on_btn_GPIO0_Get_clicked() {
    getGpioPin(0);
}
void MainWindow::on_btn_GPIO1_Get_clicked() {
    getGpioPin(1);
}
void MainWindow::on_btn_GPIO2_Get_clicked() {
    getGpioPin(2);
}
void MainWindow::on_btn_GPIO3_Get_clicked() {
    getGpioPin(3);
}
void MainWindow::on_btn_GPIO4_Get_clicked() {
    getGpioPin(4);
}
void MainWindow::on_btn_GPIO5_Get_clicked() {
    getGpioPin(5);
}
void MainWindow::on_btn_GPIO6_Get_clicked() {
    getGpioPin(6);
}
void MainWindow::on_btn_GPIO7_Get_clicked() {
    getGpioPin(7);
}
void MainWindow::on_btn_GPIO8_Get_clicked() {
    getGpioPin(8);
}
void MainWindow::on_btn_GPIO9_Get_clicked() {
    getGpioPin(9);
}
void MainWindow::on_btn_GPIO10_Get_clicked() {
    getGpioPin(10);
}
void MainWindow::on_btn_GPIO11_Get_clicked() {
    getGpioPin(11);
}

// Reads every input pin of the groups whose mode is known.
void MainWindow::on_btn_GPIO_GetAll_clicked() {
    const LinkSnapshot state = link_snapshot();
    for (int group = 0; group < GPIO_GROUP_COUNT; ++group) {
        const int mode = shownMode(state, group);
        for (int pin = kFirstPin[group]; mode != 2 && pin < kFirstPin[group + 1]; ++pin) {
            if (kPinFunctions[mode][pin] == Input && !queued(link_gpio_pin_get(pin), tr("GPIO"))) {
                return;
            }
        }
    }
}

void MainWindow::refreshGpioPins(const LinkSnapshot &state) {
    for (int pin = 0; pin < GPIO_PIN_COUNT; ++pin) {
        const int group = groupOf(pin);
        auto *shown = static_cast<QLabel *>(gpioWidgets[group][pin - kFirstPin[group]][ReadValue]);
        const uint32_t value = state.gpioPinValue[pin];
        if (value <= 2) {
            shown->setText(value == 0 ? tr("LOW") : value == 1 ? tr("HIGH") : QString());
        }
    }
    for (int group = 0; group < GPIO_GROUP_COUNT; ++group) {
        const int mode = shownMode(state, group);
        for (int pin = kFirstPin[group]; pin < kFirstPin[group + 1]; ++pin) {
            const PinFunction function = kPinFunctions[mode][pin];
            gpioModeLabels_[pin]->setText(
                mode == 2 ? tr("Unknown") : QString::fromLatin1(kFunctionNames[function]));
            const auto &row = gpioWidgets[group][pin - kFirstPin[group]];
            for (int role = 0; role < 6; ++role) {
                const bool input = role <= ReadValue;
                row[role]->setVisible(function == (input ? Input : Output));
            }
        }
    }
}

void MainWindow::refreshGpioStatus(const LinkSnapshot &state) {
    QFrame *frame = ui->frame_GPIO_Status;
    QLabel *label = ui->lbl_GPIO_Status;
    const uint8_t command = state.lastGpioCmd;
    const uint8_t status = state.cmdStatus[command];
    if (command < CMD_GPIO_GROUP_SET || command > CMD_GPIO_GROUP_GET || status == CMD_STATUS_IDLE) {
        label->setText(QString());
        return;
    }
    if (applyRefusal(frame, label, status)) {
        return;
    }
    if (status == CMD_STATUS_PENDING) {
        setStatusField(frame, label, status_style::Pending, pendingStatusText());
        return;
    }
    const bool failed = status >= 1 && status <= 3;
    const bool reboot = status == 4;
    switch (command) {
        case CMD_GPIO_GROUP_SET:
            if (status == 0 || reboot) {
                setStatusField(frame, label, status_style::Success,
                               reboot ? tr("GPIO GROUP CONFIG successful! REBOOT REQUIRED.")
                                      : tr("GPIO GROUP CONFIG successful!"));
            } else if (failed) {
                setStatusField(frame, label, status_style::Failure,
                               tr("GPIO GROUP CONFIG failed!"));
            }
            break;
        case CMD_GPIO_PIN_SET:
        case CMD_GPIO_PIN_GET: {
            const bool set = command == CMD_GPIO_PIN_SET;
            if (status == 0) {
                setStatusField(frame, label, status_style::Success,
                               set ? tr("GPIO SET successful!") : tr("GPIO GET successful!"));
            } else if (failed || reboot) {
                const QString text = set ? (reboot ? tr("GPIO SET failed! Reboot required.")
                                                   : tr("GPIO SET failed!"))
                                         : (reboot ? tr("GPIO GET failed! Reboot required.")
                                                   : tr("GPIO GET failed!"));
                setStatusField(frame, label, status_style::Failure, text);
            }
            break;
        }
        case CMD_GPIO_GROUP_GET:
            if (status == 1 || status == 2) {
                setStatusField(frame, label, status_style::Failure,
                               tr("GPIO GROUP CONFIG GET failed!"));
            } else if (status == 0) {
                setStatusField(frame, label, status_style::Success,
                               tr("GPIO GROUP CONFIG GET successful!"));
                // A mode read selects its combo item when it differs from the one last
                // selected this way, so a mode the user picks stands until the module reports
                // another.
                QComboBox *modes[] = {ui->cmb_GPIOA_ModeVal, ui->cmb_GPIOB_ModeVal,
                                      ui->cmb_GPIOC_ModeVal, ui->cmb_GPIOD_ModeVal};
                for (int group = 0; group < GPIO_GROUP_COUNT; ++group) {
                    if (state.gpioGroupResult[group] == 0 && shownMode(state, group) != 2) {
                        controlSync_.write(
                            modes[group], state.gpioGroupValue[group],
                            [&](uint32_t mode) { modes[group]->setCurrentIndex(int(mode)); });
                    }
                }
            }
            break;
        default:
            break;
    }
}
