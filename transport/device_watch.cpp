#include "device_watch.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStringList>

namespace {

// The folder `path` is in, or the nearest one above it that exists: /dev/serial/by-id goes
// with the last device in it and comes back with the first.
QString nearestFolder(const QString &path) {
    QString folder = QFileInfo(path).absolutePath();
    while (!QFileInfo(folder).isDir() && folder != QLatin1String("/")) {
        folder = QFileInfo(folder).absolutePath();
    }
    return folder;
}

}  // namespace

DeviceWatch::DeviceWatch(QObject *parent) : QObject(parent) {
    look_.setParent(this);  // moves to the worker's thread with it
    connect(&look_, &QTimer::timeout, this, &DeviceWatch::mayBeBack);
}

DeviceWatch::~DeviceWatch() = default;

void DeviceWatch::start(const QString &devicePath, int lookIntervalMs) {
    devicePath_ = devicePath;
    look_.start(lookIntervalMs);
    watcher_ = std::make_unique<QFileSystemWatcher>();
    connect(watcher_.get(), &QFileSystemWatcher::directoryChanged, this, [this] {
        watchWhereItAppears();
        emit mayBeBack();
    });
    // A device that is there but not yet usable changes its mode or owner, not its folder.
    connect(watcher_.get(), &QFileSystemWatcher::fileChanged, this, &DeviceWatch::mayBeBack);
    watchWhereItAppears();
}

void DeviceWatch::stop() {
    look_.stop();
    watcher_.reset();
    devicePath_.clear();
}

// The folders of the name and, for a link, of what it points to; a folder that went is
// replaced by the nearest one above it until it is back.
void DeviceWatch::watchWhereItAppears() {
    if (!watcher_) {
        return;
    }
    QStringList paths{nearestFolder(devicePath_)};
    const QFileInfo device(devicePath_);
    if (device.isSymLink() && !device.symLinkTarget().isEmpty()) {
        paths << nearestFolder(device.symLinkTarget());
    }
    if (device.exists()) {
        paths << devicePath_;
    }
    const QStringList watched = watcher_->files() + watcher_->directories();
    for (const QString &path : watched) {
        if (!paths.contains(path)) {
            watcher_->removePath(path);
        }
    }
    paths.removeDuplicates();
    for (const QString &path : qAsConst(paths)) {
        if (!watched.contains(path)) {
            watcher_->addPath(path);
        }
    }
}
