#include "platform/messages.h"
#include "platform/system.h"

#include <algorithm>
#include <cstdlib>
#include <windows.h>

namespace vemla {

const int ErrorNoSuchFile = ERROR_FILE_NOT_FOUND;

namespace {

// 30 December 1899 counted in days from 1 January 1601, where FILETIME begins.
constexpr double DateTimeEpochInFileTimeDays = 109205.0;
constexpr double FileTimeUnitsPerDay = 864000000000.0;

std::string WithSlash(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

std::string NativePath(const std::string& path) {
    std::string native = NormalizePath(path);
    std::replace(native.begin(), native.end(), '/', '\\');
    return native;
}

} // namespace

TDateTime Now() {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    FILETIME asFileTime{};
    SystemTimeToFileTime(&local, &asFileTime);
    ULARGE_INTEGER units{};
    units.LowPart = asFileTime.dwLowDateTime;
    units.HighPart = asFileTime.dwHighDateTime;
    return static_cast<double>(units.QuadPart) / FileTimeUnitsPerDay - DateTimeEpochInFileTimeDays;
}

std::string UserLocaleName() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH];
    const int length = GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    std::string narrow;
    for (int i = 0; i + 1 < length; ++i)
        narrow += static_cast<char>(name[i] < 0x80 ? name[i] : '?');
    return narrow;
}

std::string SystemMessage(int errorCode) {
    if (errorCode == ErrorNotRegularFile) return "Not a regular file";
    if (errorCode == ErrorNotOffered) return "Not offered by this port";
    if (errorCode == ErrorHostNotFound) return "Host not found";
    wchar_t text[256];
    auto format = [&](WORD language) {
        return FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                              static_cast<DWORD>(errorCode), language, text, 256, nullptr);
    };
    // In English the system's English text where the system has one.
    DWORD length = CurrentLanguage() == TLanguage::English
                       ? format(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))
                       : 0;
    if (length == 0) length = format(MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT));
    std::string message;
    if (length > 0) {
        int size =
            WideCharToMultiByte(1251, 0, text, static_cast<int>(length), nullptr, 0, "?", nullptr);
        message.resize(static_cast<size_t>(std::max(size, 0)));
        WideCharToMultiByte(1251, 0, text, static_cast<int>(length), message.data(), size, "?",
                            nullptr);
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

std::string ProgramDirectory() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return WorkingDirectory();
    std::string full = NormalizePath(std::string(path, length));
    return full.substr(0, full.rfind('/') + 1);
}

std::string WorkingDirectory() {
    char path[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, path);
    if (length == 0 || length >= MAX_PATH) return "./";
    return WithSlash(std::string(path, length));
}

std::string TemporaryDirectory() {
    char path[MAX_PATH + 1];
    DWORD length = GetTempPathA(MAX_PATH + 1, path);
    return length == 0 || length > MAX_PATH ? "./" : WithSlash(std::string(path, length));
}

std::string UserConfigDirectory() {
    const char* appData = std::getenv("APPDATA");
    return WithSlash(appData && *appData ? appData : WorkingDirectory()) + "vemla/";
}

bool IsWritableDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(NativePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_READONLY);
}

int ReadWholeFile(const std::string& path, std::string& content, size_t limit) {
    content.clear();
    const std::string native = NativePath(path);
    DWORD attributes = GetFileAttributesA(native.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_DIRECTORY; // "The directory name is invalid"
    HANDLE file = CreateFileA(native.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    int error = 0;
    LARGE_INTEGER size{};
    // A port, a pipe or a console would be read for ever or block: only disk files.
    if (GetFileType(file) != FILE_TYPE_DISK)
        error = ErrorNotRegularFile;
    else if (!GetFileSizeEx(file, &size))
        error = static_cast<int>(GetLastError());
    else if (static_cast<unsigned long long>(size.QuadPart) > limit)
        error = ERROR_FILE_TOO_LARGE;
    char buffer[65536];
    while (error == 0) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            error = static_cast<int>(GetLastError());
        } else if (got == 0) {
            break;
        } else if (content.size() + got > limit) {
            error = ERROR_FILE_TOO_LARGE; // it grew while it was read
        } else {
            content.append(buffer, got);
        }
    }
    CloseHandle(file);
    return error;
}

bool IsCharacterDevice(const std::string& path) {
    std::string native = NativePath(path);
    return native.rfind("\\\\.\\", 0) == 0;
}

std::string PathText(const std::string& path) {
    std::string text;
    for (char ch : path) {
        // The ANSI code page's bytes through UTF-16 to CP1251: identical where it is CP1251.
        wchar_t wide = 0;
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &ch, 1, &wide, 1) != 1) wide = L'?';
        char narrow = '?';
        BOOL lost = FALSE;
        if (WideCharToMultiByte(1251, 0, &wide, 1, &narrow, 1, nullptr, &lost) != 1 || lost)
            narrow = '?';
        text += narrow;
    }
    return text;
}

bool IsMissingFileError(int error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsRegularFile(const std::string& path) {
    DWORD attributes = GetFileAttributesA(NativePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

int ReplaceFileContent(const std::string& filePath, const std::string& content) {
    const std::string path = NativePath(filePath);
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
            return ErrorNotRegularFile;
        if (attributes & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    }
    // One sibling per process, so two instances saving at once never share one.
    const std::string temporary = path + "." + std::to_string(GetCurrentProcessId()) + ".tmp~";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    int error = 0;
    for (size_t done = 0; error == 0 && done < content.size();) {
        DWORD written = 0;
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 30));
        if (!WriteFile(file, content.data() + done, chunk, &written, nullptr))
            error = static_cast<int>(GetLastError());
        done += written;
    }
    if (error == 0 && !FlushFileBuffers(file)) error = static_cast<int>(GetLastError());
    if (!CloseHandle(file) && error == 0) error = static_cast<int>(GetLastError());
    if (error == 0 && !MoveFileExA(temporary.c_str(), path.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = static_cast<int>(GetLastError());
    if (error != 0) DeleteFileA(temporary.c_str());
    return error;
}

void NameCurrentThread(const char* name) {
    // Windows 10 and later only: looked up, not linked.
    using TSetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDescription = kernel ? reinterpret_cast<TSetDescription>(reinterpret_cast<void*>(
                                       GetProcAddress(kernel, "SetThreadDescription")))
                                 : nullptr;
    if (!setDescription) return;
    std::wstring wide(name, name + std::char_traits<char>::length(name));
    setDescription(GetCurrentThread(), wide.c_str());
}

} // namespace vemla
