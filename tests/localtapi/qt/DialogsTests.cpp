// Dialing rules, the settings dialogs, and the device icon drawn through a painter handle.
#include "telephony/CvbTAPILine.h"
#include "localtapi/DialingRules.h"
#include "localtapi/qt/Handles.h"
#include "localtapi/qt/LineDialogs.h"
#include "tests/support/ServiceTestSupport.h"

#include <QApplication>
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
                               .file = {}}; // a stray byte
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

// The fields come from the driver's table: its keys in order, the default as the
// placeholder, and the help of the field with the focus under them.
TEST(LineSettingsEdit, FieldsAndHelpFromTheDriversTable) {
    DriverRegistry registry;
    RegisterBuiltinDrivers(registry);
    const LineSettings current{.group = "line0", .name = "Desk modem", .driver = "modem", .entries = {}, .file = {}};
    LineSettingsDialog dialog(nullptr, 0, current, registry, nullptr);
    const DriverInfo* modem = registry.Find("modem");
    for (const SettingSpec& spec : modem->settings) {
        SCOPED_TRACE(std::string(spec.key));
        QLineEdit* edit = dialog.keyEdit(std::string(spec.key));
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->placeholderText().toStdString(), spec.defaultValue);
        QFocusEvent focus(QEvent::FocusIn);
        QApplication::sendEvent(edit, &focus);
        EXPECT_EQ(dialog.helpLine()->text().toStdString(), SettingHelp(spec));
    }
    EXPECT_EQ(SettingHelp(*FindSetting(modem->settings, "speed")),
              "Serial speed in bits per second (300 to 460800)");
    EXPECT_EQ(SettingHelp(*FindSetting(modem->settings, "dialmode")), "Tone or pulse dialling ('tone' or 'pulse')");
}

// A SIP line's password is typed into a field that does not show it; the others show theirs.
TEST(LineSettingsEdit, PasswordFieldHidesWhatIsTyped) {
    DriverRegistry registry;
    RegisterBuiltinDrivers(registry);
    const LineSettings current{.group = "line0",
                               .name = "Desk phone",
                               .driver = "sip",
                               .entries = {{"phone", "sip:201@pbx.example.com", 2}, {"password", "hunter2", 3}},
                               .file = {}};
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
