#include "platform/descriptor.h"

#include "platform/system.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace vemla {

int OpenForWriting(const std::string& path, bool exclusive, int& fd) {
    fd = _open(NormalizePath(path).c_str(),
               _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT | (exclusive ? _O_EXCL : _O_TRUNC),
               _S_IREAD | _S_IWRITE);
    return fd < 0 ? errno : 0;
}

int WriteAllAndClose(int fd, std::string_view bytes) {
    int error = 0;
    size_t done = 0;
    while (done < bytes.size() && error == 0) {
        unsigned piece = static_cast<unsigned>(std::min<size_t>(bytes.size() - done, INT_MAX));
        int n = _write(fd, bytes.data() + done, piece);
        if (n < 0) error = errno;
        if (n == 0) error = EIO;
        if (n > 0) done += static_cast<size_t>(n);
    }
    if (_close(fd) != 0 && error == 0) error = errno;
    return error;
}

TWritable WaitUntilWritable(int fd, const TEvent*, int) {
    return _get_osfhandle(fd) == -1 ? TWritable::Gone : TWritable::Ready;
}

size_t WritableChunk() {
    return 4096;
}

long WriteSome(int fd, std::string_view bytes) {
    unsigned piece = static_cast<unsigned>(std::min<size_t>(bytes.size(), INT_MAX));
    int n = _write(fd, bytes.data(), piece);
    return n < 0 ? -errno : n;
}

void KeepStandardDescriptorsOpen() {}

} // namespace vemla
