// The Qt dial and timing windows on the offscreen platform, driven by QTest key and mouse
// clicks: geometry, key preview, the keypad, focus, default buttons, the timing window.
#include "ui/qt/DialForm.h"
#include "app/Version.h"
#include "tests/support/FakeTapi.h"
#include "tests/support/ModalHelper.h"
#include "ui/qt/PictureButton.h"
#include "ui/qt/TForm.h"

#include <QFontDatabase>
#include <QLineEdit>
#include <QtTest>

using ui::qt::DialForm;
using ui::qt::PictureButton;
using ui::qt::TForm;

class DialFormWidgetTests : public QObject {
    Q_OBJECT

    std::unique_ptr<DialForm> form;
    ui::LocalDateTime now{2026, 12, 8, 10, 0, 0};

    QLineEdit* edit() { return form->Text1->lineEdit(); }
    QString text() { return form->Text1->currentText(); }
    // Focuses the number box holding `number`, with the caret at `from` or a selection from there.
    void focusNumber(const QString& number, int from, int length = 0) {
        form->Text1->setEditText(number);
        form->Text1->setFocus();
        edit()->setSelection(from, length);
    }

    // Clicks Dial on the number, answers "Time call?" with Yes and hands the timing window to step.
    void timedCall(ModalHelper& modal, const QString& number, std::function<void(TForm*)> step) {
        modal.answer(QMessageBox::Yes);
        modal.then([step](QWidget* w) {
            auto* t = qobject_cast<TForm*>(w);
            if (t)
                step(t);
            return t != nullptr;
        });
        form->Text1->setEditText(number);
        QTest::mouseClick(form->Dial, Qt::LeftButton);
    }

  private slots:
    void init() {
        auto tapi = std::make_shared<testsupport::FakeTapi>();
        tapi->devices.resize(1);
        tapi->makeCallResult = 41;
        form = std::make_unique<DialForm>([tapi] { return CvbTAPILine::New(tapi); }, [this] { return now; });
        form->Load();
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void cleanup() { form.reset(); }

    // Window and control rectangles in pixels, also after the windows are resized; the
    // timing window's fonts, colours and default button.
    void windowsAndControls() {
        TForm timing;
        QCOMPARE(form->size(), QSize(202, 275));
        QCOMPARE(timing.size(), QSize(250, 160));
        QCOMPARE(form->windowTitle(), QStringLiteral("Orvo Dial"));
        QCOMPARE(timing.windowTitle(), QStringLiteral("Call Timing"));
        QVERIFY(!form->windowIcon().isNull() && !timing.windowIcon().isNull());
        form->resize(400, 500);
        timing.resize(400, 500);
        QCoreApplication::processEvents();
        QList<std::pair<QString, QRect>> rows = {{"Text1", {8, 8, 185, 19}},
                                                 {"Num", {40, 8, 177, 17}},
                                                 {"Timebox", {40, 48, 169, 65}},
                                                 {"Command1", {88, 128, 57, 25}}};
        int b = 0;
        for (const char* button : {"Dial", "ClearBtn", "CorBtn", "Help"}) // 48 pixels apart
            rows.append({button, QRect(8 + 48 * b++, 240, 33, 25)});
        // Element i carries tag byIndex[i]; the keys sit row by row in the order of grid.
        const QString byIndex = "213456789*0#", grid = "123456789*0#";
        for (int i = 0; i < 12; ++i) {
            const int cell = int(grid.indexOf(byIndex[i]));
            rows.append(
                {QStringLiteral("TTButton%1").arg(i), {8 + 64 * (cell % 3), 40 + 48 * (cell / 3), 57, 41}});
        }
        for (const auto& [name, pixels] : rows) {
            QWidget* widget = form->findChild<QWidget*>(name);
            if (!widget)
                widget = timing.findChild<QWidget*>(name);
            QVERIFY2(widget && widget->geometry() == pixels, qPrintable(name));
        }
        QVERIFY(timing.Num->font().bold() && timing.Num->font().pointSize() == 12);
        QVERIFY(timing.Num->alignment() & Qt::AlignHCenter);
        QCOMPARE(timing.Timebox->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        // The clock text fits its label; without Digiface, the built-in seven-segment face.
        const QFont clock = timing.Timebox->font();
        QVERIFY(QFontMetrics(clock).horizontalAdvance(QStringLiteral("00:00:00")) <= timing.Timebox->width());
        if (QFontDatabase::hasFamily(QStringLiteral("Digiface")))
            QCOMPARE(clock.pointSize(), 36);
        else
            QVERIFY2(QFontInfo(clock).family().startsWith(QStringLiteral("DSEG7")),
                     qPrintable(QFontInfo(clock).family()));
        QVERIFY(timing.Command1->isDefault());
    }

    // At the screen's scale factor (the suite also runs with QT_SCALE_FACTOR 1.5, 2 and 2.5):
    // key-caps drawn for the device pixels, and no text wider than its control.
    void scaledPicturesAndText() {
        TForm timing;
        timing.show();
        QVERIFY(QTest::qWaitForWindowExposed(&timing));
        const qreal ratio = form->devicePixelRatioF();
        for (PictureButton* key : form->TTButton) {
            const QPixmap& picture = key->picture();
            QCOMPARE(picture.devicePixelRatio(), ratio);
            QCOMPARE(picture.size(), QSize(qRound(71 * ratio), qRound(53 * ratio)));
        }
        for (QPushButton* button : {form->Dial, form->ClearBtn, form->CorBtn, form->Help, timing.Command1}) {
            // Inside the frame; the style's own margins may be eaten into, as on Windows.
            const int room = button->width() - 2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
            QVERIFY2(button->fontMetrics().horizontalAdvance(button->text().remove('&')) <= room,
                     qPrintable(button->objectName()));
        }
        for (QLabel* label : {timing.Num, timing.Timebox}) { // the ink of the digits, drawn from the top
            const QRect ink = label->fontMetrics().tightBoundingRect(label->text());
            const QSize text(ink.width(), label->fontMetrics().ascent() + ink.bottom());
            QVERIFY2(text.width() <= label->width() && text.height() <= label->height(), qPrintable(label->objectName()));
        }
        const QFontMetrics number(form->Text1->lineEdit()->font());
        QVERIFY(number.height() <= form->Text1->lineEdit()->height());
    }

    // After a while without input the caret stops blinking (no wake-ups); the next key
    // makes it blink again at the desktop's rate.
    void caretRestsWhenIdle() {
        const int flash = QApplication::cursorFlashTime();
        QVERIFY(flash > 0);
        form->caretRestTimer()->setInterval(30);
        focusNumber(QStringLiteral("555"), 3);
        QTest::keyClick(edit(), Qt::Key_1);
        QTRY_COMPARE(QApplication::cursorFlashTime(), 0);
        QTest::keyClick(edit(), Qt::Key_2);
        QCOMPARE(QApplication::cursorFlashTime(), flash);
        QCOMPARE(text(), QStringLiteral("55512"));
        QTRY_COMPARE(QApplication::cursorFlashTime(), 0);
        form.reset(); // a dialer that goes gives the blink back
        QCOMPARE(QApplication::cursorFlashTime(), flash);
    }

    void tabOrderAndFirstFocus() {
        QCOMPARE(QApplication::focusWidget(), form->TTButton[1]);
        QStringList order;
        QWidget* w = form->TTButton[1];
        for (int i = 0; i < 17; ++i) {
            order << w->objectName();
            do
                w = w->nextInFocusChain();
            while (w->parentWidget() != form.get() || !(w->focusPolicy() & Qt::TabFocus));
        }
        QCOMPARE(order,
                 QStringList({"TTButton1", "TTButton0", "TTButton2", "TTButton3", "TTButton4", "TTButton5",
                              "TTButton6", "TTButton7", "TTButton8", "TTButton9", "TTButton10", "TTButton11",
                              "Dial", "ClearBtn", "CorBtn", "Help", "Text1"}));
        QCOMPARE(w, form->TTButton[1]); // wraps round
    }

    // Accepted characters go to the end whatever the caret or selection; Backspace takes the last.
    void keyPreview() {
        struct Row {
            const char *name, *before;
            int from, length;
            const char *typed, *after;
        };
        for (const Row& row : {Row{"caret at start", "555", 0, 0, "12", "55512"},
                               Row{"selection stays, digit at the end", "555-1212", 0, 3, "9", "555-12129"},
                               Row{"selection not replaced by a letter", "555", 0, 3, "x", "555"},
                               Row{"backspace, caret at start", "555-1212", 0, 0, "\b", "555-121"},
                               Row{"backspace on a selection", "555-1212", 0, 3, "\b", "555-121"}}) {
            focusNumber(row.before, row.from, row.length);
            QVERIFY2(edit()->cursorPosition() == row.from + row.length, row.name);
            QTest::keyClicks(form->Text1, row.typed);
            QVERIFY2(text() == row.after, row.name);
        }
        // Keys without a character act on the field; a character key on a button goes to the number.
        focusNumber(QStringLiteral("12345"), 5);
        QTest::keyClick(form->Text1, Qt::Key_Home);
        QTest::keyClick(form->Text1, Qt::Key_Delete);
        QCOMPARE(text(), QStringLiteral("2345"));
        form->TTButton[4]->setFocus();
        QTest::keyClick(form->TTButton[4], Qt::Key_7);
        QCOMPARE(text(), QStringLiteral("23457"));
        QCOMPARE(QApplication::focusWidget(), form->Text1);
        form->TTButton[4]->setFocus(); // space is a character: it does not press the key
        QTest::keyClick(form->TTButton[4], Qt::Key_Space);
        QCOMPARE(text(), QStringLiteral("23457 "));
    }

    // Characters typed with Alt, or composed by an input method (dead keys), must not
    // reach the text field behind the preview.
    void altAndComposedCharactersDoNotReachTheField() {
        focusNumber(QStringLiteral("555"), 0);
        QTest::keyClick(form->Text1, Qt::Key_A, Qt::AltModifier);
        QTest::keyClick(form->Text1, Qt::Key_5, Qt::AltModifier);
        QCOMPARE(text(), QStringLiteral("555"));
        const auto commit = [](const QString& s) {
            QInputMethodEvent event;
            event.setCommitString(s);
            QApplication::sendEvent(QApplication::focusWidget(), &event);
        };
        commit(QStringLiteral("\u00e9")); // dead acute, then "e"
        QCOMPARE(text(), QStringLiteral("555"));
        edit()->setCursorPosition(0);
        commit(QStringLiteral("1a")); // accepted characters still go to the end
        QCOMPARE(text(), QStringLiteral("5551"));
        QCOMPARE(QApplication::focusWidget(), form->Text1);
    }

    // The keypad's tags; each click, "<-", "Clr" and Dial focus the box and Dial stays the default
    // button after the focus has left a push button; Help keeps the focus.
    void clicksFocusAndDialStaysTheDefaultButton() {
        QString expected;
        for (int i = 0; i < 12; ++i) {
            QTest::mouseClick(form->TTButton[i], Qt::LeftButton);
            expected += QStringLiteral("213456789*0#")[i];
            QCOMPARE(form->TTButton[i]->tag(), expected.back());
            QCOMPARE(text(), expected);
            QCOMPARE(QApplication::focusWidget(), form->Text1);
        }
        using Click = std::pair<QPushButton*, QString>;
        for (const auto& [button, after] :
             {Click{form->CorBtn, "213456789*0"}, Click{form->ClearBtn, ""}, Click{form->Dial, ""}}) {
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(text(), after);
            QCOMPARE(QApplication::focusWidget(), form->Text1);
            QVERIFY2(form->Dial->isDefault(), qPrintable(button->objectName()));
        }
        form->Help->setFocus();
        QVERIFY(!form->Dial->isDefault()); // a focused push button takes Enter
        form->TTButton[4]->setFocus();
        QVERIFY(form->Dial->isDefault());
        ModalHelper modal;
        modal.answer(QMessageBox::Ok);
        form->Help->setFocus();
        QTest::keyClick(form->Help, Qt::Key_Return);
        QVERIFY(modal.done());
        QVERIFY(modal.boxes[0].startsWith("OrvoDial: ") && modal.boxes[0].endsWith(" [OK]"));
        QVERIFY(modal.boxes[0].contains(QStringLiteral(ORVODIAL_VERSION_TEXT)));
        QCOMPARE(form->focusWidget(), form->Help);
    }

    // Done (Alt+D, Enter) hides the timing window and the next call reuses it; closed from
    // its title bar it is destroyed and the next call creates a new one.
    void timingWindowLife() {
        ModalHelper modal;
        QPointer<TForm> first;
        QStringList seen; // number, clock and focus as first seen, then the clock a tick later
        timedCall(modal, QStringLiteral("555 *67#"), [&](TForm* t) {
            first = t;
            seen << t->Num->text() << t->Timebox->text()
                 << (t->focusWidget() == t->Command1 ? "Done focused" : "?");
            now.second = 5;
            QTest::qWait(600); // one tick at least
            seen << t->Timebox->text();
            QTest::keyClick(t->Command1, Qt::Key_D, Qt::AltModifier);
        });
        QVERIFY(modal.done());
        QCOMPARE(modal.boxes, QStringList({"OrvoDial: Time call? [Yes]"}));
        QCOMPARE(seen, QStringList({"555 *67#", "00:00:00", "Done focused", "00:00:05"}));
        QVERIFY(first && first->isHidden());
        QVERIFY(!first->Timer1->isActive()); // hidden: the timer rests
        QCOMPARE(form->timingWindow(), first.data());
        QCOMPARE(text(), QString());
        QCOMPARE(form->focusWidget(), form->Text1);

        // Shown again, it shows the clock its hidden ticks would have left: 9 s since the
        // first call's Mark, although its timer rested in between.
        now.second = 9;
        QTest::qWait(600);
        bool reused = false;
        QString reshown;
        timedCall(modal, QStringLiteral("222"), [&](TForm* t) {
            reused = t == first && t->Num->text() == QStringLiteral("222") && t->Timer1->isActive();
            reshown = t->Timebox->text();
            t->close(); // the title bar's close button
        });
        QVERIFY(modal.done() && reused);
        QCOMPARE(reshown, QStringLiteral("00:00:09"));
        QCOMPARE(form->timingWindow(), nullptr);
        QTRY_VERIFY(!first);
        timedCall(modal, QStringLiteral("333"),
                  [&](TForm* t) { QTest::keyClick(t->Command1, Qt::Key_Return); });
        QVERIFY(modal.done());
        QVERIFY(form->timingWindow() && form->timingWindow()->isHidden());
    }
};

QTEST_MAIN(DialFormWidgetTests)
#include "DialFormWidgetTests.moc"
