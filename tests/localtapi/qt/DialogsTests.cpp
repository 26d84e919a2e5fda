// Dialing rules, the settings dialogs, and the device icon drawn through a painter handle.
#include "telephony/CvbTAPILine.h"
#include "localtapi/DialingRules.h"
#include "localtapi/qt/Handles.h"
#include "localtapi/qt/LineDialogs.h"
#include "tests/support/ServiceTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFocusEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>

using namespace localtapi;
using namespace localtapi::qt;
using namespace svctest;

namespace {

TEST(DialingRules, TranslateFromSeattleWithPrefix9) {
    Location here;
    here.outsidePrefix = "9,";
    here.countryCode = "1";
    here.areaCode = "206";
    const struct {
        const char *name, *number, *dialed;
    } rows[] = {{"not_canonical", "555-1212", "9,555-1212"},
                {"same_area", "+1 (206) 5551212", "9,5551212"},
                {"other_area", "+1 (425) 5551212", "9,14255551212"},
                {"no_area_same_country", "+1 5551212", "9,5551212"},
                {"abroad", "+44 (20) 79460000", "9,011442079460000"},
                {"unclosed_area", "+1 (206 555", "9,+1 (206 555"},
                {"plus_only", "+", "9,+"},
                // International numbers as links and people write them: by their digits.
                {"link_same_area", "+1-206-555-1212", "9,5551212"},
                {"digits_same_area", "+12065551212", "9,5551212"},
                {"dots_other_area", "+1.425.555.1212", "9,14255551212"},
                {"link_abroad", "+44-20-7946-0000", "9,011442079460000"},
                {"letters_are_not_a_number", "+1-800-FLOWERS", "9,+1-800-FLOWERS"}};
    for (const auto& row : rows)
        EXPECT_EQ(TranslateAddress(row.number, here), row.dialed) << row.name;
}

// The same numbers from other places: no location set (the defaults: country 1, no area,
// long distance 1, international 011), and London.
TEST(DialingRules, TranslateFromOtherLocations) {
    Location london;
    london.countryCode = "44";
    london.areaCode = "20";
    london.longDistancePrefix = "0";
    london.internationalPrefix = "00";
    const struct {
        const char *name, *number;
        const Location* from;
        const char* dialed;
    } rows[] = {{"nowhere_set_us_number", "+1-206-555-1212", nullptr, "12065551212"},
                {"nowhere_set_abroad", "+44 (20) 79460000", nullptr, "011442079460000"},
                {"nowhere_set_local_form", "555-1212", nullptr, "555-1212"},
                {"london_local", "+44-20-7946-0000", &london, "79460000"},
                {"london_national", "+44 (161) 4960000", &london, "01614960000"},
                {"london_to_seattle", "+1-206-555-1212", &london, "0012065551212"}};
    const Location defaults;
    for (const auto& row : rows)
        EXPECT_EQ(TranslateAddress(row.number, row.from ? *row.from : defaults), row.dialed) << row.name;
}

TEST(LineSettingsEdit, BytesThatAreNotUtf8SurviveUnlessEdited) {
    DriverRegistry registry;
    RegisterBuiltinDrivers(registry);
    const LineSettings current{.group = "line0",
                               .name = "Caf\xE9", // Latin-1
                               .driver = "simulated",
                               .entries = {{"busy", "555\2400100", 3}},
                               .file = {}, .system = {}, .systemFile = {}}; // a stray byte
    LineSettingsDialog dialog(nullptr, 0, current, registry, nullptr);
    dialog.keyEdit("answer_ms")->setText("20");
    const LineSettings s = dialog.Settings();
    EXPECT_EQ(s.name, current.name);
    EXPECT_EQ(s.Text("busy"), current.Text("busy"));
    EXPECT_EQ(s.Text("answer_ms"), "20");
    dialog.nameEdit()->setText("Desk\nphone"); // pasted with a line break
    EXPECT_EQ(dialog.Settings().name, "Desk phone");

    Location here;
    here.areaCode = "\xE9";
    LocationDialog location(nullptr, "1", here);
    EXPECT_EQ(location.CurrentLocation(), here) << "unchanged, so the service saves nothing";
}

// Every driver's table makes its fields: a check box for yes/no, a list for a choice, a
// masked field for a password, a line of text otherwise; each labelled in words, with its
// key and help in the help line, showing the default. Left alone, nothing is written.
TEST(LineSettingsEdit, EachKindOfSettingGetsItsWidget) {
    DriverRegistry registry;
    RegisterBuiltinDrivers(registry);
    for (const std::string& driver : registry.Names()) {
        const LineSettings current{.group = "line0", .name = "Mine", .driver = driver, .entries = {}, .file = {}, .system = {}, .systemFile = {}};
        LineSettingsDialog dialog(nullptr, 0, current, registry, nullptr);
        auto* form = dialog.findChildren<QFormLayout*>().at(1);
        for (const SettingSpec& spec : registry.Find(driver)->settings) {
            SCOPED_TRACE(driver + " " + std::string(spec.key));
            QWidget* field = dialog.field(std::string(spec.key));
            ASSERT_NE(field, nullptr);
            const QString label = QString::fromStdString(SettingLabel(spec));
            auto* labelWidget = qobject_cast<QLabel*>(form->labelForField(field));
            switch (spec.kind) {
            case SettingKind::YesNo: {
                auto* box = qobject_cast<QCheckBox*>(field);
                ASSERT_NE(box, nullptr);
                EXPECT_EQ(box->text(), label);
                // (A new line's password goes into the keyring.)
                EXPECT_EQ(box->isChecked(), spec.key == "keyring" || ParseYesNo(spec.defaultValue).value());
                break;
            }
            case SettingKind::Choice: {
                auto* list = qobject_cast<QComboBox*>(field);
                ASSERT_NE(list, nullptr);
                QStringList items;
                for (int i = 0; i < list->count(); ++i)
                    items << list->itemText(i);
                EXPECT_EQ(items.join('|').toStdString(), spec.choices);
                EXPECT_EQ(list->currentText().toStdString(), spec.defaultValue);
                break;
            }
            default: {
                auto* edit = qobject_cast<QLineEdit*>(field);
                ASSERT_NE(edit, nullptr);
                EXPECT_EQ(edit->placeholderText().toStdString(), spec.defaultValue);
                EXPECT_EQ(edit->echoMode() == QLineEdit::Password, spec.kind == SettingKind::Secret);
            }
            }
            if (spec.kind != SettingKind::YesNo) {
                ASSERT_NE(labelWidget, nullptr);
                EXPECT_EQ(labelWidget->text(), label + ":");
            }
            EXPECT_FALSE(label.isEmpty() || label.contains("e.g.") || label.startsWith("yes"));
            QFocusEvent focus(QEvent::FocusIn);
            QApplication::sendEvent(field, &focus);
            EXPECT_EQ(dialog.helpLine()->text().toStdString(), std::string(spec.key) + " \u2014 " + SettingHelp(spec));
        }
        EXPECT_TRUE(dialog.Settings().entries.empty()) << driver << ": defaults were written out";
    }
    EXPECT_EQ(SettingLabel(*FindSetting(registry.Find("modem")->settings, "blind")),
              "Dial without waiting for dial tone");
}

// What the dialog does as it is edited: the name follows the driver while it is the old
// driver's default, the height fits the driver's fields, yes/no and choices are written
// as words, a refusal's reasons go once mended, a missing port only warns.
TEST(LineSettingsEdit, EditingTheDialog) {
    DriverRegistry registry;
    RegisterBuiltinDrivers(registry);
    auto open = [&](const std::string& name, const std::string& driver, std::vector<LineSettings::Entry> entries,
                    ServiceUi::Validate validate = nullptr) {
        return std::make_unique<LineSettingsDialog>(
            nullptr, 0, LineSettings{.group = "line0", .name = name, .driver = driver, .entries = entries, .file = {}, .system = {}, .systemFile = {}},
            registry, std::move(validate));
    };
    {
        auto d = open("Practice line", "simulated", {});
        const int tall = d->height();
        d->driverBox()->setCurrentText("sip");
        EXPECT_EQ(d->nameEdit()->text(), "Desk phone");
        EXPECT_LT(d->height(), tall) << "kept the simulated line's height";
        d->driverBox()->setCurrentText("ofono");
        EXPECT_EQ(d->nameEdit()->text(), "Mobile phone");
        d->nameEdit()->setText("Anna's phone");
        d->driverBox()->setCurrentText("modem");
        EXPECT_EQ(d->nameEdit()->text(), "Anna's phone") << "a name of the user's own was replaced";
    }
    {
        auto d = open("Desk phone", "sip", {{"autoanswer", "on", 4}});
        static_cast<QComboBox*>(d->field("transport"))->setCurrentText("tls");
        EXPECT_EQ(d->Settings().Text("autoanswer"), "on") << "the file's own word, unchanged";
        static_cast<QCheckBox*>(d->field("autoanswer"))->setChecked(false);
        const LineSettings s = d->Settings();
        EXPECT_EQ(s.Text("transport"), "tls");
        EXPECT_EQ(s.Text("autoanswer"), "no");
    }
    {
        auto d = open("Modem", "modem", {{"port", "/dev/orvodial-no-such-port", 3}},
                      [](const LineSettings& s) {
                          return s.Text("speed") == "fast" ? std::vector<ConfigProblem>{{0, "speed: not a number"}}
                                                           : std::vector<ConfigProblem>{};
                      });
        EXPECT_FALSE(d->warningsLine()->isHidden());
        EXPECT_TRUE(d->warningsLine()->text().contains("There is no /dev/orvodial-no-such-port now"));
        d->keyEdit("speed")->setText("fast");
        d->accept();
        EXPECT_FALSE(d->problemsLine()->isHidden()) << "no reason shown for the refusal";
        EXPECT_EQ(d->result(), QDialog::Rejected) << "accepted what the driver refuses";
        d->keyEdit("speed")->setText("9600");
        EXPECT_TRUE(d->problemsLine()->isHidden()) << "the reason stayed after the mend";
        d->keyEdit("port")->setText("/dev/null");
        EXPECT_TRUE(d->warningsLine()->isHidden());
        d->keyEdit("port")->setText("/dev/orvodial-no-such-port");
        d->accept();
        EXPECT_EQ(d->result(), QDialog::Accepted) << "a missing port refused";
    }
}

// A SIP line's password is typed into a field that does not show it; the others show theirs.
TEST(LineSettingsEdit, PasswordFieldHidesWhatIsTyped) {
    DriverRegistry registry;
    RegisterBuiltinDrivers(registry);
    const LineSettings current{.group = "line0",
                               .name = "Desk phone",
                               .driver = "sip",
                               .entries = {{"phone", "sip:201@pbx.example.com", 2}, {"password", "hunter2", 3}},
                               .file = {}, .system = {}, .systemFile = {}};
    LineSettingsDialog dialog(nullptr, 0, current, registry, nullptr);
    ASSERT_NE(dialog.keyEdit("password"), nullptr);
    EXPECT_EQ(dialog.keyEdit("password")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.keyEdit("phone")->echoMode(), QLineEdit::Normal);
}

// Accepts the next modal dialog after filling it in.
void AcceptModalSoon(std::function<void(QDialog*)> fill) {
    QTimer::singleShot(0, [fill] {
        auto* dialog = static_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        fill(dialog);
        dialog->accept();
    });
}

// Also: OK refused while the driver rejects a value; cleared keys and another driver's are dropped.
TEST(Dialogs, DialogsThroughTheLineObjectSaveTheFile) {
    QTemporaryDir dir;
    ServiceSetup setup;
    setup.path = dir.filePath("telephony.ini").toStdString();
    setup.ini += "port=/dev/ttyS0\n";
    std::ofstream(setup.path) << setup.ini;
    auto line = CvbTAPILine::New(MakeService(setup));
    ASSERT_TRUE(line->Create());

    QWidget owner;
    AcceptModalSoon([&](QDialog* w) {
        EXPECT_EQ(w->parentWidget(), &owner);
        w->findChildren<QLineEdit*>().first()->setText("Desk phone");
        QLineEdit* answer = w->findChild<QLineEdit*>("answer_ms");
        EXPECT_EQ(answer->placeholderText(), "3000");
        answer->setText("soon");
        w->accept();
        EXPECT_TRUE(w->isVisible()) << "accepted a value the driver rejects";
        answer->setText("20");
        w->findChild<QLineEdit*>("busy")->setText("");
    });
    EXPECT_TRUE(line->ConfigDialog(HwndFromWidget(&owner)));
    const Configuration saved = LoadConfiguration(setup.path);
    ASSERT_EQ(saved.lines.size(), 1u);
    EXPECT_EQ(saved.lines[0].name, "Desk phone");
    EXPECT_EQ(saved.lines[0].Text("answer_ms"), "20");
    EXPECT_EQ(saved.lines[0].Find("busy"), nullptr);
    EXPECT_EQ(saved.lines[0].Find("port"), nullptr);
    line->setCurrentLineID(0); // the device takes its new name (it was closed)
    EXPECT_EQ(line->LineName(), std::string("Desk phone", 11));

    AcceptModalSoon([](QDialog* w) {
        const QLabel* dialed = w->findChild<QLabel*>("dialed");
        EXPECT_EQ(dialed->text(), "14255551212");
        w->findChild<QLineEdit*>("outside_prefix")->setText("9,");
        w->findChild<QLineEdit*>("area_code")->setText("425");
        EXPECT_EQ(dialed->text(), "9,5551212");
    });
    EXPECT_TRUE(line->DialingPropertiesDialog(nullptr, "+1 (425) 5551212"));
    EXPECT_EQ(LoadConfiguration(setup.path).location.areaCode, "425");
}

TEST(Dialogs, IconDrawnAtItsOwnSizeAndReleased) {
    auto service = MakeService();
    auto line = CvbTAPILine::New(service);
    ASSERT_TRUE(line->Create());
    QImage canvas(64, 64, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        EXPECT_TRUE(line->PaintDevIcon(HdcFromPainter(&painter), 10, 10));
    }
    // Drawn inside 10..41, nothing beyond its own 32 pixels.
    const auto blank = [&](int x, int y, int w, int h) {
        return canvas.copy(x, y, w, h) == canvas.copy(0, 0, 1, 1).scaled(w, h);
    };
    EXPECT_FALSE(blank(10, 10, 32, 32));
    EXPECT_TRUE(blank(0, 42, 64, 22) && blank(42, 0, 22, 64)) << "drawn beyond 32 pixels";
    EXPECT_EQ(service->census().icons, 0u) << "the icon was not destroyed";

    HICON icon = nullptr;
    ASSERT_EQ(service->lineGetIconA(0, "tapi/line", &icon), 0);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        EXPECT_TRUE(service->DrawIconEx(HdcFromPainter(&painter), 0, 0, icon, 64, 64, 0, nullptr, DI_NORMAL));
    }
    EXPECT_FALSE(blank(0, 42, 64, 22)) << "not stretched to 64";
    EXPECT_TRUE(service->DestroyIcon(icon));
    EXPECT_FALSE(service->DestroyIcon(icon));
    EXPECT_FALSE(service->DrawIconEx(nullptr, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
}

} // namespace
