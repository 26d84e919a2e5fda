#include "tests/support/HandsFreeGateway.h"

#include <QTcpSocket>

#include <algorithm>

namespace {

// call, callsetup, ... in the order +CIND=? lists them (indices from 1).
constexpr const char* kIndicators =
    "+CIND: (\"service\",(0,1)),(\"call\",(0,1)),(\"callsetup\",(0-3)),(\"callheld\",(0-2)),"
    "(\"signal\",(0-5)),(\"roam\",(0,1)),(\"battchg\",(0-5))";
constexpr int kCall = 2;
constexpr int kCallSetup = 3;

} // namespace

HandsFreeGateway::HandsFreeGateway() {
    server.listen(QHostAddress::LocalHost, 0);
    connect(&server, &QTcpServer::newConnection, this, [this] {
        QTcpSocket* next = server.nextPendingConnection();
        if (peer != nullptr) // one link at a time, the newest (oFono's after a restart)
            peer->deleteLater();
        peer = next;
        pending.clear();
        connect(peer, &QTcpSocket::readyRead, this, &HandsFreeGateway::OnData);
    });
}

bool HandsFreeGateway::Heard(const std::string& command) const {
    return std::find(commands.begin(), commands.end(), command) != commands.end();
}

bool HandsFreeGateway::HeardHangup() const {
    return std::any_of(commands.begin(), commands.end(), [](const std::string& c) {
        return c == "AT+CHUP" || c == "ATH" || c.starts_with("AT+CHLD=1");
    });
}

void HandsFreeGateway::OnData() {
    pending += peer->readAll().toStdString();
    for (std::size_t end; (end = pending.find('\r')) != std::string::npos;) {
        std::string command = pending.substr(0, end);
        pending.erase(0, end + 1);
        command.erase(0, command.find_first_not_of("\n "));
        if (command.empty())
            continue;
        commands.push_back(command);
        Respond(command);
    }
}

void HandsFreeGateway::Send(const std::string& line) {
    if (peer != nullptr)
        peer->write(("\r\n" + line + "\r\n").c_str());
}

void HandsFreeGateway::Respond(const std::string& command) {
    const int call = state == State::Active ? 1 : 0;
    const int setup = state == State::Dialing ? 2 : state == State::Alerting ? 3 : 0;
    if (command.starts_with("AT+BRSF=")) {
        if (refuseLink) {
            Send("ERROR");
            return;
        }
        Send("+BRSF: 0");
    } else if (command == "AT+CIND=?") {
        Send(kIndicators);
    } else if (command == "AT+CIND?") {
        Send("+CIND: 1," + std::to_string(call) + "," + std::to_string(setup) + ",0,5,0,5");
    } else if (command == "AT+COPS?") {
        Send("+COPS: 0,0,\"OrvoNet\"");
    } else if (command == "AT+CLCC") {
        if (state != State::None) {
            const int status = state == State::Active ? 0 : state == State::Dialing ? 2 : 3;
            Send("+CLCC: 1,0," + std::to_string(status) + ",0,0,\"" + number + "\",129");
        }
    } else if (command.starts_with("ATD")) {
        if (refuseDial || state != State::None) {
            Send("ERROR");
            return;
        }
        number = command.substr(3, command.find(';') - 3);
        state = State::Dialing;
        Send("OK");
        Send("+CIEV: " + std::to_string(kCallSetup) + ",2");
        return;
    } else if (command == "AT+CHUP" || command == "ATH" || command.starts_with("AT+CHLD=1")) {
        const bool wasActive = state == State::Active;
        const bool wasSetup = state == State::Dialing || state == State::Alerting;
        state = State::None;
        Send("OK");
        if (wasActive)
            Send("+CIEV: " + std::to_string(kCall) + ",0");
        if (wasSetup)
            Send("+CIEV: " + std::to_string(kCallSetup) + ",0");
        return;
    }
    Send("OK");
}

void HandsFreeGateway::Ring() {
    state = State::Alerting;
    Send("+CIEV: " + std::to_string(kCallSetup) + ",3");
}

void HandsFreeGateway::Answer() {
    state = State::Active;
    Send("+CIEV: " + std::to_string(kCall) + ",1");
    Send("+CIEV: " + std::to_string(kCallSetup) + ",0");
}

void HandsFreeGateway::Busy() {
    state = State::None;
    Send("+CIEV: " + std::to_string(kCallSetup) + ",0");
}

void HandsFreeGateway::HangUp() {
    state = State::None;
    Send("+CIEV: " + std::to_string(kCall) + ",0");
}

void HandsFreeGateway::Disconnect() {
    if (peer != nullptr) {
        peer->abort(); // at once, as a radio link ends
        peer->deleteLater();
        peer = nullptr;
    }
}
