// A Hayes modem on a pseudo-terminal, answering from the Qt event loop: command lines ended
// by CR, E0/E1, V0/V1, &F and Z (back to E1 V1), D...; with a delayed scripted result (any
// byte during a dial aborts it), other commands OK. It records every byte it receives.
#pragma once

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
};

class ModemSimulator {
  public:
    using Script = SimScript;
    explicit ModemSimulator(Script script = Script());
    ~ModemSimulator() { Vanish(); }
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    const std::string& Path() const { return slavePath; } // empty if no pty could be made
    const std::string& Received() const { return received; }
    void Vanish(); // the device disappears: the pty closes

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
    bool echo, verbose;
};

// Runs the event loop until `done` holds; false after `ms`.
bool WaitUntil(const std::function<bool()>& done, int ms = 5000);
