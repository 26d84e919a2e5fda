// libFuzzer target: random sequences of line-object operations, messages handed to the
// line object directly, service calls (also with stale and made-up handles) and driver
// reports (replies, call states, line events, a device that disappears), with the event
// loop run in between. After each input the line object is released and the service must
// hold nothing: no application, line, call, request, queued message or icon.
#include "CvbTAPILine.h"
#include "LocalTapi.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace localtapi;

namespace {

// Reads the fuzz input as a stream of small decisions.
class Input {
  public:
    Input(const std::uint8_t* d, std::size_t n) : data(d), size(n) {}
    bool More() const { return pos < size; }
    std::uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    DWORD Word() {
        DWORD v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | Byte();
        return v;
    }
    std::string Text() {
        const std::size_t n = Byte() % 12;
        std::string s;
        for (std::size_t i = 0; i < n && More(); ++i)
            s += static_cast<char>(Byte());
        return s;
    }

  private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
};

// A device the fuzzer drives by hand through its sink.
struct FuzzDevice : LineDriver {
    LineDriverSink* sink = nullptr;
    std::vector<RequestId> requests;
    std::vector<CallId> calls;
    DeviceCaps Caps() const override {
        DeviceCaps c;
        c.lineName = "Fuzz";
        return c;
    }
    LONG Open(LineDriverSink& s) override {
        sink = &s;
        return 0;
    }
    void Close() override {
        sink = nullptr;
        requests.clear();
        calls.clear();
    }
    LONG MakeCall(RequestId r, CallId c, const char*) override {
        requests.push_back(r);
        calls.push_back(c);
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
                                         "busy=1\n"
                                         "[line2]\ndriver=simulated\nrefuse=-2147483643\n",
                                         "fuzz.ini");
    o.errors = &quiet;
    o.drivers = [](DriverRegistry& r) {
        RegisterBuiltinDrivers(r);
        r.Register({"fuzz", "fuzz", {}, [](const LineSettings&, std::vector<ConfigProblem>&) {
                        auto d = std::make_unique<FuzzDevice>();
                        g_device = d.get();
                        return d;
                    }});
    };
    return std::make_shared<LocalTapi>(std::move(o));
}

void Leak(const char* what) {
    std::fprintf(stderr, "service still holds %s after the line object is gone\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    auto service = MakeService();
    auto line = CvbTAPILine::New(service);
    std::vector<DWORD> handles; // every handle seen, for stale use
    auto note = [&] {
        const CvbTAPILine::State s = line->state();
        for (DWORD h : {s.hLineApp, s.hLine, s.hCall})
            if (h != 0)
                handles.push_back(h);
    };
    auto anyHandle = [&]() -> DWORD {
        if (handles.empty() || in.Byte() % 8 == 0)
            return in.Word();
        return handles[in.Byte() % handles.size()];
    };

    // A call request's handle is stored when its reply is delivered, so the variable must
    // outlive every delivery of this input.
    HCALL strayCall = 0;
    int steps = 0;
    while (in.More() && ++steps < 200) {
        switch (in.Byte() % 21) {
        case 0:
            line->Create();
            break;
        case 1:
            try {
                line->setCurrentLineID(static_cast<LONG>(in.Byte() % 4));
            } catch (const RuntimeError&) {
            }
            break;
        case 2:
            try {
                line->OpenLine(in.Byte() % 2 ? 1 : in.Word(), in.Byte() % 2 ? 4 : in.Word());
            } catch (const RuntimeError&) {
            }
            break;
        case 3:
            line->MakeCallAsynch(in.Text());
            break;
        case 4:
            line->DropCallAsynch();
            break;
        case 5:
            line->CloseLine();
            break;
        case 6:
            line->PaintDevIcon(nullptr);
            break;
        case 7:
            line->ConfigDialog();
            break;
        case 8:
            line->DialingPropertiesDialog(nullptr, in.Text());
            break;
        case 9:
        case 10:
            for (int i = in.Byte() % 6; i >= 0; --i)
                QCoreApplication::processEvents();
            break;
        case 11: // a reply, for a real or a made-up request
            if (g_device && g_device->sink) {
                const RequestId r = !g_device->requests.empty() && in.Byte() % 4 != 0
                                        ? g_device->requests[in.Byte() % g_device->requests.size()]
                                        : in.Word();
                g_device->sink->RequestCompleted(r, in.Byte() % 3 == 0 ? static_cast<LONG>(in.Word()) : 0);
            }
            break;
        case 12: // a call state, for a real or a made-up call
            if (g_device && g_device->sink) {
                const CallId c = !g_device->calls.empty() && in.Byte() % 4 != 0
                                     ? g_device->calls[in.Byte() % g_device->calls.size()]
                                     : in.Word();
                g_device->sink->CallState(c, kStates[in.Byte() % std::size(kStates)], in.Word());
            }
            break;
        case 13:
            if (g_device && g_device->sink)
                g_device->sink->LineDevState(in.Word(), in.Word(), in.Word());
            break;
        case 14:
            if (g_device && g_device->sink && in.Byte() % 4 == 0)
                g_device->sink->DeviceRemoved();
            break;
        case 15: { // direct calls with stale or made-up handles
            service->lineMakeCallA(anyHandle(), &strayCall, "1", 0, nullptr);
            service->lineDrop(anyHandle(), nullptr, 0);
            service->lineDeallocateCall(anyHandle());
            break;
        }
        case 16:
            service->lineClose(anyHandle());
            break;
        case 17:
            service->lineShutdown(anyHandle());
            break;
        case 18: { // a second application on the same service
            HLINEAPP app = 0;
            DWORD devs = 0, version = 0x00030000;
            LINEINITIALIZEEXPARAMS p{};
            p.dwTotalSize = sizeof p;
            p.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
            if (service->lineInitializeExA(&app, nullptr, &mTAPIvb::LineCallback, "second", &devs, &version,
                                           &p) == 0) {
                HLINE l = 0;
                service->lineOpen(app, in.Byte() % 3, &l, 0x00030000, 0, 0, 1, 4, nullptr);
                handles.push_back(app);
                if (in.Byte() % 2)
                    service->lineShutdown(app);
            }
            break;
        }
        case 19: // the line object goes away and a new one takes its place
            line = CvbTAPILine::New(service);
            break;
        case 20: { // a message straight to the line object, as if the service had sent it
            const CvbTAPILine::State st = line->state();
            const DWORD message = in.Byte() % 2 ? LINE_REPLY : LINE_CALLSTATE;
            DWORD p1 = message == LINE_REPLY ? (in.Byte() % 2 ? st.makeCallRequestID : st.dropCallRequestID)
                                             : kStates[in.Byte() % std::size(kStates)];
            if (in.Byte() % 8 == 0)
                p1 = in.Word();
            mTAPIvb::LineCallback(st.hCall, message, reinterpret_cast<DWORD_PTR>(line.get()), p1,
                                  in.Byte() % 2 ? 0 : in.Word(), 0);
            break;
        }
        }
        note();
    }

    line.reset();
    // Second applications the input left registered are shut down by handle.
    for (DWORD h : handles)
        service->lineShutdown(h);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    const LocalTapi::Census c = service->census();
    if (c.apps != 0)
        Leak("an application");
    if (c.lines != 0)
        Leak("a line");
    if (c.calls != 0)
        Leak("a call");
    if (c.requests != 0)
        Leak("a request");
    if (c.queuedMessages != 0)
        Leak("queued messages");
    if (c.icons != 0)
        Leak("an icon");
    service.reset();
    g_device = nullptr;
    return 0;
}
