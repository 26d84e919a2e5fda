// The Qt dial and timing windows on the offscreen platform, driven by QTest key and mouse
// clicks: geometry from the twips tables, key preview, the keypad, focus after each
// handler, default buttons, and the timing window's life.
#include "DialForm.h"
#include "FakeTapi.h"
#include "Layout.h"
#include "ModalHelper.h"
#include "TForm.h"

#include <QFontDatabase>
#include <QLineEdit>
#include <QtTest>

Q_DECLARE_METATYPE(ui::TwipRect)

namespace {

QRect Pixels(const ui::TwipRect& r) {
    const ui::PixelRect p = ui::ToPixels(r);
    return {p.left, p.top, p.width, p.height};
}

} // namespace

class DialFormWidgetTests : public QObject {
    Q_OBJECT

  private:
    std::shared_ptr<testsupport::FakeTapi> fake;
    std::unique_ptr<DialForm> form;
    ui::LocalDateTime now{2026, 12, 8, 10, 0, 0};

    QLineEdit* edit() { return form->Text1->lineEdit(); }
    QString text() { return form->Text1->currentText(); }

  private slots:
    void init() {
        fake = std::make_shared<testsupport::FakeTapi>();
        fake->devices.resize(1);
        fake->makeCallResult = 41;
        auto tapi = fake;
        form = std::make_unique<DialForm>([tapi] { return CvbTAPILine::New(tapi); }, [this] { return now; });
        form->Load();
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void cleanup() { form.reset(); }

    // ---- Layout ----

    void geometry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<ui::TwipRect>("twips");
        using namespace ui::dialform;
        QTest::newRow("Text1") << "Text1" << kText1;
        QTest::newRow("Dial") << "Dial" << kDial.rect;
        QTest::newRow("ClearBtn") << "ClearBtn" << kClearBtn.rect;
        QTest::newRow("CorBtn") << "CorBtn" << kCorBtn.rect;
        QTest::newRow("Help") << "Help" << kHelp.rect;
        for (std::size_t i = 0; i < kKeyCount; ++i)
            QTest::newRow(qPrintable(QStringLiteral("TTButton%1").arg(i)))
                << QStringLiteral("TTButton%1").arg(i) << kKeypad[i].rect();
    }

    void geometry() {
        QFETCH(QString, name);
        QFETCH(ui::TwipRect, twips);
        auto* widget = form->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), Pixels(twips));
    }

    void windowSizeTitleAndNoRelayout() {
        QCOMPARE(form->size(), QSize(202, 275));
        QCOMPARE(form->windowTitle(), QStringLiteral("Orvo Dial"));
        QVERIFY(!form->windowIcon().isNull());
        const QRect dial = form->Dial->geometry();
        form->resize(400, 500);
        QCoreApplication::processEvents();
        QCOMPARE(form->Dial->geometry(), dial);
        QCOMPARE(form->Text1->geometry(), Pixels(ui::dialform::kText1));
    }

    void keypadRowsAndTags() {
        // Index 0 is "2" in the middle of the top row; index 1 is "1" on its left.
        QVERIFY(form->TTButton[1]->x() < form->TTButton[0]->x());
        QCOMPARE(form->TTButton[0]->tag(), QChar('2'));
        QCOMPARE(form->TTButton[1]->tag(), QChar('1'));
        QString bottom;
        for (std::size_t i : {9u, 10u, 11u})
            bottom += form->TTButton[i]->tag();
        QCOMPARE(bottom, QStringLiteral("*0#"));
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

    // ---- Key preview ----

    void keyPreview_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("cursor");     // caret position, -1 for the end
        QTest::addColumn<int>("selectFrom"); // selection start, -1 for none
        QTest::addColumn<int>("selectLength");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("after");
        QTest::newRow("number typed") << "" << -1 << -1 << 0 << "555-1212"
                                      << "555-1212";
        QTest::newRow("all accepted characters") << "" << -1 << -1 << 0 << "0123456789#* -"
                                                 << "0123456789#* -";
        QTest::newRow("caret at start appends at end") << "555" << 0 << -1 << 0 << "12"
                                                       << "55512";
        QTest::newRow("selected text stays, digit at end") << "555-1212" << -1 << 0 << 3 << "9"
                                                           << "555-12129";
        QTest::newRow("letters and signs swallowed") << "555" << 0 << -1 << 0 << "aZ+().,/"
                                                     << "555";
        QTest::newRow("selection not replaced by a letter") << "555" << -1 << 0 << 3 << "x"
                                                            << "555";
    }

    void keyPreview() {
        QFETCH(QString, before);
        QFETCH(int, cursor);
        QFETCH(int, selectFrom);
        QFETCH(int, selectLength);
        QFETCH(QString, typed);
        QFETCH(QString, after);
        form->Text1->setEditText(before);
        form->Text1->setFocus();
        if (cursor >= 0)
            edit()->setCursorPosition(cursor);
        if (selectFrom >= 0)
            edit()->setSelection(selectFrom, selectLength);
        QTest::keyClicks(form->Text1, typed);
        QCOMPARE(text(), after);
        QCOMPARE(form->focusWidget(), form->Text1);
    }

    void backspaceRemovesLastCharacterWhereverTheCaret() {
        form->Text1->setEditText(QStringLiteral("555-1212"));
        form->Text1->setFocus();
        edit()->setCursorPosition(0);
        QTest::keyClick(form->Text1, Qt::Key_Backspace);
        QCOMPARE(text(), QStringLiteral("555-121"));
        form->Text1->setEditText(QString());
        QTest::keyClick(form->Text1, Qt::Key_Backspace);
        QCOMPARE(text(), QString());
    }

    void keysWithoutCharacterActOnTheField() {
        form->Text1->setEditText(QStringLiteral("12345"));
        form->Text1->setFocus();
        QTest::keyClick(form->Text1, Qt::Key_Home);
        QCOMPARE(edit()->cursorPosition(), 0);
        QTest::keyClick(form->Text1, Qt::Key_Delete);
        QCOMPARE(text(), QStringLiteral("2345"));
        QTest::keyClick(form->Text1, Qt::Key_Right);
        QCOMPARE(edit()->cursorPosition(), 1);
    }

    // Characters that arrive with Alt held, or composed by an input method (dead keys),
    // are character input too: they must not reach the text field behind the preview.
    void altAndComposedCharactersDoNotReachTheField() {
        form->Text1->setEditText(QStringLiteral("555"));
        form->Text1->setFocus();
        edit()->setCursorPosition(0);
        QTest::keyClick(form->Text1, Qt::Key_A, Qt::AltModifier);
        QTest::keyClick(form->Text1, Qt::Key_5, Qt::AltModifier);
        QCOMPARE(text(), QStringLiteral("555"));

        const auto commit = [this](const QString& s) {
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

    void characterKeyOnAButtonGoesToTheNumber() {
        form->TTButton[4]->setFocus();
        QTest::keyClick(form->TTButton[4], Qt::Key_7, Qt::NoModifier);
        QCOMPARE(text(), QStringLiteral("7"));
        QCOMPARE(QApplication::focusWidget(), form->Text1);
        // Space is a character: it is appended, and does not press the focused key.
        form->TTButton[4]->setFocus();
        QTest::keyClick(form->TTButton[4], Qt::Key_Space);
        QCOMPARE(text(), QStringLiteral("7 "));
    }

    // ---- Buttons ----

    void keypadMouseClicks() {
        QString expected;
        for (std::size_t i = 0; i < ui::dialform::kKeyCount; ++i) {
            QTest::mouseClick(form->TTButton[i], Qt::LeftButton);
            expected += QChar(ui::dialform::kKeypad[i].tag);
            QCOMPARE(text(), expected);
            QCOMPARE(QApplication::focusWidget(), form->Text1);
        }
        QCOMPARE(expected, QStringLiteral("213456789*0#"));
    }

    void clearAndCorrectKeepTheList() {
        form->Text1->addItem(QStringLiteral("111"));
        form->Text1->setEditText(QStringLiteral("555"));
        QTest::mouseClick(form->CorBtn, Qt::LeftButton);
        QCOMPARE(text(), QStringLiteral("55"));
        QCOMPARE(QApplication::focusWidget(), form->Text1);
        QTest::mouseClick(form->ClearBtn, Qt::LeftButton);
        QCOMPARE(text(), QString());
        QCOMPARE(QApplication::focusWidget(), form->Text1);
        QTest::mouseClick(form->CorBtn, Qt::LeftButton);
        QCOMPARE(text(), QString());
        QCOMPARE(form->Text1->count(), 1);
    }

    void helpShowsTheMessageAndKeepsTheFocus() {
        ModalHelper modal;
        modal.answer(QMessageBox::Ok);
        form->Help->setFocus();
        QTest::keyClick(form->Help, Qt::Key_Return); // Enter presses the focused button
        QVERIFY(modal.done());
        QCOMPARE(modal.titles, QStringList({"OrvoDial"}));
        QVERIFY(modal.texts[0].contains(QStringLiteral("1.00")));
        QCOMPARE(modal.icons[0], QMessageBox::NoIcon);
        QCOMPARE(form->focusWidget(), form->Help);
    }

    // ---- Dial, default buttons, the timing window ----

    // Dial stays the default button once the focus has been on a push button and left.
    void dialStaysTheDefaultButton() {
        for (QPushButton* button : {form->Dial, form->ClearBtn}) {
            QTest::mouseClick(button, Qt::LeftButton); // the handler focuses Text1
            QCOMPARE(QApplication::focusWidget(), form->Text1);
            QVERIFY2(form->Dial->isDefault(), qPrintable(button->objectName()));
        }
        form->ClearBtn->setFocus(); // a focused push button takes Enter
        QVERIFY(!form->Dial->isDefault());
        form->TTButton[4]->setFocus();
        QVERIFY(form->Dial->isDefault());
    }

    void enterWithEmptyNumberOnlyFocusesTheBox() {
        QVERIFY(form->Dial->isDefault());
        form->Text1->setFocus();
        QTest::keyClick(form->Text1, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), form->Text1);
        QVERIFY(fake->log.empty() || fake->count("lineOpen") == 0);
        QCOMPARE(form->Text1->count(), 0);
    }

    void enterDialsAndNoClearsTheBox() {
        ModalHelper modal;
        modal.answer(QMessageBox::No);
        form->Text1->setFocus();
        QTest::keyClicks(form->Text1, QStringLiteral("555-1212"));
        QTest::keyClick(form->Text1, Qt::Key_Return);
        QVERIFY(modal.done());
        QCOMPARE(modal.texts, QStringList({"Time call?"}));
        QCOMPARE(modal.defaults[0], QMessageBox::Yes);
        QCOMPARE(text(), QString());
        QCOMPARE(form->Text1->count(), 1);
        QCOMPARE(form->Text1->itemText(0), QStringLiteral("555-1212"));
        QCOMPARE(form->focusWidget(), form->Text1);
        QVERIFY(!form->timingWindow());
    }

    void timedCallThenDoneHidesAndReuses() {
        ModalHelper modal;
        QPointer<TForm> seen;
        modal.answer(QMessageBox::Yes);
        modal.then([&](QWidget* w) {
            seen = qobject_cast<TForm*>(w);
            if (!seen)
                return false;
            // The window as first seen: the number, the design clock, Done focused.
            [&] {
                QCOMPARE(seen->Num->text(), QStringLiteral("555 *67#"));
                QCOMPARE(seen->Timebox->text(), QStringLiteral("00:00:00"));
                QCOMPARE(seen->focusWidget(), static_cast<QWidget*>(seen->Command1));
            }();
            now.second = 5;
            QTest::qWait(600); // one tick at least
            [&] { QCOMPARE(seen->Timebox->text(), QStringLiteral("00:00:05")); }();
            QTest::keyClick(seen->Command1, Qt::Key_D, Qt::AltModifier); // access key of "&Done"
            return true;
        });
        form->Text1->setEditText(QStringLiteral("555 *67#"));
        QTest::mouseClick(form->Dial, Qt::LeftButton);
        QVERIFY(modal.done());
        QVERIFY(seen);
        QVERIFY(seen->isHidden());
        QCOMPARE(form->timingWindow(), seen.data());
        QVERIFY(seen->Timer1->isActive()); // ticks on while hidden
        QCOMPARE(text(), QString());
        QCOMPARE(form->focusWidget(), form->Text1);

        // A second timed call: same window, Enter presses Done.
        ModalHelper second;
        second.answer(QMessageBox::Yes);
        second.then([&](QWidget* w) {
            if (w != seen)
                return false;
            QTest::keyClick(seen->Command1, Qt::Key_Return);
            return true;
        });
        form->Text1->setEditText(QStringLiteral("222"));
        QTest::mouseClick(form->Dial, Qt::LeftButton);
        QVERIFY(second.done());
        QCOMPARE(seen->Num->text(), QStringLiteral("222"));
        QCOMPARE(form->timingWindow(), seen.data());
    }

    void closingTheTimingWindowDestroysItAndTheNextCallCreatesANewOne() {
        ModalHelper modal;
        QPointer<TForm> first;
        modal.answer(QMessageBox::Yes);
        modal.then([&](QWidget* w) {
            first = qobject_cast<TForm*>(w);
            if (!first)
                return false;
            first->close(); // the title bar's close button
            return true;
        });
        form->Text1->setEditText(QStringLiteral("111"));
        QTest::mouseClick(form->Dial, Qt::LeftButton);
        QVERIFY(modal.done());
        QCOMPARE(form->timingWindow(), nullptr);
        QTRY_VERIFY(!first);

        ModalHelper again;
        QPointer<TForm> second;
        again.answer(QMessageBox::Yes);
        again.then([&](QWidget* w) {
            second = qobject_cast<TForm*>(w);
            if (!second)
                return false;
            second->Command1->click();
            return true;
        });
        form->Text1->setEditText(QStringLiteral("222"));
        QTest::mouseClick(form->Dial, Qt::LeftButton);
        QVERIFY(again.done());
        QVERIFY(second);
        QCOMPARE(form->timingWindow(), second.data());
    }
};

class TFormWidgetTests : public QObject {
    Q_OBJECT

  private slots:
    void geometry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<ui::TwipRect>("twips");
        QTest::newRow("Num") << "Num" << ui::tform::kNum;
        QTest::newRow("Timebox") << "Timebox" << ui::tform::kTimebox;
        QTest::newRow("Command1") << "Command1" << ui::tform::kCommand1;
    }

    void geometry() {
        QFETCH(QString, name);
        QFETCH(ui::TwipRect, twips);
        TForm form;
        auto* widget = form.findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), Pixels(twips));
        QCOMPARE(form.size(), QSize(250, 160));
    }

    void designTextsFontsAndColours() {
        TForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Call Timing"));
        QCOMPARE(form.Num->text(), QStringLiteral("555-1212"));
        QVERIFY(form.Num->font().bold());
        QCOMPARE(form.Num->font().pointSize(), 12);
        QVERIFY(form.Num->alignment() & Qt::AlignHCenter);
        QCOMPARE(form.Timebox->text(), QStringLiteral("00:00:00"));
        if (QFontDatabase::hasFamily(QStringLiteral("Digiface")))
            QCOMPARE(form.Timebox->font().pointSize(), 36);
        // The clock text fits its label: no digit is cut off.
        QVERIFY(QFontMetrics(form.Timebox->font()).horizontalAdvance(QStringLiteral("00:00:00")) <=
                form.Timebox->width());
        QCOMPARE(form.Timebox->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        // Without Digiface installed, the built-in seven-segment face, not a plain one.
        if (!QFontDatabase::hasFamily(QStringLiteral("Digiface")))
            QVERIFY2(QFontInfo(form.Timebox->font()).family().startsWith(QStringLiteral("DSEG7")),
                     qPrintable(QFontInfo(form.Timebox->font()).family()));
        QVERIFY(form.Command1->isDefault());
        QCOMPARE(form.Command1->text(), QStringLiteral("&Done"));
        QCOMPARE(form.Timer1->interval(), 500);
        QVERIFY(form.Timer1->isActive());
        QCOMPARE(form.Num->focusPolicy(), Qt::NoFocus);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int status = 0;
    {
        DialFormWidgetTests dial;
        status |= QTest::qExec(&dial, argc, argv);
    }
    {
        TFormWidgetTests timing;
        status |= QTest::qExec(&timing, argc, argv);
    }
    return status;
}

#include "DialFormWidgetTests.moc"
