// UucpLock: the lock file by which programs that use serial ports (minicom, pppd, cu, ...)
// tell each other that a port is taken: LCK..<device name> in the lock directory, holding
// the owner's process ID as ten ASCII digits and a newline.
//
// Acquire takes the port's lock: a lock of a process that no longer exists is stale and is
// removed first; a live one of another process makes the port busy (and says whose it
// is). Where the lock directory cannot be written (no permission), the port is used
// without a lock file, as the other programs do; the exclusive open still holds.
// What it does not do: no waiting, no locking of anything but the file.
#pragma once

#include <string>
#include <sys/types.h>

namespace localtapi::modem {

class UucpLock {
  public:
    UucpLock() = default;
    ~UucpLock() { Release(); }
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    // The lock directory: $ORVODIAL_LOCK_DIR when set (for tests), else /var/lock.
    static std::string Directory();

    // 0 when taken (or when there is nowhere to take it), EBUSY when another live process
    // holds it (then Holder() and HolderName() say which).
    int Acquire(const std::string& devicePath);
    void Release();

    pid_t Holder() const { return holder; }
    const std::string& HolderName() const { return holderName; } // its command name, when known
    const std::string& File() const { return file; }

  private:
    std::string file; // the lock file this object created; empty when none
    pid_t holder = 0;
    std::string holderName;
};

} // namespace localtapi::modem
