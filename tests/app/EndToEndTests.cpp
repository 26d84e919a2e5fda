// The dialer from end to end in one process: the real DialForm on the real local
// telephony service with a simulated line (all delays 0), driven by keys and checked
// against the service's trace. Start-up without a line device: orvodial_x11_test.sh.
#include "DialForm.h"
#include "LineDialogs.h"
#include "ModalHelper.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr const char* kSimulatedLine = "[line0]\ndriver=simulated\nname=Simulated line\n"
                                       "reply_ms=0\ndialtone_ms=0\ndigit_ms=0\nproceeding_ms=0\n"
                                       "answer_ms=0\ndrop_ms=0\n";

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The trace lines of the operations the dial command and the end of the run cause.
QStringList Operations(const QString& tracePath) {
    QStringList out;
    for (const QByteArray& line : Read(tracePath).split('\n'))
        for (const char* op : {"lineOpen ", "lineMakeCallA ", "lineDrop ", "lineClose ", "lineShutdown "})
            if (line.startsWith(op))
                out << QString::fromUtf8(line);
    return out;
}

QString Field(const QString& line, int i) {
    return line.split(QLatin1Char(' ')).value(i);
}

} // namespace

class EndToEndTests : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString tracePath;
    std::shared_ptr<localtapi::LocalTapi> service;
    std::unique_ptr<DialForm> form;

    void start() {
        tracePath = dir.filePath(QStringLiteral("trace-%1.txt").arg(QTest::currentTestFunction()));
        localtapi::LocalTapi::Options options;
        options.configuration = localtapi::ParseConfiguration(kSimulatedLine, "telephony.ini");
        options.trace = localtapi::Trace::Open(tracePath.toStdString());
        service = localtapi::NewLocalTapi(std::move(options));
        auto tapi = service;
        form = std::make_unique<DialForm>([tapi] { return CvbTAPILine::New(tapi); });
        form->Load();
        form->show();
        form->Text1->setFocus();
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
        return [this, n] { return Read(tracePath).count("(CONNECTED)") >= n; };
    }

  private slots:
    void cleanup() {
        form.reset();
        service.reset();
    }

    // Two calls typed with Enter, answered No and then Yes once connected; then closing the
    // dial window with the timing window hidden ends the run and releases the line.
    void twoDialsThenClose() {
        start();
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
            opsWhileTiming = Operations(tracePath);
            QTest::keyClick(t->Command1, Qt::Key_Return);
            return true;
        });
        QVERIFY(typeAndEnter(QStringLiteral("555-1212")));
        QVERIFY(typeAndEnter(QStringLiteral("555 0100")));
        QVERIFY(modal.done());
        QCOMPARE(modal.texts, QStringList({"Time call?", "Time call?"}));
        QCOMPARE(shown, QStringLiteral("555 0100"));
        QVERIFY(opsWhileTiming.last().startsWith("lineClose ")); // the line is closed while timing

        const QStringList ops = Operations(tracePath);
        QStringList names;
        for (const QString& op : ops)
            names << Field(op, 0);
        const QStringList call = {"lineOpen", "lineMakeCallA", "lineDrop", "lineClose"};
        QCOMPARE(names, call + call);
        QCOMPARE(Field(ops[0], 7), QStringLiteral("1")); // privileges
        QCOMPARE(Field(ops[0], 8), QStringLiteral("4")); // media modes
        QVERIFY(ops[0].endsWith("-> 0"));
        QVERIFY2(ops[1].contains("\"555-1212\""), qPrintable(ops[1]));
        QVERIFY(ops[3].endsWith("-> 0"));
        QVERIFY2(ops[5].contains("\"555 0100\""), qPrintable(ops[5]));
        QCOMPARE(form->Text1->currentText(), QString());
        QCOMPARE(form->Text1->count(), 2);
        QCOMPARE(form->Text1->itemText(0), QStringLiteral("555 0100"));
        QCOMPARE(form->Text1->itemText(1), QStringLiteral("555-1212"));

        QPointer<TForm> hidden = form->timingWindow();
        QVERIFY(hidden && hidden->isHidden());
        form->close();
        QVERIFY(!hidden);
        for (QWidget* w : QApplication::topLevelWidgets()) // so the event loop ends
            QVERIFY(!w->isVisible());
        form.reset();
        QVERIFY(Operations(tracePath).last().startsWith("lineShutdown "));
        QCOMPARE(service->census().apps, 0u);
    }

    void tapiFailureWhenTheLineIsTaken() {
        start();
        auto other = CvbTAPILine::New(service); // another application holds the line
        QVERIFY(other->Create());
        QVERIFY(other->OpenLine());
        ModalHelper modal;
        modal.answer(QMessageBox::Ok);
        QVERIFY(typeAndEnter(QStringLiteral("555-1212")));
        QVERIFY(modal.done());
        QCOMPARE(modal.texts, QStringList({"TAPI failure"}));
        QCOMPARE(modal.titles, QStringList({"OrvoDial"}));
        QCOMPARE(form->Text1->currentText(), QStringLiteral("555-1212"));
        const QStringList ops = Operations(tracePath);
        QVERIFY2(ops.last().startsWith("lineOpen ") && ops.last().contains("LINEERR_ALLOCATED"),
                 qPrintable(ops.last()));
    }
};

QTEST_MAIN(EndToEndTests)
#include "EndToEndTests.moc"
