#include "Trace.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

namespace localtapi {

namespace {

struct ErrorName {
    LONG code;
    const char* name;
};
const ErrorName kErrorNames[] = {
    {LINEERR_ALLOCATED, "LINEERR_ALLOCATED"},
    {LINEERR_BADDEVICEID, "LINEERR_BADDEVICEID"},
    {LINEERR_BEARERMODEUNAVAIL, "LINEERR_BEARERMODEUNAVAIL"},
    {LINEERR_CALLUNAVAIL, "LINEERR_CALLUNAVAIL"},
    {LINEERR_COMPLETIONOVERRUN, "LINEERR_COMPLETIONOVERRUN"},
    {LINEERR_CONFERENCEFULL, "LINEERR_CONFERENCEFULL"},
    {LINEERR_DIALBILLING, "LINEERR_DIALBILLING"},
    {LINEERR_DIALDIALTONE, "LINEERR_DIALDIALTONE"},
    {LINEERR_DIALPROMPT, "LINEERR_DIALPROMPT"},
    {LINEERR_DIALQUIET, "LINEERR_DIALQUIET"},
    {LINEERR_INCOMPATIBLEAPIVERSION, "LINEERR_INCOMPATIBLEAPIVERSION"},
    {LINEERR_INCOMPATIBLEEXTVERSION, "LINEERR_INCOMPATIBLEEXTVERSION"},
    {LINEERR_INIFILECORRUPT, "LINEERR_INIFILECORRUPT"},
    {LINEERR_INUSE, "LINEERR_INUSE"},
    {LINEERR_INVALADDRESS, "LINEERR_INVALADDRESS"},
    {LINEERR_INVALADDRESSID, "LINEERR_INVALADDRESSID"},
    {LINEERR_INVALADDRESSMODE, "LINEERR_INVALADDRESSMODE"},
    {LINEERR_INVALADDRESSSTATE, "LINEERR_INVALADDRESSSTATE"},
    {LINEERR_INVALAPPHANDLE, "LINEERR_INVALAPPHANDLE"},
    {LINEERR_INVALAPPNAME, "LINEERR_INVALAPPNAME"},
    {LINEERR_INVALBEARERMODE, "LINEERR_INVALBEARERMODE"},
    {LINEERR_INVALCALLCOMPLMODE, "LINEERR_INVALCALLCOMPLMODE"},
    {LINEERR_INVALCALLHANDLE, "LINEERR_INVALCALLHANDLE"},
    {LINEERR_INVALCALLPARAMS, "LINEERR_INVALCALLPARAMS"},
    {LINEERR_INVALCALLPRIVILEGE, "LINEERR_INVALCALLPRIVILEGE"},
    {LINEERR_INVALCALLSELECT, "LINEERR_INVALCALLSELECT"},
    {LINEERR_INVALCALLSTATE, "LINEERR_INVALCALLSTATE"},
    {LINEERR_INVALCALLSTATELIST, "LINEERR_INVALCALLSTATELIST"},
    {LINEERR_INVALCARD, "LINEERR_INVALCARD"},
    {LINEERR_INVALCOMPLETIONID, "LINEERR_INVALCOMPLETIONID"},
    {LINEERR_INVALCONFCALLHANDLE, "LINEERR_INVALCONFCALLHANDLE"},
    {LINEERR_INVALCONSULTCALLHANDLE, "LINEERR_INVALCONSULTCALLHANDLE"},
    {LINEERR_INVALCOUNTRYCODE, "LINEERR_INVALCOUNTRYCODE"},
    {LINEERR_INVALDEVICECLASS, "LINEERR_INVALDEVICECLASS"},
    {LINEERR_INVALDEVICEHANDLE, "LINEERR_INVALDEVICEHANDLE"},
    {LINEERR_INVALDIALPARAMS, "LINEERR_INVALDIALPARAMS"},
    {LINEERR_INVALDIGITLIST, "LINEERR_INVALDIGITLIST"},
    {LINEERR_INVALDIGITMODE, "LINEERR_INVALDIGITMODE"},
    {LINEERR_INVALDIGITS, "LINEERR_INVALDIGITS"},
    {LINEERR_INVALEXTVERSION, "LINEERR_INVALEXTVERSION"},
    {LINEERR_INVALGROUPID, "LINEERR_INVALGROUPID"},
    {LINEERR_INVALLINEHANDLE, "LINEERR_INVALLINEHANDLE"},
    {LINEERR_INVALLINESTATE, "LINEERR_INVALLINESTATE"},
    {LINEERR_INVALLOCATION, "LINEERR_INVALLOCATION"},
    {LINEERR_INVALMEDIALIST, "LINEERR_INVALMEDIALIST"},
    {LINEERR_INVALMEDIAMODE, "LINEERR_INVALMEDIAMODE"},
    {LINEERR_INVALMESSAGEID, "LINEERR_INVALMESSAGEID"},
    {LINEERR_INVALPARAM, "LINEERR_INVALPARAM"},
    {LINEERR_INVALPARKID, "LINEERR_INVALPARKID"},
    {LINEERR_INVALPARKMODE, "LINEERR_INVALPARKMODE"},
    {LINEERR_INVALPOINTER, "LINEERR_INVALPOINTER"},
    {LINEERR_INVALPRIVSELECT, "LINEERR_INVALPRIVSELECT"},
    {LINEERR_INVALRATE, "LINEERR_INVALRATE"},
    {LINEERR_INVALREQUESTMODE, "LINEERR_INVALREQUESTMODE"},
    {LINEERR_INVALTERMINALID, "LINEERR_INVALTERMINALID"},
    {LINEERR_INVALTERMINALMODE, "LINEERR_INVALTERMINALMODE"},
    {LINEERR_INVALTIMEOUT, "LINEERR_INVALTIMEOUT"},
    {LINEERR_INVALTONE, "LINEERR_INVALTONE"},
    {LINEERR_INVALTONELIST, "LINEERR_INVALTONELIST"},
    {LINEERR_INVALTONEMODE, "LINEERR_INVALTONEMODE"},
    {LINEERR_INVALTRANSFERMODE, "LINEERR_INVALTRANSFERMODE"},
    {LINEERR_LINEMAPPERFAILED, "LINEERR_LINEMAPPERFAILED"},
    {LINEERR_NOCONFERENCE, "LINEERR_NOCONFERENCE"},
    {LINEERR_NODEVICE, "LINEERR_NODEVICE"},
    {LINEERR_NODRIVER, "LINEERR_NODRIVER"},
    {LINEERR_NOMEM, "LINEERR_NOMEM"},
    {LINEERR_NOREQUEST, "LINEERR_NOREQUEST"},
    {LINEERR_NOTOWNER, "LINEERR_NOTOWNER"},
    {LINEERR_NOTREGISTERED, "LINEERR_NOTREGISTERED"},
    {LINEERR_OPERATIONFAILED, "LINEERR_OPERATIONFAILED"},
    {LINEERR_OPERATIONUNAVAIL, "LINEERR_OPERATIONUNAVAIL"},
    {LINEERR_RATEUNAVAIL, "LINEERR_RATEUNAVAIL"},
    {LINEERR_RESOURCEUNAVAIL, "LINEERR_RESOURCEUNAVAIL"},
    {LINEERR_REQUESTOVERRUN, "LINEERR_REQUESTOVERRUN"},
    {LINEERR_STRUCTURETOOSMALL, "LINEERR_STRUCTURETOOSMALL"},
    {LINEERR_TARGETNOTFOUND, "LINEERR_TARGETNOTFOUND"},
    {LINEERR_TARGETSELF, "LINEERR_TARGETSELF"},
    {LINEERR_UNINITIALIZED, "LINEERR_UNINITIALIZED"},
    {LINEERR_USERUSERINFOTOOBIG, "LINEERR_USERUSERINFOTOOBIG"},
    {LINEERR_REINIT, "LINEERR_REINIT"},
    {LINEERR_ADDRESSBLOCKED, "LINEERR_ADDRESSBLOCKED"},
    {LINEERR_BILLINGREJECTED, "LINEERR_BILLINGREJECTED"},
    {LINEERR_INVALFEATURE, "LINEERR_INVALFEATURE"},
    {LINEERR_NOMULTIPLEINSTANCE, "LINEERR_NOMULTIPLEINSTANCE"},
    {LINEERR_INVALAGENTID, "LINEERR_INVALAGENTID"},
};

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

std::string_view LineErrorName(LONG code) {
    for (const ErrorName& e : kErrorNames)
        if (e.code == code)
            return e.name;
    return {};
}

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
    if (const std::string_view name = LineErrorName(result); !name.empty())
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
        if (const std::string_view name = LineErrorName(static_cast<LONG>(static_cast<DWORD>(p2)));
            !name.empty())
            text += " (" + std::string(name) + ")";
    } else if (message == LINE_CALLSTATE) {
        if (const char* name = CallStateName(static_cast<DWORD>(p1)))
            text += std::string(" (") + name + ")";
    }
    return text;
}

std::unique_ptr<Trace> Trace::FromEnvironment() {
    const char* target = std::getenv("ORVODIAL_TAPI_TRACE");
    if (target == nullptr || *target == '\0')
        return nullptr;
    return Open(target);
}

std::unique_ptr<Trace> Trace::Open(const std::string& target) {
    if (target == "-")
        return std::unique_ptr<Trace>(new Trace(stderr, false));
    std::FILE* f = std::fopen(target.c_str(), "a");
    if (f == nullptr) {
        std::fprintf(stderr, "%s: cannot open the telephony trace file: %s\n", target.c_str(),
                     std::strerror(errno));
        return nullptr;
    }
    return std::unique_ptr<Trace>(new Trace(f, true));
}

Trace::~Trace() {
    if (owned)
        std::fclose(file);
}

void Trace::Write(const std::string& line) {
    std::fputs(line.c_str(), file);
    std::fputc('\n', file);
    std::fflush(file);
}

} // namespace localtapi
