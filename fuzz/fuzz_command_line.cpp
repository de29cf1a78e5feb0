// Any arguments (separated by NUL bytes) parse to options or one error; after a leading "--"
// every argument is kept as it is.
#include "app/command_line.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace vemla;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            arguments.emplace_back();
        else
            arguments.back() += static_cast<char>(data[i]);
    }
    TCommandLine line = ParseCommandLine(arguments, nullptr);
    // Arguments that follow a leading "--" are files, whatever they look like.
    if (arguments.front() == "--" &&
        (!line.Error.empty() ||
         line.Arguments != std::vector<std::string>(arguments.begin() + 1, arguments.end())))
        std::abort();
    return 0;
}
