// Reads every field of an arbitrary payload, both ways, and checks that
// rebuilding the fields gives back what was read.
#include "wire_message.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    olvex::WireMessage message;
    message.SetPayload(std::string(reinterpret_cast<const char*>(data), size));
    olvex::WireMessage rebuilt(message.Code() == 0 ? 1 : message.Code());
    for (int field = -1; field <= message.FieldCount() + 2; ++field) {
        auto text = message.GetText(field);
        int32_t number = message.GetInt(field);
        if (!text && number != -16)
            std::abort();
        if (field >= 1 && field <= message.FieldCount())
            rebuilt.AddText(message.FieldView(field));
    }
    if (size >= 4 && message.Code() >= 0) {
        for (int field = 1; field <= message.FieldCount(); ++field) {
            if (rebuilt.FieldView(field) != message.FieldView(field))
                std::abort();
        }
    }
    return 0;
}
