// Dialing rules, the settings dialogs, and the device icon drawn through a painter handle.
#include "CvbTAPILine.h"
#include "DialingRules.h"
#include "Handles.h"
#include "LineDialogs.h"
#include "ServiceTestSupport.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>

using namespace localtapi;
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
                {"plus_only", "+", "9,+"}};
    for (const auto& row : rows)
        EXPECT_EQ(TranslateAddress(row.number, here), row.dialed) << row.name;
}

class LineSettingsEdit : public testing::Test {
  protected:
    void SetUp() override {
        RegisterBuiltinDrivers(registry);
        current.group = "line0";
        current.driver = "simulated";
        current.name = "A";
    }
    DriverRegistry registry;
    LineSettings current;
};

// Also: only the chosen driver's non-empty keys are kept.
TEST_F(LineSettingsEdit, DialogRefusesSettingsTheDriverRejects) {
    current.entries = {{"port", "/dev/ttyS0", 4}, {"busy", "555", 5}};
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
    dialog.keyEdit("busy")->setText("");
    const LineSettings s = dialog.Settings();
    ASSERT_EQ(s.entries.size(), 1u);
    EXPECT_EQ(s.Text("answer_ms"), "20");
}

TEST_F(LineSettingsEdit, BytesThatAreNotUtf8SurviveUnlessEdited) {
    current.name = "Caf\xE9";                       // Latin-1
    current.entries = {{"busy", "555\2400100", 3}}; // a stray byte
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

std::shared_ptr<CvbTAPILine> LineOn(std::shared_ptr<LocalTapi> service) {
    auto line = CvbTAPILine::New(std::move(service));
    EXPECT_TRUE(line->Create());
    line->setCurrentLineID(0);
    return line;
}

TEST(Dialogs, ConfigDialogThroughTheLineObjectSavesTheFile) {
    QTemporaryDir dir;
    ServiceSetup setup;
    setup.path = dir.filePath("telephony.ini").toStdString();
    std::ofstream(setup.path) << setup.ini;
    auto line = LineOn(MakeService(setup));

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
    line->setCurrentLineID(0); // the device takes its new name (it was closed)
    EXPECT_EQ(line->LineName(), std::string("Desk phone", 11));

    AcceptModalSoon([](QWidget* w) { w->findChild<QLineEdit*>("area_code")->setText("425"); });
    EXPECT_TRUE(line->DialingPropertiesDialog(nullptr, "+1 (425) 5551212"));
    EXPECT_EQ(LoadConfiguration(setup.path).location.areaCode, "425");
}

TEST(Dialogs, IconDrawnAtItsOwnSizeAndReleased) {
    auto service = MakeService();
    auto line = LineOn(service);
    const QRgb white = QColor(Qt::white).rgb();
    QImage canvas(64, 64, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        EXPECT_TRUE(line->PaintDevIcon(HdcFromPainter(&painter), 10, 10));
    }
    // Drawn inside 10..41, nothing beyond its own 32 pixels.
    EXPECT_NE(canvas.copy(10, 10, 32, 32), canvas.copy(0, 0, 1, 1).scaled(32, 32));
    EXPECT_EQ(canvas.copy(0, 42, 64, 22), canvas.copy(0, 0, 1, 1).scaled(64, 22)) << "below";
    EXPECT_EQ(canvas.copy(42, 0, 22, 64), canvas.copy(0, 0, 1, 1).scaled(22, 64)) << "right";
    EXPECT_EQ(service->census().icons, 0u) << "the icon was destroyed";

    HICON icon = nullptr;
    ASSERT_EQ(service->lineGetIconA(0, "tapi/line", &icon), 0);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        EXPECT_TRUE(service->DrawIconEx(HdcFromPainter(&painter), 0, 0, icon, 64, 64, 0, nullptr, DI_NORMAL));
    }
    EXPECT_NE(canvas.pixel(32, 50), white) << "stretched to 64";
    EXPECT_TRUE(service->DestroyIcon(icon));
    EXPECT_FALSE(service->DestroyIcon(icon));
    EXPECT_FALSE(service->DrawIconEx(nullptr, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
}

} // namespace
