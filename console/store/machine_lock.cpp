#include "console/store/machine_lock.h"

#include "console/store/kestrova_layout.h"
#include "console/store/settings_store.h"

#include <array>
#include <optional>

namespace kes {
namespace {

// The add-in's view first: what it reads decides what the box shows.
std::array<RegView, 2> Views(RegView addinView) {
    return {addinView, addinView == RegView::Bits32 ? RegView::Bits64 : RegView::Bits32};
}

void OpenConfig(SettingsStore& store, RegView view) {
    store.SetRoot(RootKey::LocalMachine);
    store.SetAccess(kKeyAllAccess);
    store.SetView(view);
    store.Open(layout::kConfig, true);
}

// One view's lock as start-up reads it; nothing when the view may not be changed.
std::optional<bool> ProbeView(RegistryBackend& reg, RegView view) {
    SettingsStore store(reg);
    OpenConfig(store, view);
    try {
        return store.GetInt(layout::kLock) != 0;
    } catch (const StoreError&) {
        try {
            store.PutInt(layout::kLock, 0);
        } catch (const StoreError&) {
        }
    }
    try {
        return store.GetInt(layout::kLock) != 0;
    } catch (const StoreError&) {
        return std::nullopt;
    }
}

} // namespace

MachineLock ProbeMachineLock(RegistryBackend& reg, RegView addinView) {
    const auto views = Views(addinView);
    const std::optional<bool> addin = ProbeView(reg, views[0]);
    const std::optional<bool> other = ProbeView(reg, views[1]);
    MachineLock lock;
    lock.mayChange = addin.has_value() && other.has_value();
    lock.locked = lock.mayChange && *addin;
    return lock;
}

void WriteMachineLock(RegistryBackend& reg, RegView addinView, bool locked) {
    std::optional<StoreError> refused;
    for (RegView view : Views(addinView)) {
        SettingsStore store(reg);
        try {
            OpenConfig(store, view);
            store.PutFlag(layout::kLock, locked);
        } catch (const StoreError& e) {
            if (!refused)
                refused = e;
        }
    }
    if (refused)
        throw *refused;
}

} // namespace kes
