// The port chooser: lists the host's serial ports (and the virtual module when one runs), takes
// any other name typed into it, and remembers the one confirmed for the next start.
#pragma once

#include <QDialog>
#include <QStringList>

namespace Ui {
class DlgSerialPort;
}

class DlgSerialPort : public QDialog {
    Q_OBJECT

  public:
    explicit DlgSerialPort(QWidget *parent = nullptr);
    ~DlgSerialPort() override;

    void refreshPorts();
    void selectLastUsedPort();
    QString selectedPort() const;
    void saveLastUsedPort();

    // Ports the host does not enumerate, such as the virtual module's pty, listed after its own.
    void addExtraPort(const QString &name);

    static QString lastUsedPort();

  public slots:
    void accept() override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    int findPort(const QString &name) const;

    Ui::DlgSerialPort *ui;
    QStringList extraPorts_;
};
