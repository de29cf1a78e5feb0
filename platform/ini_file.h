#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vemla {

// An ini file with the Win32 private-profile rules: section and key names compare without
// case, the first match wins, values are trimmed, anything missing gives the default.
// Writes change the one value in place, keep every other byte of the file and reach the disk
// through Save, which replaces the file atomically.
class TIniFile {
  public:
    // A missing or unreadable file reads as empty; only a missing one is no read error.
    explicit TIniFile(std::string path);

    const std::string& Path() const { return FilePath; }
    // Why the file could not be read (an errno: too large, no permission, not a regular
    // file...), or 0 when it was read or does not exist.
    int ReadError() const { return ReadFailure; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);

    // Writes a sibling of the file (of a symlink's target) and renames it over the original,
    // keeping its mode; a file without write permission is refused. A file that could not be
    // read is never written over: Save then returns its ReadError. Returns 0 or the errno.
    int Save();

  private:
    struct TLine {
        std::string Text; // without its line end
        std::string End;  // "\r\n", "\n" or "" for a last line without one
    };
    struct TKeyLine {
        size_t Index;
        std::string_view Value;
    };
    bool FindKey(std::string_view section, std::string_view key, TKeyLine& found) const;

    std::string FilePath;
    std::vector<TLine> Lines;
    std::string Prefix; // a byte-order mark the file began with
    std::string NewLine = "\r\n";
    int ReadFailure = 0;
};

} // namespace vemla
