#pragma once

#include "codec/codec.h"
#include "platform/ini_file.h"
#include "platform/result.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vemla {

enum class TLineEnding { None, Cr, Lf, CrLf };

// The bytes a typed line stands for in the coding, with the ending appended; a text the codec
// would not read back exactly is refused with the reason and its position (counted from 1).
// In Hex coding the line may be a template with checksums (app/send_template.h).
TResult<std::string> SendLineBytes(std::string_view text, TCoding coding, TLineEnding ending);
std::string_view LineEndingBytes(TLineEnding ending);

// The bytes of the last lines sent (without their ending), newest last, walked with Up and
// Down, so that a line recalls in whatever coding is in force; kept in desktop.ini in hex.
class TSendHistory {
  public:
    static constexpr size_t Limit = 100;

    void Add(const std::string& line);
    // One step back or forward from where the walk stands; Newer past the newest is "".
    std::string Older();
    std::string Newer();
    const std::vector<std::string>& Lines() const { return Entries; }

    void Load(const TIniFile& desktop);
    void Save(TIniFile& desktop) const;

  private:
    std::vector<std::string> Entries;
    size_t Position = 0; // Entries.size() when not walking
};

} // namespace vemla
