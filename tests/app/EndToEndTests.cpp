// The dialer from end to end in one process: the real DialForm on the real local
// telephony service with a simulated line (all delays 0), driven by keys, checked against
// the service's trace. The start-up without a line device runs the real binary instead
// (orvodial_x11_test.sh).
#include "DialForm.h"
#include "LineDialogs.h"
#include "ModalHelper.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr const char* kSimulatedLine = "[line0]\n"
                                       "driver=simulated\n"
                                       "name=Simulated line\n"
                                       "reply_ms=0\ndialtone_ms=0\ndigit_ms=0\nproceeding_ms=0\n"
                                       "answer_ms=0\ndrop_ms=0\n";

// Trace lines that start with one of the operations the dial command causes.
QStringList Operations(const QString& tracePath) {
    QFile file(tracePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    for (const QByteArray& line : file.readAll().split('\n'))
        for (const char* op : {"lineOpen ", "lineMakeCallA ", "lineDrop ", "lineClose ", "lineShutdown "})
            if (line.startsWith(op))
                out << QString::fromUtf8(line);
    return out;
}

// True once the trace shows the call connected.
bool Connected(const QString& tracePath) {
    QFile file(tracePath);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("(CONNECTED)");
}

// Field i (0-based, blank-separated) of a trace line.
QString Field(const QString& line, int i) {
    return line.split(QLatin1Char(' ')).value(i);
}

} // namespace

class EndToEndTests : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir;
    QString tracePath;
    std::shared_ptr<localtapi::LocalTapi> service;
    std::unique_ptr<DialForm> form;

    void start(const char* config) {
        const QString configPath = dir.filePath(QStringLiteral("telephony.ini"));
        QFile file(configPath);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(config);
        file.close();
        tracePath = dir.filePath(QStringLiteral("trace-%1.txt").arg(QTest::currentTestFunction()));
        localtapi::LocalTapi::Options options;
        options.configuration = localtapi::LoadConfiguration(configPath.toStdString());
        options.trace = localtapi::Trace::Open(tracePath.toStdString());
        service = localtapi::NewLocalTapi(std::move(options));
        auto tapi = service;
        form = std::make_unique<DialForm>([tapi] { return CvbTAPILine::New(tapi); });
        form->Load();
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void type(const QString& keys) {
        QTest::keyClicks(QApplication::focusWidget() ? QApplication::focusWidget() : form.get(), keys);
    }

    void pressEnter() { QTest::keyClick(form->Text1, Qt::Key_Return); }

    // Presses Done on the next timing window.
    static void pressDone(ModalHelper& modal) {
        modal.then([](QWidget* w) {
            auto* t = qobject_cast<TForm*>(w);
            if (!t)
                return false;
            QTest::keyClick(t->Command1, Qt::Key_Return);
            return true;
        });
    }

  private slots:
    void cleanup() {
        form.reset();
        service.reset();
    }

    void dialAnswerNo() {
        start(kSimulatedLine);
        ModalHelper modal;
        modal.answer(QMessageBox::No, [this] { return Connected(tracePath); });
        form->Text1->setFocus();
        type(QStringLiteral("555-1212"));
        pressEnter();
        QVERIFY(modal.done());
        QCOMPARE(modal.texts, QStringList({"Time call?"}));

        const QStringList ops = Operations(tracePath);
        QCOMPARE(ops.size(), 4);
        QVERIFY(ops[0].startsWith("lineOpen "));
        QCOMPARE(Field(ops[0], 7), QStringLiteral("1")); // privileges
        QCOMPARE(Field(ops[0], 8), QStringLiteral("4")); // media modes
        QVERIFY(ops[0].endsWith("-> 0"));
        QVERIFY(ops[1].startsWith("lineMakeCallA "));
        QVERIFY2(ops[1].contains("\"555-1212\""), qPrintable(ops[1]));
        QVERIFY(ops[2].startsWith("lineDrop "));
        QVERIFY(ops[3].startsWith("lineClose "));
        QVERIFY(ops[3].endsWith("-> 0"));
        QCOMPARE(form->Text1->currentText(), QString());
        QVERIFY(!form->timingWindow());
    }

    void dialAnswerYesTimesTheCall() {
        start(kSimulatedLine);
        ModalHelper modal;
        QString shownNumber;
        modal.answer(QMessageBox::Yes, [this] { return Connected(tracePath); });
        modal.then([&](QWidget* w) {
            auto* t = qobject_cast<TForm*>(w);
            if (!t)
                return false;
            shownNumber = t->Num->text();
            // The line is already closed while the call is being timed.
            const QStringList ops = Operations(tracePath);
            if (!ops.isEmpty() && ops.last().startsWith("lineClose "))
                t->Command1->click();
            return true;
        });
        form->Text1->setFocus();
        type(QStringLiteral("555-1212"));
        pressEnter();
        QVERIFY(modal.done());
        QCOMPARE(shownNumber, QStringLiteral("555-1212"));
        QVERIFY(form->timingWindow());
        QVERIFY(form->timingWindow()->isHidden());
        QStringList names;
        for (const QString& op : Operations(tracePath))
            names << Field(op, 0);
        QCOMPARE(names, QStringList({"lineOpen", "lineMakeCallA", "lineDrop", "lineClose"}));
    }

    void historyAfterTwoDials() {
        start(kSimulatedLine);
        ModalHelper modal;
        modal.answer(QMessageBox::No);
        modal.answer(QMessageBox::Yes);
        pressDone(modal);
        // Here the answers come at once, before the calls connect: no drop is needed then.
        form->Text1->setFocus();
        type(QStringLiteral("555-1212"));
        pressEnter();
        type(QStringLiteral("555 0100"));
        pressEnter();
        QVERIFY(modal.done());
        QCOMPARE(form->Text1->count(), 2);
        QCOMPARE(form->Text1->itemText(0), QStringLiteral("555 0100"));
        QCOMPARE(form->Text1->itemText(1), QStringLiteral("555-1212"));
        QCOMPARE(Operations(tracePath).filter("lineClose ").size(), 2);
    }

    void tapiFailureWhenTheLineIsTaken() {
        start(kSimulatedLine);
        // Another application holds the line.
        auto other = CvbTAPILine::New(service);
        QVERIFY(other->Create());
        QVERIFY(other->OpenLine());

        ModalHelper modal;
        modal.answer(QMessageBox::Ok);
        form->Text1->setFocus();
        type(QStringLiteral("555-1212"));
        pressEnter();
        QVERIFY(modal.done());
        QCOMPARE(modal.texts, QStringList({"TAPI failure"}));
        QCOMPARE(modal.titles, QStringList({"OrvoDial"}));
        QCOMPARE(form->Text1->currentText(), QStringLiteral("555-1212"));
        QCOMPARE(form->Text1->itemText(0), QStringLiteral("555-1212"));
        QCOMPARE(form->focusWidget(), form->Text1);
        const QStringList ops = Operations(tracePath);
        QVERIFY(ops.last().startsWith("lineOpen "));
        QVERIFY2(ops.last().contains("LINEERR_ALLOCATED"), qPrintable(ops.last()));
    }

    void callRefusedAtOnce() {
        QByteArray config(kSimulatedLine);
        config += "refuse=-2147483573\nrefuse_at=call\n"; // LINEERR_RESOURCEUNAVAIL
        start(config.constData());
        ModalHelper modal;
        modal.answer(QMessageBox::Ok);
        form->Text1->setFocus();
        type(QStringLiteral("555-1212"));
        pressEnter();
        QVERIFY(modal.done());
        QCOMPARE(modal.texts, QStringList({"TAPI failure"}));
        QCOMPARE(form->Text1->currentText(), QStringLiteral("555-1212"));
        QStringList names;
        for (const QString& op : Operations(tracePath))
            names << Field(op, 0);
        QCOMPARE(names, QStringList({"lineOpen", "lineMakeCallA", "lineClose"}));
    }

    void closingTheDialWindowReleasesTheLine() {
        start(kSimulatedLine);
        ModalHelper modal;
        modal.answer(QMessageBox::Yes);
        pressDone(modal);
        form->Text1->setFocus();
        type(QStringLiteral("1"));
        pressEnter();
        QVERIFY(modal.done());
        QPointer<TForm> hidden = form->timingWindow();
        QVERIFY(hidden);
        form->close();
        QVERIFY(!hidden);
        // Nothing visible is left, so the application's event loop ends.
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!w->isVisible());
        form.reset();
        QVERIFY(Operations(tracePath).last().startsWith("lineShutdown "));
        QCOMPARE(service->census().apps, 0u);
    }
};

QTEST_MAIN(EndToEndTests)
#include "EndToEndTests.moc"
