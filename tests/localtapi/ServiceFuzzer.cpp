// libFuzzer target: line-object operations, messages, service calls with stale handles and driver
// reports in random order, the event loop run between; once the object is gone nothing may be left.
#include "telephony/CvbTAPILine.h"
#include "localtapi/LocalTapi.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace localtapi;

namespace {

// Reads the fuzz input as a stream of small decisions.
struct Input {
    const std::uint8_t* data;
    std::size_t size, pos = 0;
    bool More() const { return pos < size; }
    std::uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    DWORD Word() {
        DWORD v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | Byte();
        return v;
    }
    std::string Text() {
        std::string s;
        for (std::size_t n = Byte() % 12; n > 0 && More(); --n)
            s += static_cast<char>(Byte());
        return s;
    }
    template <class T> T Pick(const std::vector<T>& known) { // mostly a known one, else made up
        return !known.empty() && Byte() % 4 != 0 ? known[Byte() % known.size()] : static_cast<T>(Word());
    }
};

// A device the fuzzer drives by hand through its sink.
struct FuzzDevice : LineDriver {
    LineDriverSink* sink = nullptr;
    std::vector<RequestId> requests;
    std::vector<CallId> calls;
    DeviceCaps Caps() const override { return {}; }
    LONG Open(LineDriverSink& s) override {
        sink = &s;
        return 0;
    }
    void Close() override { sink = nullptr, requests.clear(), calls.clear(); }
    LONG MakeCall(RequestId r, CallId c, const char*) override {
        requests.push_back(r), calls.push_back(c);
        return 0;
    }
    LONG Drop(RequestId r, CallId) override {
        requests.push_back(r);
        return 0;
    }
    void ReleaseCall(CallId) override {}
};

FuzzDevice* g_device = nullptr;

const DWORD kStates[] = {LINECALLSTATE_IDLE,       LINECALLSTATE_DIALTONE,     LINECALLSTATE_DIALING,
                         LINECALLSTATE_PROCEEDING, LINECALLSTATE_RINGBACK,     LINECALLSTATE_BUSY,
                         LINECALLSTATE_CONNECTED,  LINECALLSTATE_DISCONNECTED, 0x12345};

std::shared_ptr<LocalTapi> MakeService() {
    static std::ostringstream quiet;
    LocalTapi::Options o;
    o.configuration = ParseConfiguration("[line0]\ndriver=fuzz\n"
                                         "[line1]\ndriver=simulated\nreply_ms=0\ndialtone_ms=0\ndigit_ms=0\n"
                                         "proceeding_ms=0\nanswer_ms=0\nbusy_ms=0\ndrop_ms=0\nhangup_ms=0\n"
                                         "busy=1\n[line2]\ndriver=simulated\nrefuse=-2147483643\n",
                                         "fuzz.ini");
    o.errors = &quiet;
    o.drivers = [](DriverRegistry& r) {
        RegisterBuiltinDrivers(r);
        DriverInfo fuzz;
        fuzz.name = fuzz.description = "fuzz";
        fuzz.create = [](const LineSettings&, std::vector<ConfigProblem>&) {
            auto d = std::make_unique<FuzzDevice>();
            g_device = d.get();
            return d;
        };
        r.Register(std::move(fuzz));
    };
    return std::make_shared<LocalTapi>(std::move(o));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, size};
    auto service = MakeService();
    auto line = CvbTAPILine::New(service);
    std::vector<DWORD> handles; // every handle seen, for stale use
    HCALL strayCall = 0;        // written when a reply is delivered, so it outlives them all
    auto sink = [] { return g_device ? g_device->sink : nullptr; };
    auto processEvents = [&] {
        for (int i = in.Byte() % 6; i >= 0; --i)
            QCoreApplication::processEvents();
    };
    auto secondApp = [&] { // a second application on the same service
        HLINEAPP app = 0;
        DWORD devs = 0, version = 0x00030000;
        LINEINITIALIZEEXPARAMS p{sizeof p, 0, 0, LINEINITIALIZEEXOPTION_USEHIDDENWINDOW, {}, 0};
        if (service->lineInitializeExA(&app, nullptr, &mTAPIvb::LineCallback, "second", &devs, &version,
                                       &p) != 0)
            return;
        HLINE l = 0;
        service->lineOpen(app, in.Byte() % 3, &l, 0x00030000, 0, 0, 1, 4, nullptr);
        handles.push_back(app);
        if (in.Byte() % 2)
            service->lineShutdown(app);
    };
    auto message = [&] { // straight to the line object, as if the service had sent it
        const CvbTAPILine::State st = line->state();
        const DWORD message = in.Byte() % 2 ? LINE_REPLY : LINE_CALLSTATE;
        DWORD p1 = message == LINE_REPLY ? (in.Byte() % 2 ? st.makeCallRequestID : st.dropCallRequestID)
                                         : kStates[in.Byte() % std::size(kStates)];
        if (in.Byte() % 8 == 0)
            p1 = in.Word();
        mTAPIvb::LineCallback(st.hCall, message, reinterpret_cast<DWORD_PTR>(line.get()), p1,
                              in.Byte() % 2 ? 0 : in.Word(), 0);
    };
    const std::function<void()> ops[] = {
        [&] { line->Create(); },
        [&] { line->setCurrentLineID(static_cast<LONG>(in.Byte() % 4)); },
        [&] { line->OpenLine(in.Byte() % 2 ? 1 : in.Word(), in.Byte() % 2 ? 4 : in.Word()); },
        [&] { line->MakeCallAsynch(in.Text()); },
        [&] { line->DropCallAsynch(); },
        [&] { line->CloseLine(); },
        processEvents,
        processEvents,
        [&] { // a reply or a call state, for a real or a made-up request or call
            if (sink() && in.Byte() % 2)
                sink()->RequestCompleted(in.Pick(g_device->requests), in.Byte() % 3 ? 0 : in.Word());
            else if (sink())
                sink()->CallState(in.Pick(g_device->calls), kStates[in.Byte() % std::size(kStates)],
                                  in.Word());
        },
        [&] {
            if (sink())
                sink()->LineDevState(in.Word(), in.Word(), in.Word());
        },
        [&] {
            if (sink() && in.Byte() % 4 == 0)
                sink()->DeviceRemoved();
        },
        [&] { // direct calls with stale or made-up handles
            service->lineMakeCallA(in.Pick(handles), &strayCall, "1", 0, nullptr);
            service->lineDrop(in.Pick(handles), nullptr, 0);
            service->lineDeallocateCall(in.Pick(handles));
        },
        [&] { service->lineClose(in.Pick(handles)); },
        [&] { service->lineShutdown(in.Pick(handles)); },
        secondApp,
        [&] { line = CvbTAPILine::New(service); }, // a new line object takes the old one's place
        message,
    };
    for (int steps = 0; in.More() && steps < 200; ++steps) {
        const std::size_t op = in.Byte() % std::size(ops);
        try {
            ops[op]();
        } catch (const RuntimeError&) { // raised only when choosing or opening a line
            if (op != 1 && op != 2)
                throw;
        }
        const CvbTAPILine::State s = line->state();
        for (DWORD h : {s.hLineApp, s.hLine, s.hCall})
            if (h != 0)
                handles.push_back(h);
    }

    line.reset();
    for (DWORD h : handles) // second applications the input left registered
        service->lineShutdown(h);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    const LocalTapi::Census c = service->census();
    if (c.apps + c.lines + c.calls + c.requests + c.queuedMessages + c.icons != 0) {
        std::fprintf(stderr, "left: apps=%zu lines=%zu calls=%zu requests=%zu queued=%zu icons=%zu\n", c.apps,
                     c.lines, c.calls, c.requests, c.queuedMessages, c.icons);
        std::abort();
    }
    service.reset();
    g_device = nullptr;
    return 0;
}
