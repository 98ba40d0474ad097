// Notices a lost port's device coming back: a watch on the folder it appears in, which tells at
// once, and a look at a steady pace for what the watch cannot see.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

class QFileSystemWatcher;

class DeviceWatch : public QObject {
    Q_OBJECT

  public:
    explicit DeviceWatch(QObject *parent = nullptr);
    ~DeviceWatch() override;

    // Starts watching for `devicePath`, looking at least every `lookIntervalMs` as well. The
    // file-system watch is made on the calling thread, which must be this object's.
    void start(const QString &devicePath, int lookIntervalMs);
    void stop();

  signals:
    // The device may be back: something changed where it appears, or the look's time came.
    void mayBeBack();

  private:
    QStringList whereItAppears() const;
    void watchWhereItAppears();

    QTimer look_;
    std::unique_ptr<QFileSystemWatcher> watcher_;
    QString devicePath_;
};
