// TraceLine, TraceFile: the lines of the telephony trace and the file they go to.
//
// The trace (see TracingTapi.h) writes every operation and every delivered message as one
// line, flushed at once:
//
//   <operation> <arguments in call order> -> <result>
//   <message> <hDevice> <callback instance> <param1> <param2> <param3>
//   # <a remark of a line driver: [line0] -> ATH, [line0] <- OK ...>
//
// Numbers are decimal, API versions and pointers hexadecimal (0x...), strings in double
// quotes with C escapes, null pointers NULL. An output pointer appears as & followed by the
// value the call stored there (just & when it is written later). A LINEERR result or
// parameter is followed by its name in parentheses, a call state by its name.
// What it does not do: no timestamps, no rotation, no thread names.
#pragma once

#include "telephony/tapi/Types.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace telephony::trace {

// Builds one trace line.
class TraceLine {
  public:
    explicit TraceLine(std::string_view name) : text(name) {}
    TraceLine& Num(DWORD v);
    TraceLine& Version(DWORD v);
    TraceLine& Ptr(const void* p);
    TraceLine& Str(const char* s);
    TraceLine& Out(const DWORD* p, bool written); // output pointer
    TraceLine& Raw(std::string_view s);
    std::string Result(LONG result) const; // the finished line of an operation
    const std::string& Text() const { return text; }

  private:
    std::string text;
};

// Name of a message ("LINE_CALLSTATE"), or "LINE_<number>".
std::string MessageName(DWORD message);
// A message line: name, device, instance and parameters, with names where they help.
std::string MessageLine(DWORD hDevice, DWORD message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2,
                        DWORD_PTR p3);

class TraceFile {
  public:
    // Opened from ORVODIAL_TAPI_TRACE; null when it is unset or empty. A file that cannot
    // be opened is reported on standard error and gives null.
    static std::unique_ptr<TraceFile> FromEnvironment();
    // "-" is standard error, anything else a file appended to.
    static std::unique_ptr<TraceFile> Open(const std::string& target);
    ~TraceFile();

    void Write(const std::string& line);

  private:
    TraceFile(std::FILE* f, bool own) : file(f), owned(own) {}
    std::FILE* file;
    bool owned;
};

} // namespace telephony::trace
