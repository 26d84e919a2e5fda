// One call's whole road: the dial window's Dial command, the line object, the local
// telephony service with driver=modem on the simulator's pty, and the bytes the modem hears.
#include "localtapi/Configuration.h"
#include "ui/DialFormLogic.h"
#include "localtapi/LocalTapi.h"
#include "tests/support/ModemSimulator.h"
#include "telephony/trace/TracingTapi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace {

// The dial window's logic. "Time call?" is answered once the modem has dialled, as a user
// would after picking up the handset; meanwhile events run as in a modal message box.
class FakeDialView : public ui::DialView {
  public:
    std::function<bool()> readyToAnswer;
    ui::MessageAnswer answer = ui::MessageAnswer::No;
    std::string number;
    std::vector<std::string> messages; // a failure's reason after a newline

    std::string numberText() const override { return number; }
    void setNumberText(const std::string& text) override { number = text; }
    void insertHistoryAtTop(const std::string&) override {}
    void setFocusToNumber() override {}
    ui::MessageAnswer showMessage(const std::string& text, ui::MessageButtons buttons) override {
        messages.push_back(text);
        if (buttons == ui::MessageButtons::Ok)
            return ui::MessageAnswer::Ok;
        EXPECT_TRUE(WaitUntil(readyToAnswer)) << "the call never got where the user answers";
        return answer;
    }
    void showFailure(const std::string& text, const std::string& reason) override {
        messages.push_back(text + "\n" + reason);
    }
    ui::TFormLogic& ensureTimingWindow() override { throw std::logic_error("no call to time"); }
    void showTimingWindowModal() override { throw std::logic_error("no call to time"); }
    void bringToFront() override {}
};

// How many times `word` occurs in the file.
int Occurrences(const std::string& path, const std::string& word) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    int count = 0;
    for (std::size_t at = text.str().find(word); at != std::string::npos; at = text.str().find(word, at + 1))
        ++count;
    return count;
}

TEST(ModemEndToEnd, DialCommandDialsThenHangsUp) {
    // The third dial never ends on its own: the user answers while the modem dials.
    ModemSimulator sim({.dials = {"OK", "OK", "", "OK"}});
    ASSERT_FALSE(sim.Path().empty());
    const std::string trace =
        std::filesystem::temp_directory_path() / ("orvodial-modem-trace-" + std::to_string(::getpid()));
    std::filesystem::remove(trace);
    std::ostringstream errors;
    localtapi::LocalTapi::Options options;
    options.configuration = localtapi::ParseConfiguration(
        "[line0]\ndriver=modem\nname=Test modem\nport=" + sim.Path() + "\n[location]\narea_code=206\n",
        "/test/telephony.ini");
    options.errors = &errors;
    auto service = std::make_shared<localtapi::LocalTapi>(std::move(options));
    auto traced = std::make_shared<telephony::trace::TracingTapi>(service, telephony::trace::TraceFile::Open(trace));
    service->SetNotes([&traced](const std::string& text) { traced->Note(text); });
    EXPECT_EQ(errors.str(), "");

    FakeDialView view;
    ui::DialFormLogic dialer(view, [&] { return CvbTAPILine::New(traced); });
    dialer.Load();
    EXPECT_STREQ(dialer.tapiLine()->LineName().c_str(), "Test modem");
    EXPECT_TRUE(dialer.tapiLine()->LineSupportsVoiceCalls());
    // Help names the line in use and what it is.
    dialer.HelpClick();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_NE(view.messages[0].find("\n\nLine in use: Test modem (Hayes voice modem on " + sim.Path() + ").\n"),
              std::string::npos)
        << view.messages[0];
    view.messages.clear();

    // The user answers once the modem has dialled: the call is proceeding.
    view.readyToAnswer = [&] { return Occurrences(trace, "PROCEEDING") == 1; };
    view.number = "555-1212";
    dialer.DialClick();
    EXPECT_EQ(view.messages, (std::vector<std::string>{"Time call?"}));
    const std::string dialogue = "AT\rAT&F\rATQ0V1E0\rAT&D2\rAT&C1\rATX4\rAT\rATDT5551212;\rATH\r";
    EXPECT_TRUE(WaitUntil([&] { return sim.Received() == dialogue; })) << sim.Received();
    EXPECT_EQ(dialer.tapiLine()->state().hLine, 0u);

    // The port is free again: the next Dial opens the modem anew. A number in
    // international form, from inside its area, is dialled as the local number.
    EXPECT_TRUE(WaitUntil([&] { return service->census().lines == 0; }));
    view.number = "+1-206-555-0000";
    view.readyToAnswer = [&] { return Occurrences(trace, "PROCEEDING") == 2; };
    dialer.DialClick();
    EXPECT_EQ(view.messages.size(), 2u);
    EXPECT_TRUE(WaitUntil([&] { return sim.Received().ends_with("ATDT5550000;\rATH\r"); })) << sim.Received();
    EXPECT_TRUE(WaitUntil([&] { return service->census().lines == 0 && !sim.OffHook(); }));

    // Answered while the modem is still dialling: the Dial command drops and closes at
    // once; the driver aborts the dial and hangs up before it lets go of the port.
    view.number = "555-1212";
    view.readyToAnswer = [&] { return sim.Received().ends_with("ATDT5551212;\r"); };
    dialer.DialClick();
    EXPECT_EQ(view.messages.size(), 3u);
    EXPECT_TRUE(WaitUntil([&] { return sim.Received().ends_with("ATDT5551212;\r\rATH\r"); })) << sim.Received();
    EXPECT_TRUE(WaitUntil([&] { return !sim.OffHook(); }));
    EXPECT_TRUE(service->WaitForDevices(std::chrono::seconds(5))) << "the hang-up finished";
    // The next dial works.
    view.number = "555-1212";
    view.readyToAnswer = [&] { return Occurrences(trace, "PROCEEDING") == 3; };
    dialer.DialClick();
    EXPECT_EQ(view.messages.size(), 4u);
    EXPECT_TRUE(WaitUntil([&] { return sim.Received().ends_with("ATDT5551212;\rATH\r"); })) << sim.Received();
    EXPECT_TRUE(service->WaitForDevices(std::chrono::seconds(5)));
    EXPECT_FALSE(sim.OffHook());
    // The driver's steps are in the trace: each command and each answer.
    EXPECT_EQ(Occurrences(trace, "# [line0] -> ATH\n"), 4);
    EXPECT_EQ(Occurrences(trace, "# [line0] -> (abort: CR)\n"), 1);
    EXPECT_GE(Occurrences(trace, "# [line0] <- OK\n"), 10);
    // The Dial command closes right after its drop: each time the port waits for the hang-up.
    EXPECT_EQ(Occurrences(trace, "# [line0] port released\n"), 4);
    service->SetNotes(nullptr);
    std::filesystem::remove(trace);
}

// A call that has failed when the user answers "Time call?" is not timed, on Yes or No:
// "TAPI failure" says why, as it does for a modem that cannot be opened.
TEST(ModemEndToEnd, AFailedCallSaysWhyAndIsNotTimed) {
    const std::string missing = "/dev/orvodial-no-such-port";
    const struct {
        const char* name;
        const char* dialResult; // the modem's answer to ATD
        bool portMissing;
        ui::MessageAnswer answer;
        std::vector<std::string> messages;
    } rows[] = {
        {"busy", "BUSY", false, ui::MessageAnswer::Yes, {"Time call?", "TAPI failure\nthe number is busy"}},
        {"no dial tone",
         "NO DIALTONE",
         false,
         ui::MessageAnswer::No,
         {"Time call?", "TAPI failure\nno dial tone (is the telephone line plugged in?)"}},
        {"no such port",
         "OK",
         true,
         ui::MessageAnswer::Yes,
         {"TAPI failure\nno such port " + missing + " (is the modem plugged in?)"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ModemSimulator sim({.dials = {row.dialResult, "OK"}});
        ASSERT_FALSE(sim.Path().empty());
        std::ostringstream errors;
        localtapi::LocalTapi::Options options;
        options.configuration = localtapi::ParseConfiguration(
            "[line0]\ndriver=modem\nname=Test modem\nport=" + (row.portMissing ? missing : sim.Path()) + "\n",
            "/test/telephony.ini");
        options.errors = &errors;
        auto service = std::make_shared<localtapi::LocalTapi>(std::move(options));
        FakeDialView view;
        ui::DialFormLogic dialer(view, [&] { return CvbTAPILine::New(service); });
        dialer.Load();
        view.answer = row.answer;
        // The user answers once the line object has let go of the failed call.
        view.readyToAnswer = [&] { return dialer.tapiLine()->state().hLine == 0; };
        view.number = "555-1212";
        dialer.DialClick();
        EXPECT_EQ(view.messages, row.messages);
        EXPECT_EQ(view.number, "555-1212") << "kept for another try";
        EXPECT_TRUE(service->WaitForDevices(std::chrono::seconds(5)));
    }
}

} // namespace
