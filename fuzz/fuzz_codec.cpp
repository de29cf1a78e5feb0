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
    if (TextToBytes(BytesToText(input, TCoding::Hex), TCoding::Hex) != input) std::abort();
    // Bytes without '<' survive the text coding.
    if (input.find('<') == std::string_view::npos &&
        TextToBytes(BytesToText(input, TCoding::WinHex), TCoding::WinHex) != input)
        std::abort();
    // Any text, once normalised, is a fixed point of the round trip.
    for (TCoding from : {TCoding::Hex, TCoding::WinHex, TCoding::Win}) {
        std::string normalised = BytesToText(TextToBytes(input, from), from);
        if (from == TCoding::Hex && BytesToText(TextToBytes(normalised, from), from) != normalised)
            std::abort();
        for (TCoding to : {TCoding::Hex, TCoding::WinHex, TCoding::Win}) {
            std::string recoded = Recode(input, from, to);
            if (from == to && recoded != input) std::abort();
            if (from != to && recoded != BytesToText(TextToBytes(input, from), to)) std::abort();
        }
    }
    return 0;
}
