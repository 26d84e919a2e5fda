#include "localtapi/DeviceLoader.h"

namespace localtapi {

std::string ProblemMessage(const std::string& path, int line, const std::string& text) {
    return (line > 0 ? path + ":" + std::to_string(line) + ": " : path + ": ") + text;
}

LoadedDevice LoadDevice(const DriverRegistry& drivers, const LineSettings& s) {
    LoadedDevice out;
    const std::string group = "[" + s.group + "]";
    const DriverInfo* info = drivers.Find(s.driver);
    if (info == nullptr) {
        std::string known;
        for (const std::string& n : drivers.Names())
            known += (known.empty() ? "" : ", ") + n;
        out.problems.push_back({s.groupLine,
                                "line device " + group + " has unknown driver '" + s.driver +
                                    "' (left out); known drivers: " + known,
                                "unknown driver '" + s.driver + "'", true});
        return out;
    }
    for (const LineSettings::Entry& e : s.entries)
        if (FindSetting(info->settings, e.key) == nullptr)
            out.problems.push_back({e.line,
                                    group + " unknown key '" + e.key + "' for driver '" + s.driver + "' (ignored)",
                                    "unknown key '" + e.key + "'", false});
    std::vector<ConfigProblem> found;
    out.driver = info->create(s, found);
    for (const ConfigProblem& p : found)
        out.problems.push_back({p.line, group + " " + p.text, p.text, !out.driver});
    if (!out.driver)
        out.problems.push_back(
            {s.groupLine, "line device " + group + " left out", "the driver cannot use these settings", true});
    return out;
}

} // namespace localtapi
