// The dialer from end to end in one process: the real DialForm on the real local
// telephony service with a simulated line (all delays 0), driven by keys and checked
// against the service's trace. Start-up without a line device: orvodial_x11_test.sh.
#include "ui/qt/DialForm.h"
#include "localtapi/qt/LineDialogs.h"
#include "localtapi/qt/SystemTapi.h"
#include "telephony/trace/TracingTapi.h"
#include "tests/support/ModalHelper.h"

#include <QFile>
#include <cstdio>
#include <sstream>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using ui::qt::DialForm;
using ui::qt::TForm;

namespace {

constexpr const char* kSimulatedLine = "[line0]\ndriver=simulated\nname=Simulated line\n"
                                       "reply_ms=0\ndialtone_ms=0\ndigit_ms=0\nproceeding_ms=0\n"
                                       "answer_ms=0\ndrop_ms=0\n";

// The trace lines of the operations the dial command and the end of the run cause.
constexpr const char* kOperations = "^line(Open|MakeCallA|Drop|Close|Shutdown) ";

} // namespace

class EndToEndTests : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString tracePath;
    std::shared_ptr<localtapi::LocalTapi> service;
    std::shared_ptr<mTAPIDecs::TapiApi> traced; // the service under the trace
    std::unique_ptr<DialForm> form;

    // The lines of the trace that match the pattern.
    QStringList trace(const char* pattern) const {
        QFile file(tracePath);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n').filter(QRegularExpression(pattern));
    }

    // Types into the focused control of the dial window, activated again as a window
    // manager would after a modal window (the offscreen platform does not).
    bool typeAndEnter(const QString& keys) {
        QApplication::setActiveWindow(form.get());
        if (!QTest::qWaitForWindowActive(form.get()) || !QApplication::focusWidget())
            return false;
        QTest::keyClicks(QApplication::focusWidget(), keys);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        return true;
    }

    // True once the trace shows n calls connected.
    std::function<bool()> connected(int n) {
        return [this, n] { return trace("\\(CONNECTED\\)").size() >= n; };
    }

  private slots:
    // Two calls typed with Enter, answered No and then Yes once connected; a third while another
    // application has a call on the line; then closing the dial window with the timing window hidden
    // ends the run and releases the line.
    void threeDialsThenClose() {
        tracePath = dir.filePath(QStringLiteral("trace.txt"));
        localtapi::LocalTapi::Options options;
        options.configuration = localtapi::ParseConfiguration(kSimulatedLine, "telephony.ini");
        service = localtapi::qt::NewLocalTapi(std::move(options));
        traced = std::make_shared<telephony::trace::TracingTapi>(
            service, telephony::trace::TraceFile::Open(tracePath.toStdString()));
        form = std::make_unique<DialForm>([tapi = traced] { return CvbTAPILine::New(tapi); });
        form->Load();
        form->show();
        form->Text1->setFocus();
        ModalHelper modal;
        QString shown;
        QStringList opsWhileTiming;
        modal.answer(QMessageBox::No, connected(1));
        modal.answer(QMessageBox::Yes, connected(2));
        modal.then([&](QWidget* w) {
            auto* t = qobject_cast<TForm*>(w);
            if (!t)
                return false;
            shown = t->Num->text();
            opsWhileTiming = trace(kOperations);
            QTest::keyClick(t->Command1, Qt::Key_Return);
            return true;
        });
        QVERIFY(typeAndEnter(QStringLiteral("555-1212")));
        QVERIFY(typeAndEnter(QStringLiteral("555 0100")));
        QVERIFY(modal.done());
        QCOMPARE(modal.boxes, QStringList({"OrvoDial: Time call? [Yes]", "OrvoDial: Time call? [Yes]"}));
        QCOMPARE(shown, QStringLiteral("555 0100"));
        QVERIFY(opsWhileTiming.last().startsWith("lineClose ")); // the line is closed while timing

        // lineOpen with privileges 1 and media modes 4, the number verbatim, drop and close.
        QStringList expected;
        for (const char* number : {"555-1212", "555 0100"})
            expected << "^lineOpen (\\S+ ){6}1 4 .*-> 0$"
                     << QStringLiteral("^lineMakeCallA .*\"%1\"").arg(number) << "^lineDrop "
                     << "^lineClose .*-> 0$";
        const QStringList ops = trace(kOperations);
        QCOMPARE(ops.size(), expected.size());
        for (int i = 0; i < ops.size(); ++i)
            QVERIFY2(QRegularExpression(expected[i]).match(ops[i]).hasMatch(), qPrintable(ops[i]));
        QCOMPARE(form->Text1->count(), 2);
        QCOMPARE(form->Text1->itemText(0), QStringLiteral("555 0100"));
        QCOMPARE(form->Text1->itemText(1), QStringLiteral("555-1212"));

        // Another application has a call on the line: the line opens (it is shared), the
        // call is refused (one call at a time), the line closes again.
        auto other = CvbTAPILine::New(service);
        QVERIFY(other->Create() && other->OpenLine() && other->MakeCallAsynch("555-0000"));
        QVERIFY(QTest::qWaitFor([&] { return other->state().hCall != 0; }, 3000));
        modal.answer(QMessageBox::Ok);
        QVERIFY(typeAndEnter(QStringLiteral("555-1212")));
        QVERIFY(modal.done());
        QCOMPARE(modal.boxes.last(), QStringLiteral("OrvoDial: TAPI failure | Call UnAvail [OK]"));
        QCOMPARE(form->Text1->currentText(), QStringLiteral("555-1212"));
        const QStringList last = trace(kOperations).mid(trace(kOperations).size() - 3);
        QVERIFY2(last.size() == 3 && last[0].startsWith("lineOpen ") && last[0].endsWith("-> 0") &&
                     last[1].startsWith("lineMakeCallA ") && last[1].contains("LINEERR_CALLUNAVAIL") &&
                     last[2].startsWith("lineClose "),
                 qPrintable(last.join('\n')));
        other.reset();
        QCOMPARE(service->census().apps, 1u);

        QPointer<TForm> hidden = form->timingWindow();
        QVERIFY(hidden && hidden->isHidden());
        form->close();
        QVERIFY(!hidden);
        for (QWidget* w : QApplication::topLevelWidgets()) // so the event loop ends
            QVERIFY(!w->isVisible());
        form.reset();
        QVERIFY(trace(kOperations).last().startsWith("lineShutdown "));
        QCOMPARE(service->census().apps, 0u);
    }

    // A line that cannot be opened, and a call that failed before "Time call?" was
    // answered: "TAPI failure", with the reason the service knows beneath it; no timing
    // window, and the number stays for another try.
    void failuresSayWhy_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("modem port missing")
            << "[line0]\ndriver=modem\nport=/dev/orvodial-no-such-port\n"
            << QStringList{"OrvoDial: TAPI failure | no such port /dev/orvodial-no-such-port "
                           "(is the modem plugged in?) [OK]"};
        QTest::newRow("no system bus for oFono")
            << "[line0]\ndriver=ofono\n"
            << QStringList{"OrvoDial: TAPI failure | no system bus to reach oFono on: "};
        QTest::newRow("the number busy, answered Yes")
            << QString(kSimulatedLine) + "busy=5551212\nbusy_ms=0\n"
            << QStringList{"OrvoDial: Time call? [Yes]", "OrvoDial: TAPI failure | the number is busy [OK]"};
    }
    void failuresSayWhy() {
        QFETCH(QString, line);
        QFETCH(QStringList, boxes);
        // No system bus: the oFono line's open fails for want of one.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus").toUtf8());
        localtapi::LocalTapi::Options options;
        options.configuration = localtapi::ParseConfiguration(line.toStdString(), "telephony.ini");
        std::ostringstream errors;
        options.errors = &errors;
        service = localtapi::qt::NewLocalTapi(std::move(options));
        form = std::make_unique<DialForm>([tapi = service] { return CvbTAPILine::New(tapi); });
        form->Load();
        form->show();
        form->Text1->setFocus();
        ModalHelper modal;
        if (boxes.size() == 2) // "Time call?", answered once the call has failed
            modal.answer(QMessageBox::Yes, [this] { return service->census().calls == 0; });
        modal.answer(QMessageBox::Ok);
        QVERIFY(typeAndEnter(QStringLiteral("555-1212")));
        QVERIFY(modal.done());
        QCOMPARE(modal.boxes.size(), boxes.size());
        for (int i = 0; i < boxes.size(); ++i)
            QVERIFY2(modal.boxes[i].startsWith(boxes[i]), qPrintable(modal.boxes[i]));
        QVERIFY(!form->timingWindow());
        QCOMPARE(form->Text1->currentText(), QStringLiteral("555-1212"));
        form.reset();
        service.reset();
    }

    // The program's own service follows its configuration file: an edit saved in place or
    // by a rename is read again, and applies at the line's next open, so a line another
    // application holds open keeps its settings until then.
    void followsItsConfigurationFile() {
        const QString path = dir.filePath(QStringLiteral("watched.ini"));
        const QByteArray plain = kSimulatedLine;
        const QByteArray refusing = plain + "refuse=0x80000005\nrefuse_at=call\n";
        auto writeInPlace = [&](const QByteArray& text) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
        };
        auto writeByRename = [&](const QByteArray& text) {
            QFile f(path + ".new");
            return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.flush() &&
                   std::rename(qPrintable(path + ".new"), qPrintable(path)) == 0;
        };
        QVERIFY(writeInPlace(plain));
        qputenv("ORVODIAL_TELEPHONY_CONFIG", path.toUtf8());
        const std::shared_ptr<localtapi::LocalTapi> system = localtapi::qt::SystemService();
        QStringList notes;
        system->SetNotes([&](const std::string& text) {
            if (text.find("new settings in the file") != std::string::npos)
                notes << QString::fromStdString(text);
        });
        form = std::make_unique<DialForm>([system] { return CvbTAPILine::New(system); });
        form->Load();
        form->show();
        form->Text1->setFocus();
        // One dial; the box it ends with.
        auto dial = [&] {
            ModalHelper modal;
            modal.answer(QMessageBox::No); // "Time call?"; a failure's box with OK
            if (!typeAndEnter(QStringLiteral("555-1212")))
                return QStringLiteral("no dial");
            if (modal.boxes.isEmpty())
                return QStringLiteral("no box");
            return modal.boxes.last();
        };
        auto reloaded = [&](int n) { return QTest::qWaitFor([&] { return notes.size() == n; }, 5000); };
        const QString asked = QStringLiteral("OrvoDial: Time call? [Yes]");
        const QString refused = QStringLiteral("OrvoDial: TAPI failure | Call UnAvail [OK]");

        QCOMPARE(dial(), asked);
        QVERIFY(writeInPlace(refusing));
        QVERIFY(reloaded(1));
        QCOMPARE(dial(), refused);
        QVERIFY(writeByRename(plain));
        QVERIFY(reloaded(2));
        QCOMPARE(dial(), asked);

        auto other = CvbTAPILine::New(system);
        QVERIFY(other->Create() && other->OpenLine());
        QVERIFY(writeInPlace(refusing));
        QVERIFY(reloaded(3));
        QCOMPARE(dial(), asked); // the line stayed open: the old settings hold
        QVERIFY(other->CloseLine());
        QCOMPARE(dial(), refused);
        other.reset();
        form.reset();
        system->SetNotes(nullptr);
    }
};

QTEST_MAIN(EndToEndTests)
#include "EndToEndTests.moc"
