// xdotool from a test that keeps its Qt event loop running meanwhile (its peers live on
// it): a command's output, and the first visible window of a title, each bounded.
#pragma once

#include "tests/support/Wait.h"

#include <QProcess>
#include <QStringList>

#include <string>

namespace xdo {

inline std::string Run(const QStringList& args) {
    QProcess xdo;
    xdo.start(QStringLiteral("xdotool"), args);
    WaitUntil([&] { return xdo.state() == QProcess::NotRunning; }, 15000);
    if (xdo.state() != QProcess::NotRunning) {
        xdo.kill();
        xdo.waitForFinished(2000);
    }
    return xdo.readAllStandardOutput().trimmed().toStdString();
}

// The window's id, or empty when none showed within `ms` or `gone` said to stop waiting.
template <typename Gone>
std::string Window(const char* title, int ms, Gone gone) {
    std::string id;
    WaitUntil([&] {
        id = Run({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                  QString::fromLatin1(title)});
        return !id.empty() || gone();
    }, ms);
    return id.substr(0, id.find('\n'));
}

} // namespace xdo
