// Any bytes are either a loaded table or one error text with a line and a token.
#include "trigger_language/trigger_file.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the hash size, so conflicts are exercised too.
    int32_t hashSize = static_cast<int8_t>(data[0]) % 4;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    vemla::TTableLoad loaded = vemla::LoadTriggers(text, hashSize);
    if (!loaded.Value) std::abort();
    if (!loaded.Ok() && loaded.Value->Count() != 0) std::abort();
    return 0;
}
