// ConfigurationWatcher: tells when the configuration file was changed by anyone (a dialog
// of another start of the program, an editor, a configuration tool).
//
// Watches the file and its folder, so that a file replaced by a rename (how editors and
// atomic saves write) or created later is still followed. Changes are gathered for a short
// settling time and then reported once, so an editor's several writes make one report.
//
// What it does not do: it does not read the file, and it reports a change the program made
// itself just as any other (the reader compares what it reads with what it has).
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>

namespace localtapi {

class ConfigurationWatcher : public QObject {
  public:
    // Changes less than this apart are one change.
    static constexpr std::chrono::milliseconds kSettleTime{200};

    ConfigurationWatcher(const std::string& path, std::function<void()> changed);

  private:
    void Rewatch();

    QString file;
    QFileSystemWatcher watcher;
    QTimer settle;
    std::function<void()> changed;
};

} // namespace localtapi
