// What a line driver reports, recorded as one comma-separated log that a test compares
// ("reply 1 0, DIALTONE, DIALING, PROCEEDING, DISCONNECTED BUSY, removed"), for the tests
// of every driver.
#pragma once

#include "localtapi/LineDriver.h"

#include <string>
#include <string_view>
#include <utility>

namespace drivertest {

using Names = std::initializer_list<std::pair<DWORD, std::string_view>>;

// The value's name in the table, or its number.
inline std::string Name(DWORD value, Names names) {
    for (const auto& [v, name] : names)
        if (v == value)
            return std::string(name);
    return std::to_string(value);
}

inline const Names kErrors = {{static_cast<DWORD>(LINEERR_OPERATIONFAILED), "OPERATIONFAILED"},
                              {static_cast<DWORD>(LINEERR_NODEVICE), "NODEVICE"},
                              {static_cast<DWORD>(LINEERR_INVALADDRESS), "INVALADDRESS"},
                              {static_cast<DWORD>(LINEERR_CALLUNAVAIL), "CALLUNAVAIL"},
                              {static_cast<DWORD>(LINEERR_OPERATIONUNAVAIL), "OPERATIONUNAVAIL"}};
inline const Names kCallStates = {{LINECALLSTATE_IDLE, "IDLE"},           {LINECALLSTATE_DIALTONE, "DIALTONE"},
                                  {LINECALLSTATE_DIALING, "DIALING"},     {LINECALLSTATE_PROCEEDING, "PROCEEDING"},
                                  {LINECALLSTATE_RINGBACK, "RINGBACK"},   {LINECALLSTATE_CONNECTED, "CONNECTED"},
                                  {LINECALLSTATE_BUSY, "BUSY"},           {LINECALLSTATE_DISCONNECTED, "DISCONNECTED"}};
inline const Names kDisconnectModes = {
    {LINEDISCONNECTMODE_NORMAL, "NORMAL"},         {LINEDISCONNECTMODE_UNKNOWN, "UNKNOWN"},
    {LINEDISCONNECTMODE_BUSY, "BUSY"},             {LINEDISCONNECTMODE_NOANSWER, "NOANSWER"},
    {LINEDISCONNECTMODE_BADADDRESS, "BADADDRESS"}, {LINEDISCONNECTMODE_UNAVAIL, "UNAVAIL"},
    {LINEDISCONNECTMODE_NODIALTONE, "NODIALTONE"}, {LINEDISCONNECTMODE_UNREACHABLE, "UNREACHABLE"},
    {LINEDISCONNECTMODE_REJECT, "REJECT"}};

struct Recorder : localtapi::LineDriverSink {
    std::string log;
    void Add(const std::string& event) { log += (log.empty() ? "" : ", ") + event; }
    void RequestCompleted(localtapi::RequestId request, LONG result) override {
        Add("reply " + std::to_string(request) + " " + (result ? Name(static_cast<DWORD>(result), kErrors) : "0"));
    }
    void CallState(localtapi::CallId, DWORD state, DWORD mode) override {
        Add(Name(state, kCallStates));
        if (state == LINECALLSTATE_DISCONNECTED)
            log += " " + Name(mode, kDisconnectModes);
    }
    void LineDevState(DWORD state, DWORD, DWORD count) override {
        if (state == LINEDEVSTATE_RINGING)
            Add("RING " + std::to_string(count));
    }
    void DeviceRemoved() override { Add("removed"); }
};

} // namespace drivertest
