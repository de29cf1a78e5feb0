#pragma once

#include <string>

namespace vemla::test {

// A configuration file's text for a port on the given device, with packets ended by 5 ms of
// silence; extra lines follow it.
inline std::string PortConfig(const std::string& device, const std::string& extra = "") {
    return "[Port]\r\nDevice=" + device + "\r\nReadIntervalTimeout=5\r\n" + extra;
}

} // namespace vemla::test
