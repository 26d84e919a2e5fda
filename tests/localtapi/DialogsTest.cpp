// Dialing rules, the settings dialogs' logic, one dialog accepted for real, and the
// device icon drawn through a painter handle.
#include "CvbTAPILine.h"
#include "DialingRules.h"
#include "Handles.h"
#include "LineDialogs.h"
#include "ServiceTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace localtapi;
using namespace svctest;

namespace {

struct TranslateRow {
    const char* name;
    const char* number;
    const char* dialed;
    friend void PrintTo(const TranslateRow& row, std::ostream* os) { *os << row.name; }
};

class Translate : public testing::TestWithParam<TranslateRow> {};

TEST_P(Translate, FromSeattleWithPrefix9) {
    Location here;
    here.outsidePrefix = "9,";
    here.countryCode = "1";
    here.areaCode = "206";
    EXPECT_EQ(TranslateAddress(GetParam().number, here), GetParam().dialed);
}

INSTANTIATE_TEST_SUITE_P(Rows, Translate,
                         testing::Values(TranslateRow{"not_canonical", "555-1212", "9,555-1212"},
                                         TranslateRow{"same_area", "+1 (206) 5551212", "9,5551212"},
                                         TranslateRow{"other_area", "+1 (425) 5551212", "9,14255551212"},
                                         TranslateRow{"no_area_same_country", "+1 5551212", "9,5551212"},
                                         TranslateRow{"abroad", "+44 (20) 79460000", "9,011442079460000"},
                                         TranslateRow{"unclosed_area", "+1 (206 555", "9,+1 (206 555"},
                                         TranslateRow{"plus_only", "+", "9,+"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LineSettingsEdit, KeepsOnlyTheChosenDriversNonEmptyKeys) {
    LineSettings base;
    base.group = "line3";
    base.entries = {{"port", "/dev/ttyS0", 4}};
    const LineSettings s = EditedSettings(base, "Desk", "simulated",
                                          {{"answer_ms", "100"}, {"busy", ""}, {"refuse", "0x80000005"}});
    EXPECT_EQ(s.group, "line3");
    EXPECT_EQ(s.name, "Desk");
    EXPECT_EQ(s.driver, "simulated");
    ASSERT_EQ(s.entries.size(), 2u);
    EXPECT_EQ(s.entries[0].key, "answer_ms");
    EXPECT_EQ(s.entries[1].value, "0x80000005");
    EXPECT_EQ(s.Find("port"), nullptr);
}

TEST(LineSettingsEdit, DialogRefusesSettingsTheDriverRejects) {
    DriverRegistry registry;
    RegisterBuiltinDrivers(registry);
    LineSettings current;
    current.group = "line0";
    current.driver = "simulated";
    current.name = "A";
    int checks = 0;
    LineSettingsDialog dialog(nullptr, 0, current, registry, [&](const LineSettings& s) {
        ++checks;
        std::vector<ConfigProblem> problems;
        registry.Find(s.driver)->create(s, problems);
        return problems;
    });
    ASSERT_NE(dialog.keyEdit("answer_ms"), nullptr);
    EXPECT_EQ(dialog.keyEdit("answer_ms")->placeholderText(), "3000");
    dialog.keyEdit("answer_ms")->setText("soon");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << "still open";
    dialog.keyEdit("answer_ms")->setText("20");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(checks, 2);
    EXPECT_EQ(dialog.Settings().Text("answer_ms"), "20");
}

TEST(LineSettingsEdit, BytesThatAreNotUtf8SurviveUnlessEdited) {
    DriverRegistry registry;
    RegisterBuiltinDrivers(registry);
    LineSettings current;
    current.group = "line0";
    current.driver = "simulated";
    current.name = "Caf\xE9"; // Latin-1
    current.entries = {{"busy",
                        "555\xA0"
                        "0100",
                        3}}; // a stray byte
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

TEST(LocationEdit, ShowsTheNumberAsDialled) {
    Location l;
    l.areaCode = "206";
    LocationDialog dialog(nullptr, "+1 (425) 5551212", l);
    EXPECT_EQ(dialog.DialedNumber(), "14255551212");
    dialog.field("outside_prefix")->setText("9,");
    dialog.field("area_code")->setText("425");
    EXPECT_EQ(dialog.DialedNumber(), "9,5551212");
    EXPECT_EQ(dialog.findChild<QLabel*>("dialed")->text(), "9,5551212");
    EXPECT_EQ(dialog.CurrentLocation().outsidePrefix, "9,");
}

// Accepts the next modal dialog after filling it in.
void AcceptModalSoon(std::function<void(QWidget*)> fill) {
    QTimer::singleShot(0, [fill] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_NE(w, nullptr);
        fill(w);
        static_cast<QDialog*>(w)->accept();
    });
}

TEST(Dialogs, ConfigDialogThroughTheLineObjectSavesTheFile) {
    QTemporaryDir dir;
    ServiceSetup setup;
    setup.path = dir.filePath("telephony.ini").toStdString();
    std::ofstream(setup.path) << setup.ini;
    auto service = MakeService(setup);
    auto line = CvbTAPILine::New(service);
    ASSERT_TRUE(line->Create());
    line->setCurrentLineID(0);

    QWidget owner;
    AcceptModalSoon([&](QWidget* w) {
        EXPECT_EQ(w->parentWidget(), &owner);
        w->findChildren<QLineEdit*>().first()->setText("Desk phone");
        w->findChild<QLineEdit*>("answer_ms")->setText("0");
        w->findChild<QLineEdit*>("busy")->setText("");
    });
    EXPECT_TRUE(line->ConfigDialog(HwndFromWidget(&owner)));
    const Configuration saved = LoadConfiguration(setup.path);
    ASSERT_EQ(saved.lines.size(), 1u);
    EXPECT_EQ(saved.lines[0].name, "Desk phone");
    EXPECT_EQ(saved.lines[0].Find("busy"), nullptr);
    // The device takes its new name (it was closed).
    line->setCurrentLineID(0);
    EXPECT_EQ(line->LineName(), std::string("Desk phone", 11));

    AcceptModalSoon([](QWidget* w) { w->findChild<QLineEdit*>("area_code")->setText("425"); });
    EXPECT_TRUE(line->DialingPropertiesDialog(nullptr, "+1 (425) 5551212"));
    EXPECT_EQ(LoadConfiguration(setup.path).location.areaCode, "425");
}

TEST(Dialogs, IconDrawnAtItsOwnSizeAndReleased) {
    auto service = MakeService();
    auto line = CvbTAPILine::New(service);
    ASSERT_TRUE(line->Create());
    line->setCurrentLineID(0);
    QImage canvas(64, 64, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        EXPECT_TRUE(line->PaintDevIcon(HdcFromPainter(&painter), 10, 10));
    }
    // Drawn inside 10..41, nothing beyond its own 32 pixels.
    bool inside = false;
    for (int y = 10; y < 42; ++y)
        for (int x = 10; x < 42; ++x)
            inside |= canvas.pixel(x, y) != QColor(Qt::white).rgb();
    EXPECT_TRUE(inside);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(canvas.pixel(i, 45), QColor(Qt::white).rgb());
        EXPECT_EQ(canvas.pixel(45, i), QColor(Qt::white).rgb());
    }
    EXPECT_EQ(service->census().icons, 0u) << "the icon was destroyed";

    HICON icon = nullptr;
    ASSERT_EQ(service->lineGetIconA(0, "tapi/line", &icon), 0);
    QImage big(64, 64, QImage::Format_ARGB32);
    big.fill(Qt::white);
    {
        QPainter painter(&big);
        EXPECT_TRUE(service->DrawIconEx(HdcFromPainter(&painter), 0, 0, icon, 64, 64, 0, nullptr, DI_NORMAL));
    }
    EXPECT_NE(big.pixel(32, 50), QColor(Qt::white).rgb()) << "stretched to 64";
    EXPECT_TRUE(service->DestroyIcon(icon));
    EXPECT_FALSE(service->DestroyIcon(icon));
    EXPECT_FALSE(service->DrawIconEx(nullptr, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
}

} // namespace
