// Loads canned.dat from arbitrary bytes, then checks that what was read
// survives its own file image unchanged.
#include "canned_answer_store.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size), std::ios::binary);
    olvex::CannedAnswerStore store;
    store.Load(in);

    const std::string image = store.ToBytes();
    std::istringstream again(image, std::ios::binary);
    olvex::CannedAnswerStore reloaded;
    reloaded.Load(again);
    if (!(reloaded == store) || reloaded.ToBytes() != image)
        std::abort();
    return 0;
}
