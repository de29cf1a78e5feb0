#include "platform/serial_port.h"

#include "platform/cp1251.h"
#include "platform/messages.h"

namespace vemla {

std::string InvalidLineSetting(const TLineSettings& s) {
    auto outside = [](const char* name, int32_t value) {
        return std::string(name) + " = " + std::to_string(value);
    };
    if (s.BaudRate <= 0) return outside("BaudRate", s.BaudRate);
    if (s.ByteSize < 5 || s.ByteSize > 8) return outside("ByteSize", s.ByteSize);
    if (s.Parity < 0 || s.Parity > 4) return outside("Parity", s.Parity);
    if (s.StopBits < 0 || s.StopBits > 2) return outside("StopBits", s.StopBits);
    if (s.DtrControl < 0 || s.DtrControl > 2) return outside("DTR_CONTROL", s.DtrControl);
    if (s.RtsControl < 0 || s.RtsControl > 3) return outside("RTS_CONTROL", s.RtsControl);
    return {};
}

std::string PermissionAdvice(const TPermissionFacts& facts) {
    if (facts.Sandboxed) return MessageText(TMessage::PermissionSandboxed);
    if (facts.Group.empty() || facts.Group == "root") return {};
    if (facts.AlreadyMember)
        return MessageText(TMessage::PermissionLogInAgain, {Utf8ToCp1251(facts.Group)});
    return MessageText(TMessage::PermissionJoinGroup, {Utf8ToCp1251(facts.Group)});
}

} // namespace vemla
