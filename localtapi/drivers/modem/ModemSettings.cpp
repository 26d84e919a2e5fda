#include "localtapi/drivers/modem/ModemSettings.h"
#include "localtapi/drivers/DriverText.h"

#include "localtapi/drivers/modem/ModemLine.h"
#include "localtapi/drivers/modem/SerialPort.h"

#include <filesystem>

namespace localtapi::modem {

namespace {

// Every setting of a modem line, written once.
constexpr SettingSpec kModemSettings[] = {
    RequiredTextSetting("port", "Serial device of the modem, e.g. /dev/ttyACM0 or /dev/ttyS0"),
    NumberSetting("speed", "115200", 300, 460800, "Serial speed in bits per second"),
    TextSetting("init", kDefaultInit, "Command sent after the reset when the line is opened"),
    ChoiceSetting("dialmode", "tone", "tone|pulse", "Tone or pulse dialling"),
    TextSetting("prefix", "", "Dialled before every number, e.g. 9, for an outside line"),
    YesNoSetting("blind", "no", "yes: dial without waiting for dial tone"),
};

bool StartsWithAt(const std::string& text) {
    return text.size() >= 2 && (text[0] == 'A' || text[0] == 'a') && (text[1] == 'T' || text[1] == 't');
}

} // namespace

std::optional<ModemSettings> ReadModemSettings(const LineSettings& settings,
                                               std::vector<ConfigProblem>& problems) {
    const std::optional<SettingValues> v = ReadSettings(kModemSettings, settings, problems);
    if (!v)
        return std::nullopt;
    const std::size_t before = problems.size();
    auto problem = [&](std::string_view key, const std::string& text) {
        problems.push_back({v->Line(key), "key '" + std::string(key) + "': " + text});
    };

    ModemSettings s;
    s.port = v->Text("port");
    s.speed = v->Number("speed");
    if (!SerialPort::SupportedSpeed(s.speed))
        problem("speed", std::to_string(s.speed) + " is not a serial speed (e.g. 9600, 57600, 115200)");
    s.init = v->Text("init");
    if (!StartsWithAt(s.init) || s.init.find_first_of("\r\n") != std::string::npos)
        problem("init", "'" + s.init + "' is not one AT command");
    s.dialMode = v->Text("dialmode") == "pulse" ? DialMode::Pulse : DialMode::Tone;
    s.prefix = v->Text("prefix");
    if (!CleanDialString(s.prefix))
        problem("prefix", "'" + s.prefix + "' holds characters a modem cannot dial");
    s.blind = v->YesNo("blind");
    if (problems.size() != before)
        return std::nullopt;

    DeviceCaps& caps = s.caps;
    caps.lineName = settings.name.empty() ? "Modem on " + s.port : settings.name;
    caps.providerInfo = "Hayes voice modem on " + s.port;
    caps.permanentLineID = StableLineId(s.port);
    // Voice, interactive voice, one call at a time: DeviceCaps' defaults.
    return s;
}

DriverInfo ModemDriverInfo() {
    DriverInfo info;
    info.name = "modem";
    info.description = "Hayes-compatible voice modem on a serial port";
    info.settings = kModemSettings;
    info.create = ReadThenMake<ModemLine>(&ReadModemSettings);
    info.defaultName = "Modem";
    // A modem unplugged now may be plugged in before the first call: a warning only.
    info.warnings = [](const LineSettings& s) {
        const std::string port = s.Text("port");
        std::vector<std::string> found;
        if (!port.empty() && !std::filesystem::exists(port))
            found.push_back("There is no " + port + " now (is the modem plugged in?). The line opens once it is there.");
        return found;
    };
    return info;
}

} // namespace localtapi::modem
