#pragma once

namespace olvex {

// The number docks and task bars show on the program's launcher; 0 hides it.
class LauncherCount {
public:
    virtual ~LauncherCount() = default;
    virtual void SetCount(int count) = 0;
};

} // namespace olvex
