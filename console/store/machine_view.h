#pragma once
// The machine's registry view that the add-in reads: the one of the installed Outlook, whose
// bitness the add-in shares.
#include "console/store/registry_backend.h"

namespace kes {

// Click-to-Run's Platform ("x86"/"x64" in Software\Microsoft\Office\ClickToRun\Configuration)
// first: Click-to-Run Office is always the newest one. Then Bitness below
// Software\Microsoft\Office\<version>\Outlook, newest version first and within one version the
// 64-bit view first; a version older than 14.0 has no Bitness and was 32-bit only. Without any
// Outlook, the machine's native view (Bits64, which a 32-bit Windows ignores). So with two
// Outlooks of different bitness, the newest one decides: it is the one Outlook.Application
// starts.
RegView OutlookMachineView(RegistryBackend& reg);

} // namespace kes
