// A Hayes modem on a pseudo-terminal, answering from the Qt event loop: command lines ended
// by CR, E0/E1, V0/V1, Q0/Q1, &F and Z (back to E1 V1 Q0), H, D...; with a delayed scripted
// result (any byte during a dial aborts it, unless the script says otherwise), other
// commands OK. After CONNECT it is in data mode until "+++" between guard times. It
// records every byte it receives, when each command line began and each result left, and
// whether it is off hook.
#pragma once

#include "tests/support/Wait.h"

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>

struct SimScript {
    bool echo = true; // state at power-up
    bool verbose = true;
    bool mute = false;                        // says nothing at all, not even an echo
    std::deque<std::string> dials{};          // results of successive dials, then "OK"; "" silent, "vanish"
    std::string abortResult = "NO CARRIER";   // after an aborted dial; empty: none
    std::set<std::string> refuse{}, ignore{}; // command lines answered with ERROR, or never
    std::string vanishOn{};                   // the pty closes on this command line
    std::string noise{};                      // bytes sent before every result
    std::string beforeDialResult{};           // e.g. "\r\nRING\r\n"
    bool quiet = false;                       // Q1 at power-up: no result codes
    std::string babble{};                     // every command line answered with this, never a result
    int floodMs = 0;                          // a line of noise every this many ms, whatever it is told
    bool charAbort = true;                    // false: a dial ignores (and swallows) characters
    int dialMs = 20;                          // how long a dial takes to its result
    int guardMs = 100;                        // silence needed around "+++"
    int loseWithinMs = 0;                     // a command line begun this soon after a result is lost
};

class ModemSimulator {
  public:
    using Script = SimScript;
    // link: a path made a symbolic link to the pty (a port that can vanish and come back).
    explicit ModemSimulator(Script script = Script(), std::string link = {});
    ~ModemSimulator() { Vanish(); }
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    const std::string& Path() const { return slavePath; } // empty if no pty could be made
    const std::string& Received() const { return received; }
    void Vanish(); // the device disappears: the pty closes (and the link goes)
    bool OffHook() const { return offHook; }
    bool DataMode() const { return dataMode; }
    // The shortest time from a result to the start of the next command line, in ms (-1:
    // no command followed a result).
    long MinCommandGapMs() const { return minGap; }

  private:
    void Send(const std::string& bytes);
    void OnByte(char c);
    void Execute(const std::string& line);
    void Reply(const std::string& text);

    Script script;
    int master = -1;
    int slaveKeep = -1; // keeps the pty alive between the driver's openings
    std::string slavePath;
    std::unique_ptr<QObject> context;
    std::unique_ptr<QObject> dialTimer; // set while a dial is in progress
    std::string received, lineBuffer;
    bool echo, verbose, quiet;
    bool offHook = false, dataMode = false;
    long long lastResultMs = -1000000, lastByteMs = -1000000;
    long minGap = -1;
    bool losingLine = false;
    int pluses = 0;
    std::unique_ptr<QObject> escapeTimer;
    std::string linkPath;
};

