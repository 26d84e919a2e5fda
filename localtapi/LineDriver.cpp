#include "localtapi/LineDriver.h"

namespace localtapi {

bool DriverRegistry::Register(DriverInfo info) {
    if (info.name.empty() || !info.create || drivers.count(info.name) != 0)
        return false;
    std::string name = info.name;
    drivers.emplace(std::move(name), std::move(info));
    return true;
}

const DriverInfo* DriverRegistry::Find(std::string_view name) const {
    const auto it = drivers.find(name);
    return it == drivers.end() ? nullptr : &it->second;
}

std::vector<std::string> DriverRegistry::Names() const {
    std::vector<std::string> names;
    for (const auto& [name, info] : drivers)
        names.push_back(name);
    return names;
}

} // namespace localtapi
