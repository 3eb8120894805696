#pragma once

#include <cstdint>

namespace olvex {

// Starting the program with the desktop session.
class SessionAutostart {
public:
    virtual ~SessionAutostart() = default;
    // 0, or -1 when it could not be switched.
    virtual int32_t Set(bool on) = 0;
    virtual bool IsOn() const = 0;
};

} // namespace olvex
