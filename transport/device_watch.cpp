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
QStringList DeviceWatch::whereItAppears() const {
    QStringList paths{nearestFolder(devicePath_)};
    const QFileInfo device(devicePath_);
    if (device.isSymLink() && !device.symLinkTarget().isEmpty()) {
        paths << nearestFolder(device.symLinkTarget());
    }
    if (device.exists()) {
        paths << devicePath_;
    }
    paths.removeDuplicates();
    return paths;
}

// A folder can come back between the look and the watch on the one above it, and what then
// appears in it would go unseen: look again until the watch is where the device would appear.
void DeviceWatch::watchWhereItAppears() {
    if (!watcher_) {
        return;
    }
    QStringList paths = whereItAppears();
    for (int round = 0; round < 8; ++round) {
        const QStringList watched = watcher_->files() + watcher_->directories();
        for (const QString &path : watched) {
            if (!paths.contains(path)) {
                watcher_->removePath(path);
            }
        }
        for (const QString &path : qAsConst(paths)) {
            if (!watched.contains(path)) {
                watcher_->addPath(path);
            }
        }
        const QStringList now = whereItAppears();
        if (now == paths) {
            return;
        }
        paths = now;
    }
}
