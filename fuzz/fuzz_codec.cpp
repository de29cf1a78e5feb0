// Checks the round trips the codec promises, for any input.
#include "codec/codec.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace vemla;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);

    // Bytes -> hex text -> bytes is exact.
    if (TextToBytes(BytesToText(input, 0), 0) != input) std::abort();
    // Bytes without '<' survive the text coding.
    if (input.find('<') == std::string_view::npos &&
        TextToBytes(BytesToText(input, 1), 1) != input)
        std::abort();
    // Any text, once normalised, is a fixed point of the round trip.
    for (TCoding from : {0, 1, 2}) {
        std::string normalised = BytesToText(TextToBytes(input, from), from);
        if (from == 0 && BytesToText(TextToBytes(normalised, from), from) != normalised) std::abort();
        for (TCoding to : {0, 1, 2}) {
            std::string recoded = Recode(input, from, to);
            if (from == to && recoded != input) std::abort();
            if (from != to && recoded != BytesToText(TextToBytes(input, from), to)) std::abort();
        }
    }
    return 0;
}
