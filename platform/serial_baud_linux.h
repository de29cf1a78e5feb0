#pragma once

namespace vemla {

// Sets a rate that has no Bnnn constant; 0 or the errno.
int SetArbitraryBaudRate(int fd, int baudRate);

} // namespace vemla
