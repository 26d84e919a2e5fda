// SerialPort: a serial device opened for a modem, read and written without blocking.
//
// Opens the device with O_NOCTTY|O_NONBLOCK, takes it exclusively (its UUCP lock file, an
// advisory lock plus TIOCEXCL, so a second program cannot talk to the same modem at the same time),
// sets it raw at the requested speed with hardware flow control off and HUPCL on (closing
// the port lowers DTR, which hangs up a modem set to &D2), and discards stale input.
// Incoming bytes are handed to a callback from a QSocketNotifier on the calling thread's
// event loop; writes that the device cannot take at once wait in a buffer for the next
// write notification. A read that returns end-of-file or an error such as EIO (the device
// vanished, e.g. a USB modem unplugged) closes the port and calls the gone callback, from
// the event loop, never from inside Write.
//
// It does not understand what it carries and never blocks.
#pragma once

#include "localtapi/drivers/modem/UucpLock.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QSocketNotifier;

namespace localtapi::modem {

class SerialPort {
  public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Whether `speed` (bits per second) is one the port can be set to.
    static bool SupportedSpeed(unsigned speed);

    // Opens and configures the device. 0 on success, otherwise the errno that stopped
    // it (ENOTTY when the path is not a terminal, EBUSY when another program holds it).
    int Open(const std::string& path, unsigned speed);
    // Who holds the port's lock file after Open failed with EBUSY (0: no lock file said so).
    pid_t LockHolder() const { return lock.Holder(); }
    const std::string& LockHolderName() const { return lock.HolderName(); }
    // Lowers DTR (a modem set to &D2 hangs up); false where the device has no DTR.
    bool DropDtr();
    // The carrier-detect line: true, false, or nothing where the device has none.
    std::optional<bool> CarrierDetect() const;
    void Close();
    bool IsOpen() const { return fd >= 0; }

    // Queues bytes for the device. False when the port is closed.
    bool Write(std::string_view bytes);

    std::function<void(std::string_view)> onData;
    std::function<void()> onGone;

  private:
    void ReadAvailable();
    void FlushOutput();
    void Vanish();

    // Wraps a callback so that it does nothing once the opening it was made for is closed.
    std::function<void()> Guarded(std::function<void()> fn);

    int fd = -1;
    UucpLock lock;
    std::string output;
    std::shared_ptr<int> session; // one per opening; reset by Close
    QObject* context = nullptr;   // parent of the notifiers and of posted calls
    QSocketNotifier* readNotifier = nullptr;
    QSocketNotifier* writeNotifier = nullptr;
};

} // namespace localtapi::modem
