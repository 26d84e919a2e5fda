#include "localtapi/drivers/ofono/OfonoSettings.h"
#include "localtapi/drivers/ofono/OfonoLine.h"

namespace localtapi::ofono {

namespace {

// Every setting of an oFono line, written once.
constexpr SettingSpec kOfonoSettings[] = {
    TextSetting("modem", "",
                "oFono modem path, e.g. /hfp/org/bluez/hci0/dev_00_11_22_33_44_55; empty: the first with "
                "voice calls"),
    YesNoSetting("hangup_on_drop", "no", "yes: the drop hangs the call up; no: the phone keeps it"),
};

} // namespace

DWORD DisconnectModeFor(std::string_view reason, bool answered) {
    if (reason == "local")
        return LINEDISCONNECTMODE_NORMAL;
    if (reason == "remote")
        // oFono does not say why a call the far end never answered ended: busy, most often.
        return answered ? LINEDISCONNECTMODE_NORMAL : LINEDISCONNECTMODE_BUSY;
    if (reason == "network")
        return LINEDISCONNECTMODE_UNAVAIL;
    return LINEDISCONNECTMODE_UNKNOWN;
}

std::optional<OfonoSettings> ReadOfonoSettings(const LineSettings& settings,
                                               std::vector<ConfigProblem>& problems) {
    const std::optional<SettingValues> v = ReadSettings(kOfonoSettings, settings, problems);
    if (!v)
        return std::nullopt;
    OfonoSettings s;
    s.modem = v->Text("modem");
    if (!s.modem.empty() && (s.modem[0] != '/' || s.modem.find_first_of(" \t") != std::string::npos)) {
        problems.push_back({v->Line("modem"), "key 'modem': '" + s.modem + "' is not a D-Bus object path"});
        return std::nullopt;
    }
    s.hangupOnDrop = v->YesNo("hangup_on_drop");
    DeviceCaps& caps = s.caps;
    caps.lineName = !settings.name.empty() ? settings.name
                    : s.modem.empty()      ? "Mobile phone"
                                           : "Mobile phone " + s.modem;
    caps.providerInfo = "oFono voice calls" + (s.modem.empty() ? std::string() : " on " + s.modem);
    caps.permanentLineID = StableLineId("ofono:" + s.modem);
    // Voice, interactive voice, one call at a time: DeviceCaps' defaults.
    return s;
}

DriverInfo OfonoDriverInfo() {
    DriverInfo info;
    info.name = "ofono";
    info.description = "Mobile phone over Bluetooth hands-free, or a cellular modem, through oFono";
    info.settings = kOfonoSettings;
    info.defaultName = "Mobile phone";
    info.create = ReadThenMake<OfonoLine>(&ReadOfonoSettings);
    info.dialsDigits = false;
    return info;
}

} // namespace localtapi::ofono
