#include "localtapi/drivers/modem/UucpLock.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace localtapi::modem {

namespace {

// The process ID in a lock file: ten ASCII digits (HDB UUCP), or a binary int (old
// style); 0 when it cannot be read.
pid_t ReadPid(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.size() == sizeof(int) && text.find('\n') == std::string::npos) {
        int binary = 0;
        text.copy(reinterpret_cast<char*>(&binary), sizeof binary);
        return binary;
    }
    char* end = nullptr;
    const long pid = std::strtol(text.c_str(), &end, 10);
    return pid > 0 && pid < (1L << 30) ? static_cast<pid_t>(pid) : 0;
}

bool Alive(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

std::string CommandName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

} // namespace

std::string UucpLock::Directory() {
    const char* dir = std::getenv("ORVODIAL_LOCK_DIR");
    return dir != nullptr && *dir != '\0' ? dir : "/var/lock";
}

int UucpLock::Acquire(const std::string& devicePath) {
    Release();
    holder = 0;
    holderName.clear();
    const std::size_t slash = devicePath.rfind('/');
    const std::string path = Directory() + "/LCK.." + devicePath.substr(slash == std::string::npos ? 0 : slash + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char text[16];
            const int n = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
            const bool written = ::write(fd, text, static_cast<std::size_t>(n)) == n;
            ::close(fd);
            if (!written) {
                ::unlink(path.c_str());
                return 0; // a full disk: go on without the file
            }
            file = path;
            return 0;
        }
        if (errno != EEXIST)
            return 0; // no lock directory, or no permission to write it: no lock file
        const pid_t pid = ReadPid(path);
        if (pid == ::getpid() || !Alive(pid)) {
            ::unlink(path.c_str()); // stale: its process is gone (or it is our own, left over)
            continue;
        }
        holder = pid;
        holderName = CommandName(pid);
        return EBUSY;
    }
    return 0;
}

void UucpLock::Release() {
    if (!file.empty())
        ::unlink(file.c_str());
    file.clear();
}

} // namespace localtapi::modem
