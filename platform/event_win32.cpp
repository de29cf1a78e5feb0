#include "platform/event.h"

#include <windows.h>

namespace vemla {

TEvent::TEvent()
    : Native(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      Error(Native ? 0 : static_cast<int>(GetLastError())) {}

TEvent::~TEvent() {
    if (Native) CloseHandle(Native);
}

void TEvent::Set() {
    if (Native) SetEvent(Native);
}

void TEvent::Reset() {
    if (Native) ResetEvent(Native);
}

bool TEvent::WaitFor(std::chrono::milliseconds timeout, const TEvent& other) const {
    HANDLE handles[2] = {Native, other.Native};
    DWORD count = other.Native && other.Native != Native ? 2 : 1;
    if (Native) {
        DWORD wait = timeout.count() < 0 ? INFINITE : static_cast<DWORD>(timeout.count());
        WaitForMultipleObjects(count, handles, FALSE, wait);
    }
    return IsSet();
}

bool TEvent::IsSet() const {
    return Native && WaitForSingleObject(Native, 0) == WAIT_OBJECT_0;
}

} // namespace vemla
