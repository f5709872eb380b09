#include "addin/class_manager.h"

#include "addin/addin_factory.h"

namespace flinter {

TComClassManager::TComClassManager() = default;
TComClassManager::~TComClassManager() = default;

TafwFactory& TComClassManager::add(std::unique_ptr<TafwFactory> factory) {
    factories_.push_back(std::move(factory));
    return *factories_.back();
}

TafwFactory* TComClassManager::find(REFCLSID clsid) const noexcept {
    for (const auto& factory : factories_)
        if (IsEqualCLSID(factory->ClassID(), clsid)) return factory.get();
    return nullptr;
}

}  // namespace flinter
