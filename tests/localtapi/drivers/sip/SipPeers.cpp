#include "tests/localtapi/drivers/sip/SipPeers.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/Wait.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <cmath>
#include <cstdio>
#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>
#include <cstdint>

namespace siptest {

namespace {

constexpr int kStartMs = 10000;
using testproc::DiesWithTheTest;
using testproc::kStopMs;
using testproc::Stop;

void Write(const QString& path, const std::string& text) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text.data(), static_cast<qint64>(text.size()));
}

// kamailio forks workers: it runs as a process group of its own (its ID is kamailio's
// PID), and the whole group is stopped.
void OwnGroupDiesWithTheTest(QProcess& process) {
    process.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
}

void StopGroup(QProcess& process) {
    const pid_t group = static_cast<pid_t>(process.processId());
    if (group <= 0)
        return;
    ::kill(-group, SIGTERM);
    if (!process.waitForFinished(kStopMs))
        ::kill(-group, SIGKILL);
    process.waitForFinished(kStopMs);
    ::kill(-group, SIGKILL); // workers that outlived their main process
}

// A minute of 440 Hz, 8 kHz mono 16 bit: the phones' audio source must be such a file, and
// baresip hangs up when it ends.
void WriteWav(const QString& path) {
    const int samples = 8000 * 60;
    std::string data;
    for (int i = 0; i < samples; ++i) {
        const auto v = static_cast<std::int16_t>(3000 * std::sin(i * 440.0 * 2 * M_PI / 8000));
        data += static_cast<char>(v & 0xFF);
        data += static_cast<char>((v >> 8) & 0xFF);
    }
    auto le32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    };
    auto le16 = [](std::uint16_t v) { return std::string{static_cast<char>(v), static_cast<char>(v >> 8)}; };
    const std::string wav = "RIFF" + le32(36 + data.size()) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
                            le32(8000) + le32(16000) + le16(2) + le16(16) + "data" + le32(data.size()) + data;
    Write(path, wav);
}

// A registrar and proxy in some thirty lines: calls from "orvodial" must authenticate.
constexpr const char* kKamailioConfig = R"(#!KAMAILIO
debug=2
log_stderror=yes
fork=yes
children=1
listen=udp:10.77.0.1:PORT
listen=tcp:10.77.0.1:PORT
TLS_LISTEN
loadpath "/usr/lib/x86_64-linux-gnu/kamailio/modules/"
loadmodule "tm.so"
loadmodule "sl.so"
loadmodule "rr.so"
loadmodule "pv.so"
loadmodule "maxfwd.so"
loadmodule "usrloc.so"
loadmodule "registrar.so"
loadmodule "textops.so"
loadmodule "siputils.so"
loadmodule "auth.so"
loadmodule "kex.so"
loadmodule "corex.so"
loadmodule "cfgutils.so"
TLS_MODULE
modparam("usrloc", "db_mode", 0)
request_route {
    # Requests to a TLS client go back over the connection it opened.
    if (proto == TLS) { force_tcp_alias(); }
    if (!mf_process_maxfwd_header("10")) { sl_send_reply("483", "Too Many Hops"); exit; }
    if (has_totag()) {
        REFER_ANSWER
        if (loose_route()) { t_relay(); exit; }
        if (is_method("ACK")) { if (t_check_trans()) { t_relay(); } exit; }
        t_relay(); exit;
    }
    if (is_method("CANCEL")) { if (t_check_trans()) { t_relay(); } exit; }
    if (is_method("REGISTER")) { save("location"); exit; }
    if ($fU == "orvodial") {
        if (!pv_proxy_authenticate("$fd", "secret", "0")) { proxy_challenge("$fd", "0"); exit; }
        consume_credentials();
    }
    record_route();
    if (!lookup("location")) { sl_send_reply("404", "Not Found"); exit; }
    t_relay();
}
)";

} // namespace

Baresip::Baresip(const QString& d, PhoneSpec s, const QString& wav, int proxyPort)
    : spec(std::move(s)), dir(d) {
    QDir().mkpath(dir);
    const std::string host = kHost;
    Write(dir + "/config", "sip_listen " + host + ":" + std::to_string(spec.sipPort) +
                               "\naudio_source aufile," + wav.toStdString() +
                               "\naudio_player aufile,/dev/null\naudio_alert aufile,/dev/null\n"
                               "module_path /usr/lib/baresip/modules\nmodule account.so\nmodule g711.so\n"
                               "module aufile.so\nmodule menu.so\nmodule ctrl_tcp.so\nctrl_tcp_listen " +
                               host + ":" + std::to_string(spec.ctrlPort) + "\n");
    Write(dir + "/accounts", "<sip:" + spec.user + "@" + host + ":" + std::to_string(proxyPort) +
                                 ">;regint=60;answermode=" + (spec.autoAnswer ? "auto" : "manual") + "\n");
}

Baresip::~Baresip() {
    Stop(process);
}

bool Baresip::Start(std::string& why) {
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(dir + "/baresip.log");
    DiesWithTheTest(process);
    process.start(QStringLiteral("baresip"), {QStringLiteral("-f"), dir});
    if (!process.waitForStarted(kStartMs)) {
        why = "baresip did not start (Debian package baresip-core)";
        return false;
    }
    const bool registered =
        WaitUntil([&] { return Command("reginfo").find("OK") != std::string::npos; }, kStartMs);
    if (!registered)
        why = "baresip " + spec.user + " did not register with kamailio";
    return registered;
}

std::string Baresip::Command(const std::string& command, const std::string& params) {
    QTcpSocket socket;
    // A phone just started is not listening yet: the refusal ends this try at once (the
    // caller tries again), rather than after the whole wait.
    bool refused = false;
    QObject::connect(&socket, &QAbstractSocket::errorOccurred, [&refused] { refused = true; });
    socket.connectToHost(QString::fromLatin1(kHost), static_cast<quint16>(spec.ctrlPort));
    if (!WaitUntil([&] { return refused || socket.state() == QAbstractSocket::ConnectedState; }, 2000) ||
        refused)
        return {};
    QJsonObject request{{"command", QString::fromStdString(command)},
                        {"params", QString::fromStdString(params)},
                        {"token", "t"}};
    const QByteArray json = QJsonDocument(request).toJson(QJsonDocument::Compact);
    socket.write(QByteArray::number(json.size()) + ':' + json + ',');
    // Netstrings; events come between, the answer has "response": true.
    QByteArray buffer;
    std::string answer;
    WaitUntil(
        [&] {
            buffer += socket.readAll();
            for (;;) {
                const int colon = buffer.indexOf(':');
                if (colon < 0)
                    return false;
                const int length = buffer.left(colon).toInt();
                if (buffer.size() < colon + 1 + length + 1)
                    return false;
                const QJsonObject message = QJsonDocument::fromJson(buffer.mid(colon + 1, length)).object();
                buffer.remove(0, colon + 1 + length + 1);
                if (message.value("response").toBool()) {
                    answer = message.value("data").toString().toStdString();
                    return true;
                }
            }
        },
        3000);
    return answer;
}

SipPeers::SipPeers(PeerOptions o) : options(o) {
    // ORVODIAL_KEEP_SIP_LOGS=1: the peers' folder (configurations, logs) stays, and is named.
    if (qEnvironmentVariable("ORVODIAL_KEEP_SIP_LOGS") == "1") {
        dir.setAutoRemove(false);
        std::fprintf(stderr, "SIP peers in %s\n", qPrintable(dir.path()));
    }
    static int serial = 0;
    const int base = 6000 + 100 * (serial++ % 40);
    proxyPort = base;
    const QString wav = dir.filePath(QStringLiteral("tone.wav"));
    WriteWav(wav);
    phone = std::make_unique<Baresip>(
        dir.filePath("phone"), PhoneSpec{"201", base + 20, base + 60, options.phoneAnswers}, wav, proxyPort);
    callee = std::make_unique<Baresip>(dir.filePath("callee"),
                                       PhoneSpec{"5551212", base + 40, base + 80, options.calleeAnswers}, wav,
                                       proxyPort);
}

SipPeers::~SipPeers() {
    phone.reset();
    callee.reset();
    StopGroup(kamailio);
}

bool SipPeers::Start(std::string& why) {
    std::string config = kKamailioConfig;
    for (std::size_t at; (at = config.find("PORT")) != std::string::npos;)
        config.replace(at, 4, std::to_string(proxyPort));
    std::string refer;
    if (options.referDelayMs > 0)
        refer =
            "if (is_method(\"REFER\")) { usleep(\"" + std::to_string(options.referDelayMs * 1000) + "\"); }";
    else if (options.referAnswer > 0)
        refer = "if (is_method(\"REFER\")) { sl_send_reply(\"" + std::to_string(options.referAnswer) +
                "\", \"Refused\"); exit; }";
    config.replace(config.find("REFER_ANSWER"), 12, refer);
    std::string tlsListen, tlsModule;
    if (options.tls) {
        if (!MakeCertificates(why))
            return false;
        const std::string port = std::to_string(TlsPort());
        tlsListen = "enable_tls=yes\nlisten=tls:10.77.0.1:" + port + "\nlisten=tls:127.0.0.1:" + port;
        tlsModule = "loadmodule \"tls.so\"\nmodparam(\"tls\", \"certificate\", \"" +
                    dir.filePath("server.pem").toStdString() + "\")\nmodparam(\"tls\", \"private_key\", \"" +
                    dir.filePath("server.key").toStdString() +
                    "\")\nmodparam(\"tls\", \"tls_method\", \"TLSv1.2+\")";
    }
    config.replace(config.find("TLS_LISTEN"), 10, tlsListen);
    config.replace(config.find("TLS_MODULE"), 10, tlsModule);
    Write(dir.filePath("kamailio.cfg"), config);
    QDir().mkpath(dir.filePath("run"));
    kamailio.setProcessChannelMode(QProcess::MergedChannels);
    kamailio.setStandardOutputFile(dir.filePath("kamailio.log"));
    // -DD: no daemon (its PID is ours to stop), -E: log to stderr, -Y: runtime files here.
    OwnGroupDiesWithTheTest(kamailio);
    kamailio.start(QStringLiteral("kamailio"),
                   {"-f", dir.filePath("kamailio.cfg"), "-DD", "-E", "-Y", dir.filePath("run")});
    if (!kamailio.waitForStarted(kStartMs)) {
        why = "kamailio did not start (Debian package kamailio)";
        return false;
    }
    return phone->Start(why) && callee->Start(why);
}

// A test CA and the server's certificate it signs (for kHost), and a second, unrelated CA;
// each CA in a folder of its own under OpenSSL's hashed names.
bool SipPeers::MakeCertificates(std::string& why) {
    auto openssl = [&](const QStringList& args) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral("openssl"), args);
        if (p.waitForFinished(kStartMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return true;
        why = "openssl " + args.join(' ').toStdString() + ": " + p.readAll().toStdString();
        return false;
    };
    const QStringList key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    Write(dir.filePath("server.ext"), "subjectAltName=IP:" + std::string(kHost) + "\n");
    QDir().mkpath(TrustingDir());
    QDir().mkpath(OtherCaDir());
    return openssl(QStringList{"req", "-x509"} + key +
                   QStringList{"-keyout", "ca.key", "-out", "trusting/ca.pem", "-days", "2", "-subj",
                               "/CN=Test CA"}) &&
           openssl(QStringList{"req", "-x509"} + key +
                   QStringList{"-keyout", "other.key", "-out", "other-ca/ca.pem", "-days", "2", "-subj",
                               "/CN=Other CA"}) &&
           openssl(QStringList{"req"} + key +
                   QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj",
                               QStringLiteral("/CN=") + QString::fromLatin1(kHost)}) &&
           openssl({"x509", "-req", "-in", "server.csr", "-CA", "trusting/ca.pem", "-CAkey", "ca.key",
                    "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "server.ext"}) &&
           openssl({"rehash", "trusting"}) && openssl({"rehash", "other-ca"});
}

} // namespace siptest
