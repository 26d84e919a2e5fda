// The SIP peers of the driver's tests, all real programs nobody here wrote: kamailio as
// registrar and proxy (digest authentication for the driver's user "orvodial", password
// "secret"), and two baresip phones registered with it, the user's phone (201) and the
// callee (5551212), each answering by itself or not, and asked through ctrl_tcp. Run inside
// the network namespace of in_netns.sh (10.77.0.1); started by the test and stopped by PID.
#pragma once

#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace siptest {

constexpr const char* kHost = "10.77.0.1";

struct PhoneSpec {
    std::string user; // 201, 5551212
    int sipPort = 0;  // far apart: neighbouring ports collided in baresip
    int ctrlPort = 0;
    bool autoAnswer = true;
};

class Baresip {
  public:
    Baresip(const QString& dir, PhoneSpec spec, const QString& wav, int proxyPort);
    ~Baresip();
    bool Start(std::string& why);
    // A ctrl_tcp command's answer text ("data"), waited for with the event loop running.
    std::string Command(const std::string& command, const std::string& params = "");
    const PhoneSpec spec;

  private:
    QString dir;
    QProcess process;
};

// How the peers behave in a scenario.
struct PeerOptions {
    bool phoneAnswers = true;  // the user's phone answers by itself
    bool calleeAnswers = true; // and the callee
    int referAnswer = 0;       // not 0: kamailio answers every in-dialog REFER so (405, 603)
    int referDelayMs = 0;      // or passes it on this late
    bool tls = false;          // kamailio takes TLS too (TlsPort), with a certificate for kHost
};

class SipPeers {
  public:
    explicit SipPeers(PeerOptions options = {});
    ~SipPeers();
    bool Start(std::string& why);
    // Each set of peers has ports of its own: a stopped kamailio's children may still hold
    // the last ones for a moment.
    int ProxyPort() const { return proxyPort; }
    std::string PhoneUri() const { return "sip:201@" + std::string(kHost) + ":" + std::to_string(proxyPort); }
    // TLS: on kHost and on 127.0.0.1, both with the certificate for kHost; folders of
    // trusted certificates (as SSL_CERT_DIR takes them) with the CA that signed it, and with
    // another CA only.
    int TlsPort() const { return proxyPort + 5; }
    QString TrustingDir() const { return dir.filePath(QStringLiteral("trusting")); }
    QString OtherCaDir() const { return dir.filePath(QStringLiteral("other-ca")); }
    Baresip& Phone() { return *phone; }
    Baresip& Callee() { return *callee; }

  private:
    bool MakeCertificates(std::string& why);
    PeerOptions options;
    QTemporaryDir dir;
    QProcess kamailio;
    int proxyPort = 0;
    std::unique_ptr<Baresip> phone, callee;
};

} // namespace siptest
