// Opening a modem line: the port, the reset that works from any state the modem was left
// in, the init string, and words for the user when any of it fails.
#include "localtapi/drivers/modem/ModemLine.h"

#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <cstring>

namespace localtapi::modem {

namespace {

// The words of an init string after its "AT": "&D2", "&C1", "X4" ...; a word is an
// optional '&', a letter and its digits.
std::vector<std::string> Words(std::string_view init) {
    std::vector<std::string> words;
    std::size_t i = 2;
    while (i < init.size()) {
        std::string word;
        if (init[i] == '&' && i + 1 < init.size())
            word += init[i++];
        word += init[i++];
        while (i < init.size() && init[i] >= '0' && init[i] <= '9')
            word += init[i++];
        words.push_back(word);
    }
    return words;
}

// What the reset already settles: factory settings, echo, result form, quiet mode.
bool SettledByReset(const std::string& word) {
    return word == "&F" || word[0] == 'E' || word[0] == 'V' || word[0] == 'Q' || word == "Z";
}

} // namespace

LONG ModemLine::PortError(int error) {
    const std::string& port = s.port;
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        Remark("no such port " + port + " (is the modem plugged in?)", true);
        return LINEERR_NODEVICE;
    case ENOTDIR:
    case EISDIR:
    case ENOTTY:
        Remark(port + " is not a serial port", true);
        return LINEERR_NODEVICE;
    case EACCES:
    case EPERM:
        Remark("no permission to use " + port +
                   ": add yourself to the group dialout (sudo usermod -aG dialout \"$USER\"), then log in again",
               true);
        return LINEERR_RESOURCEUNAVAIL;
    case EBUSY:
        if (const pid_t holder = channel.Port().LockHolder(); holder != 0) {
            const std::string& name = channel.Port().LockHolderName();
            Remark(port + " is in use by process " + std::to_string(holder) + (name.empty() ? "" : " (" + name + ")") +
                       ", which holds its lock file",
                   true);
        } else {
            Remark(port + " is in use by another program", true);
        }
        return LINEERR_RESOURCEUNAVAIL;
    default:
        Remark("cannot open " + port + ": " + std::strerror(error), true);
        return LINEERR_RESOURCEUNAVAIL;
    }
}

// A hang-up of the last Close still running: the port is not ours to open yet.
void ModemLine::WaitForHangup() {
    if (line != LineStep::Closing)
        return;
    QEventLoop loop;
    hangupLoop = &loop;
    // Bounded by the hang-up's own steps: abort, escape, ATH, ATZ.
    QTimer::singleShot(t.abort + 2 * t.guard + 3 * t.command, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    hangupLoop = nullptr;
    if (line == LineStep::Closing) {
        call.reset();
        FinishClose();
    }
}

LONG ModemLine::Open(LineDriverSink& target) {
    WaitForHangup();
    gone = false; // a port that went away may be back
    if (const int error = channel.Open(s.port, s.speed); error != 0)
        return PortError(error);
    line = LineStep::Opening;

    std::optional<LONG> result;
    QEventLoop loop;
    Probe(1, [&](LONG r) {
        result = r;
        loop.quit();
    });
    if (!result) {
        openLoop = &loop;
        // Bounded: each command ends by its result, its timeout or the port's loss. Clicks
        // and keys wait, so the user cannot start a second operation meanwhile.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        openLoop = nullptr;
    }
    if (!result || *result != 0) {
        // Failed, or Close was called meanwhile: release the port.
        line = LineStep::Closed;
        channel.Close();
        return result ? *result : LINEERR_RESOURCEUNAVAIL;
    }
    line = LineStep::Open;
    sink = &target;
    return 0;
}

// "AT", a few times: a modem that answers is reset from there; one that never does may be
// in quiet mode, or still busy with something.
void ModemLine::Probe(int attempt, Finish finish) {
    channel.Send("AT", t.probe, [this, attempt, finish](const Outcome& o) {
        if (o.gone)
            return finish(LINEERR_NODEVICE);
        if (o.result == Result::Error) {
            Remark("the device on " + s.port + " refuses AT", true);
            return finish(LINEERR_RESOURCEUNAVAIL);
        }
        if (o.result != Result::None) {
            // Answered: factory settings first when the default init string asks for them.
            if (s.init != kDefaultInit)
                return Verbose(finish);
            return channel.Send("AT&F", t.command, [this, finish](const Outcome& f) {
                if (f.gone)
                    return finish(LINEERR_NODEVICE);
                if (f.result != Result::Ok)
                    Remark("the modem refused AT&F; going on from its present settings");
                Verbose(finish);
            });
        }
        if (attempt < kProbeAttempts)
            return Probe(attempt + 1, finish);
        Revive(finish);
    });
}

// Nothing answered AT: a reset to the stored profile and to factory settings, which end
// quiet mode. A modem answers at least the second (factory settings speak); when neither
// is answered, nothing on the port is a modem that listens, and the open fails now.
void ModemLine::Revive(Finish finish) {
    Remark("no answer to AT on " + s.port + ": trying ATZ and AT&F");
    channel.Send("ATZ", t.probe, [this, finish](const Outcome& z) {
        if (z.gone)
            return finish(LINEERR_NODEVICE);
        const bool zAnswered = z.result != Result::None;
        channel.Send("AT&F", t.probe, [this, finish, zAnswered](const Outcome& f) {
            if (f.gone)
                return finish(LINEERR_NODEVICE);
            if (!zAnswered && f.result == Result::None) {
                Remark("no modem answers on " + s.port + ": nothing answered AT, ATZ or AT&F (is it a modem, and "
                       "switched on?)",
                       true);
                return finish(LINEERR_NODEVICE);
            }
            Verbose(finish);
        });
    });
}

// Results on, in words, without echo: what the driver understands best.
void ModemLine::Verbose(Finish finish) {
    channel.Send("ATQ0V1E0", t.command, [this, finish](const Outcome& o) {
        if (o.result == Result::Ok) {
            if (s.init != kDefaultInit)
                return UserInit(finish);
            std::vector<std::string> rest;
            for (std::string& w : Words(kDefaultInit))
                if (!SettledByReset(w))
                    rest.push_back(std::move(w));
            return InitWords(std::move(rest), finish);
        }
        if (o.result == Result::Error) {
            Remark("the modem on " + s.port + " refuses ATQ0V1E0", true);
            return finish(LINEERR_OPERATIONFAILED);
        }
        Remark("no modem answers on " + s.port + " (or another program is reading the port)", true);
        finish(LINEERR_NODEVICE);
    });
}

// The default init string's words one by one; a rejected one is reported and skipped.
void ModemLine::InitWords(std::vector<std::string> words, Finish finish) {
    if (words.empty())
        return finish(0);
    const std::string word = words.front();
    words.erase(words.begin());
    channel.Send("AT" + word, t.command, [this, word, words, finish](const Outcome& o) {
        if (o.result == Result::None) {
            Remark("the modem on " + s.port + " stopped answering (AT" + word + ")", true);
            return finish(LINEERR_NODEVICE);
        }
        if (o.result != Result::Ok)
            Remark("the modem refused AT" + word + "; going on without it");
        InitWords(words, finish);
    });
}

// The user's own init string, as given: a rejection means it is wrong for this modem.
void ModemLine::UserInit(Finish finish) {
    channel.Send(s.init, t.command, [this, finish](const Outcome& o) {
        if (o.result == Result::Ok)
            return finish(0);
        if (o.result == Result::None) {
            Remark("the modem on " + s.port + " does not answer the init string " + s.init, true);
            return finish(LINEERR_NODEVICE);
        }
        Remark("the modem refused the init string " + s.init + ": check it against the modem's manual", true);
        finish(LINEERR_OPERATIONFAILED);
    });
}

} // namespace localtapi::modem
