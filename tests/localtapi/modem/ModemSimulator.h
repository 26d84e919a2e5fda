// ModemSimulator: a Hayes modem on a pseudo-terminal, for tests of the modem driver.
//
// Opens a pty pair; the driver opens the slave path as it would a serial device, and the
// simulator answers on the master side from the calling thread's Qt event loop. It speaks
// the basic dialect: command lines "AT..." ended by CR, echo (E0/E1), verbose or numeric
// results (V1/V0), &F and Z (back to E1 V1), H, D with a trailing ';', and other simple
// commands accepted with OK. A dial ends after a delay with a scripted result; any byte
// that arrives during a dial aborts it. Scripts make it answer ERROR or nothing to given
// commands, say nothing at all, send noise, or vanish (the pty closes) during a dial.
//
// It records every byte it receives, so tests compare the driver's output byte for byte.
#pragma once

#include <QObject>

#include <chrono>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QSocketNotifier;

// Results of a dial command the simulator can play.
enum class SimDialOutcome { Ok, Connect, Busy, NoDialtone, NoAnswer, NoCarrier, Error, Silent, Vanish };

struct SimScript {
    bool echo = true; // state before the first command (a modem fresh from power-up)
    bool verbose = true;
    bool mute = false;                // says nothing at all, not even an echo
    std::deque<SimDialOutcome> dials; // results of successive dial commands; then Ok
    std::chrono::milliseconds dialTime{20};
    std::string abortResult = "NO CARRIER";  // after an aborted dial; empty: none
    std::set<std::string> refuse;            // command lines answered with ERROR
    std::set<std::string> ignore;            // command lines never answered
    std::string noise;                       // bytes sent before every result
    std::string unsolicitedBeforeDialResult; // e.g. "\r\nRING\r\n"
};

class ModemSimulator {
  public:
    using DialOutcome = SimDialOutcome;
    using Script = SimScript;

    explicit ModemSimulator(Script script = Script());
    ~ModemSimulator();
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    // The device path the driver opens; empty if the pty could not be made.
    const std::string& Path() const { return slavePath; }

    // Every byte received from the driver, and the command lines among them (without CR).
    const std::string& Received() const { return received; }
    const std::vector<std::string>& Commands() const { return commands; }
    bool Echo() const { return echo; }
    bool Verbose() const { return verbose; }

    // The modem sends bytes on its own (RING, noise).
    void Send(const std::string& bytes);
    // The device vanishes: the pty closes.
    void Vanish();

  private:
    void OnReadable();
    void OnByte(char c);
    void Execute(const std::string& line);
    void Result(int code, const std::string& text);
    void Reply(const std::string& text); // a result by its verbose text
    void EndDial(DialOutcome outcome);

    Script script;
    int master = -1;
    int slaveKeep = -1; // keeps the pty alive between the driver's openings
    std::string slavePath;
    std::unique_ptr<QObject> context;
    QSocketNotifier* notifier = nullptr;
    std::unique_ptr<QObject> dialTimer; // set while a dial is in progress
    std::string received;
    std::string lineBuffer;
    std::vector<std::string> commands;
    bool echo = true;
    bool verbose = true;
};
