#pragma once

#include "launcher_count.h"

namespace olvex {

// Tells docks and task bars on the session bus (com.canonical.Unity.LauncherEntry) the
// count for the program's desktop entry. Does nothing without a session bus.
class LauncherEntryCount : public LauncherCount {
public:
    void SetCount(int count) override;
};

} // namespace olvex
