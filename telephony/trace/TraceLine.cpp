#include "telephony/trace/TraceLine.h"

#include "telephony/tapi/LineErrors.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

namespace telephony::trace {

namespace {

std::string Hex(std::uintptr_t v, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%0*" PRIXPTR, width, v);
    return buf;
}

const char* CallStateName(DWORD state) {
    switch (state) {
    case LINECALLSTATE_IDLE:
        return "IDLE";
    case LINECALLSTATE_OFFERING:
        return "OFFERING";
    case LINECALLSTATE_ACCEPTED:
        return "ACCEPTED";
    case LINECALLSTATE_DIALTONE:
        return "DIALTONE";
    case LINECALLSTATE_DIALING:
        return "DIALING";
    case LINECALLSTATE_RINGBACK:
        return "RINGBACK";
    case LINECALLSTATE_BUSY:
        return "BUSY";
    case LINECALLSTATE_SPECIALINFO:
        return "SPECIALINFO";
    case LINECALLSTATE_CONNECTED:
        return "CONNECTED";
    case LINECALLSTATE_PROCEEDING:
        return "PROCEEDING";
    case LINECALLSTATE_ONHOLD:
        return "ONHOLD";
    case LINECALLSTATE_DISCONNECTED:
        return "DISCONNECTED";
    case LINECALLSTATE_UNKNOWN:
        return "UNKNOWN";
    default:
        return nullptr;
    }
}

} // namespace

std::string MessageName(DWORD message) {
    switch (message) {
    case LINE_ADDRESSSTATE:
        return "LINE_ADDRESSSTATE";
    case LINE_CALLINFO:
        return "LINE_CALLINFO";
    case LINE_CALLSTATE:
        return "LINE_CALLSTATE";
    case LINE_CLOSE:
        return "LINE_CLOSE";
    case LINE_DEVSPECIFIC:
        return "LINE_DEVSPECIFIC";
    case LINE_LINEDEVSTATE:
        return "LINE_LINEDEVSTATE";
    case LINE_REPLY:
        return "LINE_REPLY";
    case LINE_CREATE:
        return "LINE_CREATE";
    default:
        return "LINE_" + std::to_string(message);
    }
}

TraceLine& TraceLine::Num(DWORD v) {
    return Raw(std::to_string(v));
}
TraceLine& TraceLine::Version(DWORD v) {
    return Raw(Hex(v, 8));
}
TraceLine& TraceLine::Ptr(const void* p) {
    return Raw(p == nullptr ? std::string("NULL") : Hex(reinterpret_cast<std::uintptr_t>(p), 0));
}

TraceLine& TraceLine::Out(const DWORD* p, bool written) {
    if (p == nullptr)
        return Raw("NULL");
    return Raw(written ? "&" + std::to_string(*p) : std::string("&"));
}

TraceLine& TraceLine::Str(const char* s) {
    if (s == nullptr)
        return Raw("NULL");
    std::string q = "\"";
    for (const char* c = s; *c != '\0'; ++c) {
        const auto u = static_cast<unsigned char>(*c);
        if (*c == '"' || *c == '\\') {
            q += '\\';
            q += *c;
        } else if (u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            q += buf;
        } else {
            q += *c;
        }
    }
    q += '"';
    return Raw(q);
}

TraceLine& TraceLine::Raw(std::string_view s) {
    text += ' ';
    text += s;
    return *this;
}

std::string TraceLine::Result(LONG result) const {
    std::string line = text + " -> " + std::to_string(result);
    if (const std::string_view name = tapi::LineErrorName(result); !name.empty())
        line += " (" + std::string(name) + ")";
    return line;
}

std::string MessageLine(DWORD hDevice, DWORD message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2,
                        DWORD_PTR p3) {
    TraceLine line(MessageName(message));
    line.Num(hDevice).Ptr(reinterpret_cast<const void*>(instance));
    line.Num(static_cast<DWORD>(p1)).Num(static_cast<DWORD>(p2)).Num(static_cast<DWORD>(p3));
    std::string text = line.Text();
    if (message == LINE_REPLY && static_cast<DWORD>(p2) != 0) {
        if (const std::string_view name = tapi::LineErrorName(static_cast<LONG>(static_cast<DWORD>(p2)));
            !name.empty())
            text += " (" + std::string(name) + ")";
    } else if (message == LINE_CALLSTATE) {
        if (const char* name = CallStateName(static_cast<DWORD>(p1)))
            text += std::string(" (") + name + ")";
    }
    return text;
}

std::unique_ptr<TraceFile> TraceFile::FromEnvironment() {
    const char* target = std::getenv("ORVODIAL_TAPI_TRACE");
    if (target == nullptr || *target == '\0')
        return nullptr;
    return Open(target);
}

std::unique_ptr<TraceFile> TraceFile::Open(const std::string& target) {
    if (target == "-")
        return std::unique_ptr<TraceFile>(new TraceFile(stderr, false));
    std::FILE* f = std::fopen(target.c_str(), "a");
    if (f == nullptr) {
        std::fprintf(stderr, "%s: cannot open the telephony trace file: %s\n", target.c_str(),
                     std::strerror(errno));
        return nullptr;
    }
    return std::unique_ptr<TraceFile>(new TraceFile(f, true));
}

TraceFile::~TraceFile() {
    if (owned)
        std::fclose(file);
}

void TraceFile::Write(const std::string& line) {
    std::fputs(line.c_str(), file);
    std::fputc('\n', file);
    std::fflush(file);
}

} // namespace telephony::trace
