// BenchEnvironment: what every benchmark run of the dialer starts in: Qt's offscreen
// platform when there is no display, a temporary telephony configuration with one
// simulated line, no trace, and a private runtime directory when the session has none.
// Removes what it made when it goes, or earlier with Remove().
#pragma once

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace bench {

class BenchEnvironment {
  public:
    BenchEnvironment() {
        if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const int fd = mkstemp(configPath_);
        const std::string config = "[line0]\ndriver=simulated\nname=Simulated line\n";
        ok_ = fd >= 0 && write(fd, config.data(), config.size()) == static_cast<ssize_t>(config.size());
        if (fd >= 0)
            close(fd);
        setenv("ORVODIAL_TELEPHONY_CONFIG", configPath_, 1);
        unsetenv("ORVODIAL_TAPI_TRACE");
        ownRuntimeDir_ = !std::getenv("XDG_RUNTIME_DIR") && mkdtemp(runtimeDir_);
        if (ownRuntimeDir_)
            setenv("XDG_RUNTIME_DIR", runtimeDir_, 1);
    }
    ~BenchEnvironment() { Remove(); }
    BenchEnvironment(const BenchEnvironment&) = delete;
    BenchEnvironment& operator=(const BenchEnvironment&) = delete;

    // False when the configuration file could not be written.
    bool ok() const { return ok_; }

    // Removes the configuration file and the runtime directory now.
    void Remove() {
        if (configPath_[0] != '\0')
            unlink(configPath_);
        configPath_[0] = '\0';
        if (ownRuntimeDir_)
            rmdir(runtimeDir_);
        ownRuntimeDir_ = false;
    }

  private:
    char configPath_[64] = "/tmp/orvodial-bench-XXXXXX";
    char runtimeDir_[64] = "/tmp/orvodial-bench-run-XXXXXX";
    bool ok_ = false;
    bool ownRuntimeDir_ = false;
};

} // namespace bench
