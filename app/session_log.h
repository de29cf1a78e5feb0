#pragma once

#include "engine/traffic_record.h"
#include "platform/result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vemla {

// One data line of a log: a packet received (--->), sent by the user (<---) or by a trigger
// (<-t-), or a request of the application on the far side of a bridge (<-a-).
struct TSessionLine {
    size_t File = 0; // index into TSessionLog::Files
    size_t Line = 0; // counted from 1
    TTrafficKind Kind = TTrafficKind::Received;
    int64_t Time = 0; // milliseconds from midnight of the first line's day
    std::string Bytes;
    TTrafficSource Source = TTrafficSource::Device;

    // What the device answered: a packet received from it.
    bool FromDevice() const {
        return Kind == TTrafficKind::Received && Source == TTrafficSource::Device;
    }
};

struct TSessionLog {
    std::vector<std::string> Files;
    std::vector<TSessionLine> Lines; // in the order they were logged
    // "FILE, line N"
    std::string Where(const TSessionLine& line) const;
};

// Reads a log file, or every *.log file of a directory in name order (a numbered suffix counts
// as a number: _2 before _10). Each file is read in its own coding: Hex when every data line
// is hex, else Win+Hex (text with <0xNN> escapes). Info and error lines are skipped. A line
// that is no line of a vemla log, or a file that ends inside a line, fails the read with the
// file and the line named (in English, for the command line).
TResult<TSessionLog> ReadSessionLog(const std::string& path);

// The bytes of a packet as hex: "01 0A FF".
std::string HexText(const std::string& bytes);

} // namespace vemla
