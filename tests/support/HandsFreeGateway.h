// HandsFreeGateway: the phone's side of a Bluetooth hands-free link, as AT commands over
// TCP on 127.0.0.1, for oFono's phonesim plugin (a "Modem=hfp" modem) to talk to in tests.
//
// It answers the service-level set-up (+BRSF, +CIND, +CMER ...; or refuses it when told
// to), a dial (ATD...; with OK, or with ERROR when told to refuse), the call list (+CLCC)
// and hang-ups (+CHUP, ATH), and sends the call's progress as +CIEV indicators when the
// test says the far end rings, answers, is busy or hangs up. Every command it hears is
// kept, in order.
// What it does not do: no audio link, no incoming calls, one call, one connection.
#pragma once

#include <QObject>
#include <QTcpServer>

#include <string>
#include <vector>

class QTcpSocket;

class HandsFreeGateway : public QObject {
    Q_OBJECT

  public:
    HandsFreeGateway();
    quint16 Port() const { return server.serverPort(); }

    std::vector<std::string> commands; // as heard, without the CR
    bool refuseDial = false;           // ATD answered with ERROR
    bool refuseLink = false;           // the service-level set-up (+BRSF) answered with ERROR
    bool Heard(const std::string& command) const;
    bool HeardHangup() const; // +CHUP, ATH or +CHLD=1x

    // The far end, for the call the phone dialled.
    void Ring();   // alerting: callsetup 3
    void Answer(); // active: call 1, callsetup 0
    void Busy();   // gone before an answer: callsetup 0
    void HangUp(); // gone after the answer: call 0
    // The link lost, as when the phone goes out of reach; a later one is taken.
    void Disconnect();

    enum class State { None, Dialing, Alerting, Active };
    State state = State::None;

  private:
    void OnData();
    void Respond(const std::string& command);
    void Send(const std::string& line);

    QTcpServer server;
    QTcpSocket* peer = nullptr;
    std::string pending;
    std::string number;
};
