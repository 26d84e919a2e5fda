#include "localtapi/drivers/modem/SerialPort.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace localtapi::modem {

namespace {

struct Speed {
    unsigned bps;
    speed_t code;
};

constexpr Speed kSpeeds[] = {
    {300, B300},       {1200, B1200},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800},
};

// Bytes read per read() call; a modem sends short lines, the loop drains the rest.
constexpr std::size_t kReadChunkBytes = 512;

} // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
    Close();
}

std::function<void()> SerialPort::Guarded(std::function<void()> fn) {
    return [token = std::weak_ptr<int>(session), fn = std::move(fn)] {
        if (!token.expired())
            fn();
    };
}

bool SerialPort::SupportedSpeed(unsigned speed) {
    for (const Speed& s : kSpeeds)
        if (s.bps == speed)
            return true;
    return false;
}

int SerialPort::Open(const std::string& path, unsigned speed) {
    Close();
    speed_t code = B0;
    for (const Speed& s : kSpeeds)
        if (s.bps == speed)
            code = s.code;
    if (code == B0)
        return EINVAL;

    if (const int locked = lock.Acquire(path); locked != 0)
        return locked;
    const int handle = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) {
        const int error = errno;
        lock.Release();
        return error;
    }
    auto fail = [this, handle](int error) {
        ::close(handle);
        lock.Release();
        return error;
    };
    if (::flock(handle, LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    termios tio{};
    if (::tcgetattr(handle, &tio) != 0)
        return fail(errno);
    ::ioctl(handle, TIOCEXCL); // best effort: refused by some drivers, the lock still holds
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD | HUPCL;
    tio.c_cflag &= ~CRTSCTS;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, code);
    ::cfsetospeed(&tio, code);
    if (::tcsetattr(handle, TCSANOW, &tio) != 0)
        return fail(errno);
    ::tcflush(handle, TCIOFLUSH);

    fd = handle;
    session = std::make_shared<int>(0);
    context = new QObject;
    readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
    QObject::connect(readNotifier, &QSocketNotifier::activated, context,
                     Guarded([this] { ReadAvailable(); }));
    writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, context);
    writeNotifier->setEnabled(false);
    QObject::connect(writeNotifier, &QSocketNotifier::activated, context, Guarded([this] { FlushOutput(); }));
    return 0;
}

bool SerialPort::DropDtr() {
    int dtr = TIOCM_DTR;
    return fd >= 0 && ::ioctl(fd, TIOCMBIC, &dtr) == 0;
}

std::optional<bool> SerialPort::CarrierDetect() const {
    int lines = 0;
    if (fd < 0 || ::ioctl(fd, TIOCMGET, &lines) != 0)
        return std::nullopt;
    return (lines & TIOCM_CAR) != 0;
}

void SerialPort::Close() {
    // Notifiers stop first: they must not watch a descriptor number that is reused. They
    // are deleted later because Close may run inside one of their own signals; the
    // session token makes anything already queued for this opening a no-op.
    session.reset();
    if (context != nullptr) {
        readNotifier->setEnabled(false);
        writeNotifier->setEnabled(false);
        context->deleteLater();
        context = nullptr;
    }
    readNotifier = nullptr;
    writeNotifier = nullptr;
    output.clear();
    if (fd >= 0) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd); // releases the lock; HUPCL lowers DTR
        fd = -1;
    }
    lock.Release();
}

bool SerialPort::Write(std::string_view bytes) {
    if (fd < 0)
        return false;
    output.append(bytes);
    FlushOutput();
    return true;
}

void SerialPort::FlushOutput() {
    while (fd >= 0 && !output.empty()) {
        const ssize_t n = ::write(fd, output.data(), output.size());
        if (n > 0) {
            output.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            writeNotifier->setEnabled(true);
            return;
        }
        // The device refuses writes: it is gone. Reported from the event loop, so a
        // caller of Write never sees its callbacks run underneath it.
        writeNotifier->setEnabled(false);
        QTimer::singleShot(0, context, Guarded([this] { Vanish(); }));
        return;
    }
    if (writeNotifier != nullptr)
        writeNotifier->setEnabled(false);
}

void SerialPort::ReadAvailable() {
    char buffer[kReadChunkBytes];
    for (;;) {
        if (fd < 0)
            return;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            if (onData)
                onData(std::string_view(buffer, static_cast<std::size_t>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        Vanish(); // end of file, EIO, ENXIO: the device is gone
        return;
    }
}

void SerialPort::Vanish() {
    if (fd < 0)
        return;
    Close();
    if (onGone)
        onGone();
}

} // namespace localtapi::modem
