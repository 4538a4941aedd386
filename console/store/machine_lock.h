#pragma once
// The machine-wide lock, "lock" in the machine's Config key. The add-in reads it in the registry
// view of its own bitness, and the group policy writes it in both views, so the console does
// the same: one lock, whichever Outlook the machine has or gets.
#include "console/store/registry_backend.h"

namespace kes {

struct MachineLock {
    bool mayChange = false; // both views' Config keys open with full access
    bool locked = false;    // the lock the add-in reads, in its view
};

// Start-up's probe, in each view: open Config with full access (creating it), and when "lock"
// cannot be read as a number, write it as 0. Full access in both views is the console's test
// for administrator rights; without it nothing is read.
MachineLock ProbeMachineLock(RegistryBackend& reg, RegView addinView);

// Writes "lock" as 1 or 0 in both views; throws StoreError when either refuses (the other one
// is written all the same).
void WriteMachineLock(RegistryBackend& reg, RegView addinView, bool locked);

} // namespace kes
