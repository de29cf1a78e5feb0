// Any bytes as a log file are either a session or one error that names the file.
#include "app/session_log.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace vemla;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader takes a path: an in-memory file stands for one on disk.
    static const int file = memfd_create("fuzz.log", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(file);
    if (file < 0 || ftruncate(file, 0) != 0) std::abort();
    if (size > 0 && pwrite(file, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    TResult<TSessionLog> log = ReadSessionLog(path);
    if (!log.Ok() && log.Error.rfind(path, 0) != 0) std::abort();
    if (log.Ok()) {
        for (const TSessionLine& line : log.Value.Lines)
            if (line.File != 0 || line.Line == 0 || line.Kind < TTrafficKind::Received)
                std::abort();
    }
    return 0;
}
