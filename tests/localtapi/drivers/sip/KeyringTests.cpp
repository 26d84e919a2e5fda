// The SIP password in a real keyring: gnome-keyring-daemon on a private session bus
// (keyring_session.sh), read back and cleared with secret-tool, the line dialled through
// kamailio and baresip (SipPeers) with the password the keyring holds. Run by CTest as
// sip_keyring (in the peers' namespace) and sip_keyring_absent (no session bus at all).
#include "localtapi/Configuration.h"
#include "localtapi/qt/LineDialogs.h"
#include "telephony/CvbTAPILine.h"
#include "tests/localtapi/drivers/sip/SipPeers.h"
#include "tests/support/Wait.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace localtapi;

// secret-tool with these arguments: what it printed.
std::string SecretTool(const QStringList& args) {
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), args);
    if (!tool.waitForFinished(10000))
        tool.kill();
    return tool.readAllStandardOutput().toStdString();
}

class SipKeyring : public ::testing::Test {
  protected:
    // The user's configuration file (the owner's alone), an administrator's system-wide one
    // when given, and a service reading them.
    void Start(const std::string& keys, const std::string& systemText = {}) {
        path = dir.filePath(QStringLiteral("telephony.ini"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(systemText.empty() ? "[line0]\ndriver=sip\nname=Desk phone\n" + keys
                                                                : "[line0]\n" + keys));
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const std::string system = dir.filePath(QStringLiteral("system.ini")).toStdString();
        QFile::remove(QString::fromStdString(system));
        if (!systemText.empty()) {
            QFile out(QString::fromStdString(system));
            out.open(QIODevice::WriteOnly);
            out.write(QByteArray::fromStdString(systemText));
        }
        LocalTapi::Options options;
        options.configuration = LoadConfiguration(path.toStdString(), {system});
        options.errors = &errors;
        service = qt::NewLocalTapi(std::move(options));
        line = CvbTAPILine::New(service);
        ASSERT_TRUE(line->Create());
        line->setCurrentLineID(0);
    }
    std::string File() const {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll().toStdString();
    }
    // The line dialog through the line object, filled in by fill, then OK.
    bool Dialog(const std::function<void(qt::LineSettingsDialog&)>& fill) {
        QTimer::singleShot(0, [fill] {
            auto* dialog = dynamic_cast<qt::LineSettingsDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            fill(*dialog);
            dialog->accept();
            if (dialog->isVisible()) // refused: say why, and let go
                ADD_FAILURE() << dialog->problemsLine()->text().toStdString(), dialog->reject();
        });
        return line->ConfigDialog();
    }

    QTemporaryDir dir;
    QString path;
    std::ostringstream errors;
    std::shared_ptr<LocalTapi> service;
    std::shared_ptr<CvbTAPILine> line;
};

// The password typed into the dialog, or an old file's moved there, is in the keyring
// under the line's entry and not in the file; the line then dials with it. A keyring
// without the entry fails the open, saying so.
TEST_F(SipKeyring, ThePasswordGoesIntoTheKeyringAndTheLineDialsWithIt) {
    if (qEnvironmentVariable("ORVODIAL_SIP_NETNS") != "1" || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        GTEST_SKIP() << "needs the peers' namespace and a keyring (ctest's sip_keyring)";
    siptest::SipPeers peers;
    std::string why;
    ASSERT_TRUE(peers.Start(why)) << why;
    const std::string phone = "phone=" + peers.PhoneUri() + "\nautoanswer=yes\n";
    const QStringList entry = {"server", QString::fromStdString("OrvoDial line0: orvodial@" + peers.PhoneUri().substr(8)),
                               "user", "orvodial"};
    const struct {
        const char* name;
        std::string file;
        std::string system; // an administrator's file with the PBX part
        std::function<void(qt::LineSettingsDialog&)> fill; // none: no dialog
        bool dials;
        const char* reason; // when it does not
    } rows[] = {
        {"typed into the dialog", phone, "",
         [](qt::LineSettingsDialog& d) {
             EXPECT_TRUE(static_cast<QCheckBox*>(d.field("keyring"))->isChecked()) << "a new line's goes there";
             d.keyEdit("password")->setText("secret");
         },
         true, nullptr},
        {"moved from an old file", phone + "password=secret\n", "",
         [](qt::LineSettingsDialog& d) {
             auto* keyring = static_cast<QCheckBox*>(d.field("keyring"));
             EXPECT_FALSE(keyring->isChecked()) << "moved without being asked";
             keyring->setChecked(true);
         },
         true, nullptr},
        {"not in the keyring", phone + "keyring=yes\n", "", nullptr, false,
         "the desktop's keyring holds no password for \"OrvoDial line0: orvodial@"},
        {"the office's line: the PBX part for everyone, the phone the user's",
         "phone=" + peers.PhoneUri() + "\n", "[line0]\ndriver=sip\nname=Office phone\nautoanswer=yes\n",
         [](qt::LineSettingsDialog& d) {
             EXPECT_EQ(d.nameEdit()->text(), "Office phone");
             EXPECT_TRUE(static_cast<QCheckBox*>(d.field("autoanswer"))->text().endsWith("(for everyone)"));
             d.keyEdit("password")->setText("secret");
         },
         true, nullptr},
    };
    const std::string dialled = "5551212";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // The phone kept the last row's call: the user hangs it up.
        for (int i = 0; i < 3 && peers.Phone().Command("listcalls").find(dialled) != std::string::npos; ++i) {
            peers.Phone().Command("hangup");
            WaitUntil([&] { return peers.Phone().Command("listcalls").find(dialled) == std::string::npos; }, 3000);
        }
        SecretTool(QStringList{"clear"} + entry);
        Start(row.file, row.system);
        if (row.fill) {
            ASSERT_TRUE(Dialog(row.fill));
            EXPECT_EQ(SecretTool(QStringList{"lookup"} + entry), "secret");
            EXPECT_EQ(File().find("password"), std::string::npos) << File();
            EXPECT_NE(File().find("keyring=yes"), std::string::npos) << File();
            if (!row.system.empty()) {
                EXPECT_EQ(File().find("autoanswer"), std::string::npos) << "the system's copied: " << File();
            }
        }
        ASSERT_EQ(line->OpenLine(), row.dials) << line->FailureReason();
        if (!row.dials) {
            EXPECT_NE(line->FailureReason().find(row.reason), std::string::npos) << line->FailureReason();
            continue;
        }
        ASSERT_TRUE(line->MakeCallAsynch(dialled));
        EXPECT_TRUE(WaitUntil([&] { return peers.Phone().Command("listcalls").find(dialled) != std::string::npos; },
                              15000))
            << "the phone did not call: " << service->FailureReason(0);
        line->DropCallAsynch();
        line->CloseLine();
        EXPECT_TRUE(service->WaitForDevices(std::chrono::seconds(10)));
        EXPECT_EQ(errors.str().find("secret"), std::string::npos) << errors.str();
    }
}

// No keyring to be reached (no session bus): the open fails and says what to do.
TEST_F(SipKeyring, NoKeyringFailsTheOpenSayingHowToMendIt) {
    if (!qEnvironmentVariableIsSet("ORVODIAL_NO_KEYRING"))
        GTEST_SKIP() << "needs a process without a keyring (ctest's sip_keyring_absent)";
    Start("phone=sip:201@10.77.0.1\nkeyring=yes\n");
    EXPECT_FALSE(line->OpenLine());
    const std::string reason = line->FailureReason();
    EXPECT_NE(reason.find("the desktop's keyring cannot be reached ("), std::string::npos) << reason;
    EXPECT_NE(reason.find("password="), std::string::npos) << "no way out named: " << reason;
}

} // namespace
