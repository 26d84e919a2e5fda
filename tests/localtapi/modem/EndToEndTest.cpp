// The whole road of one call on a modem line: the dial window's Dial command, the line
// object, the local telephony service configured with driver=modem on the simulator's
// pty, and the bytes the modem hears.
#include "Configuration.h"
#include "DialFormLogic.h"
#include "LocalTapi.h"
#include "ModemSimulator.h"
#include "Trace.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <unistd.h>
#include <stdexcept>

namespace {

constexpr int kGuardMs = 5000;

bool WaitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > kGuardMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// The dial window as its logic sees it. "Time call?" is answered once the modem has
// dialled and the line object holds the call, as a user would after picking up the
// handset; the events dispatched meanwhile are those of a modal message box.
class FakeDialView : public ui::DialView {
  public:
    std::function<bool()> readyToAnswer;
    std::string number;
    std::vector<std::string> messages;

    std::string numberText() const override { return number; }
    void setNumberText(const std::string& text) override { number = text; }
    void insertHistoryAtTop(const std::string&) override {}
    void setFocusToNumber() override {}
    ui::MessageAnswer showMessage(const std::string& text, ui::MessageButtons buttons) override {
        messages.push_back(text);
        if (buttons == ui::MessageButtons::Ok)
            return ui::MessageAnswer::Ok;
        EXPECT_TRUE(WaitUntil(readyToAnswer)) << "the call never got under way";
        return ui::MessageAnswer::No;
    }
    ui::TFormLogic& ensureTimingWindow() override { throw std::logic_error("no timing window after No"); }
    void showTimingWindowModal() override { throw std::logic_error("no timing window after No"); }
};

// How many times `word` occurs in the file.
int Occurrences(const std::string& path, const std::string& word) {
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++count;
    return count;
}

std::shared_ptr<localtapi::LocalTapi> ServiceOn(const std::string& port, std::ostream& errors,
                                                const std::string& tracePath = {}) {
    localtapi::LocalTapi::Options options;
    if (!tracePath.empty())
        options.trace = localtapi::Trace::Open(tracePath);
    options.configuration = localtapi::ParseConfiguration(
        "[line0]\ndriver=modem\nname=Test modem\nport=" + port + "\n", "/test/telephony.ini");
    options.errors = &errors;
    return std::make_shared<localtapi::LocalTapi>(std::move(options));
}

TEST(ModemEndToEnd, DialCommandDialsThenHangsUp) {
    ModemSimulator sim;
    ASSERT_FALSE(sim.Path().empty());
    const std::string trace =
        (std::filesystem::temp_directory_path() / ("orvodial-modem-trace-" + std::to_string(::getpid())))
            .string();
    std::filesystem::remove(trace);
    std::ostringstream errors;
    auto service = ServiceOn(sim.Path(), errors, trace);
    EXPECT_EQ(errors.str(), "");

    FakeDialView view;
    ui::DialFormLogic dialer(view, [&] { return CvbTAPILine::New(service); });
    dialer.Load();
    EXPECT_STREQ(dialer.tapiLine()->LineName().c_str(), "Test modem");
    EXPECT_TRUE(dialer.tapiLine()->LineSupportsVoiceCalls());

    // The user answers once the modem has dialled: the call is proceeding.
    view.readyToAnswer = [&] { return Occurrences(trace, "PROCEEDING") == 1; };
    view.number = "555-1212";
    dialer.DialClick();

    EXPECT_EQ(view.messages, (std::vector<std::string>{"Time call?"}));
    const std::string dialogue = "AT\rAT&FE0V1&D2&C1X4\rAT\rATDT5551212;\rATH\r";
    EXPECT_TRUE(WaitUntil([&] { return sim.Received().size() >= dialogue.size(); }));
    EXPECT_EQ(sim.Received(), dialogue);
    EXPECT_EQ(dialer.tapiLine()->state().hLine, 0u);

    // The port is free again: the next Dial opens the modem anew.
    EXPECT_TRUE(WaitUntil([&] { return service->census().lines == 0; }));
    view.number = "555-0000";
    view.readyToAnswer = [&] { return Occurrences(trace, "PROCEEDING") == 2; };
    dialer.DialClick();
    EXPECT_EQ(view.messages, (std::vector<std::string>{"Time call?", "Time call?"}));
    EXPECT_TRUE(WaitUntil([&] { return sim.Received().ends_with("ATDT5550000;\rATH\r"); })) << sim.Received();
    std::filesystem::remove(trace);
}

TEST(ModemEndToEnd, MissingModemIsATapiFailure) {
    std::ostringstream errors;
    auto service = ServiceOn("/dev/orvodial-no-such-modem", errors);
    FakeDialView view;
    ui::DialFormLogic dialer(view, [&] { return CvbTAPILine::New(service); });
    dialer.Load();
    view.number = "5551212";
    dialer.DialClick();
    EXPECT_EQ(view.messages, (std::vector<std::string>{"TAPI failure"}));
    EXPECT_EQ(dialer.tapiLine()->LastError(), LINEERR_NODEVICE);
    EXPECT_EQ(service->census().lines, 0u);
}

} // namespace
