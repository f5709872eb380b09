// The class manager: the class factories of the server, searched by CLSID
// when COM asks the library for a class object. Owns the factories, which
// live until the library unloads. Export thread only; never throws on lookup.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

namespace flinter {

class TafwFactory;

class TComClassManager {
public:
    TComClassManager();
    ~TComClassManager();
    TComClassManager(const TComClassManager&) = delete;
    TComClassManager& operator=(const TComClassManager&) = delete;

    TafwFactory& add(std::unique_ptr<TafwFactory> factory);
    TafwFactory* find(REFCLSID clsid) const noexcept;
    const std::vector<std::unique_ptr<TafwFactory>>& factories() const noexcept { return factories_; }

private:
    std::vector<std::unique_ptr<TafwFactory>> factories_;
};

}  // namespace flinter
