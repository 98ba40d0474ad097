// Call Handling / I2S tab: dialling, answering and hanging up, the line state the module reports
// with its call events, and the audio path's settings, read first and then set group by group.
#include <QMessageBox>
#include <QStatusBar>

#include "link_requests.h"
#include "link_state.h"
#include "main_window.h"
#include "request_texts.h"
#include "status_field.h"
#include "ui_mainwindow.h"

namespace {

enum LineState { Incoming = 0, Connected, Active, Dialing, Alerting, Disconnected };
constexpr uint32_t kNoEventYet = 0xFFFFFFFF;
constexpr uint8_t kReasonNotGiven = 255;

QString callTypeText(uint8_t type) {
    switch (type) {
        case 0:
            return MainWindow::tr("Voice");
        case 255:
            return MainWindow::tr("Not yet known");
        default:
            return MainWindow::tr("Unhandled");
    }
}

QString reasonText(int reason) {
    switch (reason) {
        case 0:
            return MainWindow::tr("Link not established");
        case 1:
            return MainWindow::tr("No dial tone, dialing impossible, wrong mode");
        case 2:
            return MainWindow::tr("Remote station busy");
        case 3:
            return MainWindow::tr("No answer");
        case 255:
        case -1:
            return MainWindow::tr("Unknown");
        default:
            return MainWindow::tr("Unhandled");
    }
}

}  // namespace

void MainWindow::on_btn_CallHandling_Dial_clicked() {
    const QString number = ui->edt_CallHandling_DialoutPhoneNumber->text();
    const QString reason = dialNumberRefusal(number);
    if (!reason.isEmpty()) {
        QMessageBox::warning(this, tr("Invalid phone number"), reason, QMessageBox::Ok);
        return;
    }
    queued(link_call_dial(number.toUtf8()), tr("Call Handling"));
}

void MainWindow::on_btn_CallHandling_AnswerCall_clicked() {
    queued(link_call_answer(), tr("Call Handling"));
}

void MainWindow::on_btn_CallHandling_HangUp_clicked() {
    queued(link_call_hangup(kHangUpFirstByte, kHangUpSecondByte), tr("Call Handling"));
}

void MainWindow::on_btn_I2S_GetValuesFirst_clicked() {
    for (int (*read)() : {link_audio_get_mic_mute, link_audio_get_mic_gain,
                          link_audio_get_speaker_gain, link_audio_get_ring_tone}) {
        if (!queued(read(), tr("Audio Settings"))) {
            return;
        }
    }
}

void MainWindow::on_chk_I2S_MicMute_clicked() {
    queued(link_audio_set_mic_mute(ui->chk_I2S_MicMute->isChecked() ? 1 : 0), tr("Audio Settings"));
}

void MainWindow::on_btn_I2S_MicGainSet_clicked() {
    queued(link_audio_set_mic_gain(uint8_t(ui->sli_I2S_MicGain->value())), tr("Audio Settings"));
}

void MainWindow::on_btn_I2S_SpkrGainSet_clicked() {
    queued(link_audio_set_speaker_gain(uint8_t(ui->sli_I2S_SpkrGain->value()),
                                       uint8_t(ui->sli_I2S_SpkrSidetoneGain->value())),
           tr("Audio Settings"));
}

void MainWindow::on_btn_I2S_RingToneCgfSet_clicked() {
    queued(link_audio_set_ring_tone(uint8_t(ui->spin_I2S_RingTonePreset->value()),
                                    uint8_t(ui->sli_I2S_RingToneVolume->value())),
           tr("Audio Settings"));
}

void MainWindow::refreshCalls(const LinkSnapshot &state) {
    const uint32_t line = state.callEventValue;
    QLabel *label = ui->lbl_CallHandling_CurrentStateValue;
    switch (line) {
        case kNoEventYet:
            label->setText(tr("Idle"));
            break;
        case Incoming:
            label->setText(tr("Call Incoming (%1)").arg(callTypeText(state.callEventExtra)));
            statusBar()->showMessage(tr("Call Incoming!"), 5000);
            break;
        case Connected:
            label->setText(tr("Call Connected"));
            break;
        case Active:
            label->setText(tr("Call Active"));
            break;
        case Dialing:
            label->setText(tr("Call Dialing"));
            break;
        case Alerting:
            label->setText(tr("Call Alerting"));
            break;
        case Disconnected: {
            // An event without a reason keeps the one shown for the last disconnection.
            int reason = state.callEventExtra;
            if (reason == kReasonNotGiven &&
                link_set_call_event_extra_if(kReasonNotGiven, uint8_t(lastCallState))) {
                reason = lastCallState;
            }
            label->setText(tr("Call Disconnected (Reason: %1)").arg(reasonText(reason)));
            lastCallState = static_cast<signed char>(reason);
            break;
        }
        default:
            break;
    }
    if (line <= Alerting) {
        lastCallState = -1;
    }
    const bool idle = line == kNoEventYet || line == Disconnected;
    ui->edt_CallHandling_DialoutPhoneNumber->setEnabled(idle);
    ui->btn_CallHandling_Dial->setEnabled(idle);
    ui->btn_CallHandling_AnswerCall->setEnabled(line == Incoming);
    ui->btn_CallHandling_HangUp->setEnabled(line == Incoming || line == Active || line == Dialing ||
                                            line == Alerting);

    QFrame *frame = ui->frm_CallHandling_Status;
    QLabel *status = ui->lbl_CallHandling_StatusValue;
    const uint8_t command = state.lastCallCmd;
    if (command == 0) {
        return;
    }
    if (command != CMD_CALL_DIAL) {
        applyStandardStatus(frame, status, state.cmdStatus[command],
                            tr("Command executed successfully."), tr("ERROR: Command failed."));
        return;
    }
    applyStandardStatus(
        frame, status, state.cmdStatus[CMD_CALL_DIAL], tr("Call initiated successfully."),
        {tr("ERROR: Invalid call type or phone number."),
         tr("ERROR: Link not established; not connected."),
         tr("ERROR: Invalid command or call already active."), tr("ERROR: Command failed.")});
}

void MainWindow::refreshAudio(const LinkSnapshot &state) {
    QFrame *frame = ui->frm_I2S_Status;
    QLabel *label = ui->lbl_I2S_StatusValue;
    if (state.lastAudioCmd != 0) {
        applyStandardStatus(
            frame, label, state.cmdStatus[state.lastAudioCmd],
            tr("Audio setting applied successfully."),
            {tr("ERROR: Invalid value for audio setting."), tr("ERROR: Command failed.")});
        return;
    }
    const uint8_t reads[] = {
        state.cmdStatus[CMD_AUDIO_GET_MIC_MUTE], state.cmdStatus[CMD_AUDIO_GET_MIC_GAIN],
        state.cmdStatus[CMD_AUDIO_GET_SPEAKER_GAIN], state.cmdStatus[CMD_AUDIO_GET_RING_TONE]};
    auto any = [&reads](uint8_t code) {
        return std::find(std::begin(reads), std::end(reads), code) != std::end(reads);
    };
    if (std::all_of(std::begin(reads), std::end(reads), [](uint8_t code) { return code == 0; })) {
        ui->frm_I2S_GetValuesFirst->hide();
        ui->frm_I2S_AudioSettings->show();
        // The controls take the values read once per round of reads, so the user's changes
        // stand until the settings are read again. Each control clamps to its range.
        const QString reply = QStringLiteral("%1 %2 %3 %4")
                                  .arg(state.replyCount[CMD_AUDIO_GET_MIC_MUTE])
                                  .arg(state.replyCount[CMD_AUDIO_GET_MIC_GAIN])
                                  .arg(state.replyCount[CMD_AUDIO_GET_SPEAKER_GAIN])
                                  .arg(state.replyCount[CMD_AUDIO_GET_RING_TONE]);
        controlSync_.write(ui->frm_I2S_AudioSettings, reply, [this, &state](const QString &) {
            ui->chk_I2S_MicMute->setChecked(state.audioMicMute != 0);
            ui->sli_I2S_MicGain->setValue(state.audioMicGain);
            ui->sli_I2S_SpkrGain->setValue(state.audioSpeakerGain[0]);
            ui->sli_I2S_SpkrSidetoneGain->setValue(state.audioSpeakerGain[1]);
            ui->spin_I2S_RingTonePreset->setValue(state.audioRingTone[0]);
            ui->sli_I2S_RingToneVolume->setValue(state.audioRingTone[1]);
        });
        setStatusField(frame, label, status_style::Success,
                       tr("Audio config retrieved successfully."));
    } else if (any(1)) {
        setStatusField(frame, label, status_style::Failure,
                       tr("Failed to retrieve an audio parameter."));
    } else if (any(CMD_STATUS_NAK)) {
        applyRefusal(frame, label, CMD_STATUS_NAK);
    } else if (any(CMD_STATUS_SILENT)) {
        applyRefusal(frame, label, CMD_STATUS_SILENT);
    } else if (any(CMD_STATUS_PENDING)) {
        setStatusField(frame, label, status_style::Pending, pendingStatusText());
    }
}
