#pragma once

#include "platform/event.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace vemla {

// Files and standard streams as the C runtime's descriptors, for what vemla writes whole (logs,
// saved lists) and for the echo to standard output.

// Opens a file for writing with mode 0644 (not inherited by child processes). Exclusive: the
// file must not exist yet (EEXIST otherwise), so two programs never write into one file; else
// an existing file is emptied. 0 or the errno.
int OpenForWriting(const std::string& path, bool exclusive, int& fd);
// Writes every byte (the system may take them in parts), then closes; 0 or the first errno.
int WriteAllAndClose(int fd, std::string_view bytes);

// What waiting for a descriptor to take bytes came to.
enum class TWritable { Ready, Woken, TimedOut, Gone };
// Waits until fd takes bytes without blocking, the wake event is set (when given) or the
// timeout passes (negative: no limit). Gone: there is no such descriptor. Where the system
// cannot wait on a pipe (Windows), Ready at once: the write itself then waits.
TWritable WaitUntilWritable(int fd, const TEvent* wake, int timeoutMs);
// Bytes a pipe that waits as writable takes without blocking.
size_t WritableChunk();
// One write: the bytes taken, or the negative errno.
long WriteSome(int fd, std::string_view bytes);
// Started with a standard descriptor closed, the next file opened would take its number and
// receive the echo or messages: the null device holds each closed one's place instead.
void KeepStandardDescriptorsOpen();

} // namespace vemla
