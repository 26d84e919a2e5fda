// ConfigurationWatcher: the file and its folder under QFileSystemWatcher, one report per
// settled change.
#include "localtapi/ConfigurationWatcher.h"

#include <QDir>
#include <QFileInfo>

namespace localtapi {

ConfigurationWatcher::ConfigurationWatcher(const std::string& path, std::function<void()> c)
    : file(QFileInfo(QString::fromStdString(path)).absoluteFilePath()), changed(std::move(c)) {
    settle.setSingleShot(true);
    settle.setInterval(kSettleTime);
    connect(&settle, &QTimer::timeout, this, [this] {
        Rewatch();
        changed();
    });
    auto touched = [this](const QString&) { settle.start(); };
    connect(&watcher, &QFileSystemWatcher::fileChanged, this, touched);
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, touched);
    Rewatch();
}

// A file replaced by a rename drops out of the watch, and a file created later was never in
// it: watch again whatever exists now. (The folder itself must exist to be watched; one
// made later is not followed.)
void ConfigurationWatcher::Rewatch() {
    const QString folder = QFileInfo(file).absolutePath();
    if (QDir(folder).exists() && !watcher.directories().contains(folder))
        watcher.addPath(folder);
    if (QFileInfo::exists(file) && !watcher.files().contains(file))
        watcher.addPath(file);
}

} // namespace localtapi
