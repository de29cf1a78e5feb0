#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vemla {

// The parameters of a cyclic redundancy check, as catalogues of CRCs give them.
struct TCrcParameters {
    int Width = 16; // 8, 16, 24 or 32
    uint32_t Poly = 0, Init = 0;
    bool RefIn = false, RefOut = false;
    uint32_t XorOut = 0;
};

// A checksum kind by name (SUM8, XOR8, LRC8, LRCA, CRC8, CRC16M, CRC16C, CRC16X, CRC16K,
// CRC32) or as a generic CRC(width,poly,init,refin,refout,xorout), with how its value is
// written: multi-byte values big-endian unless the kind says otherwise (CRC16M and CRC16K low
// byte first); LRCA, the Modbus ASCII LRC, as two ASCII hex digits.
class TChecksum {
  public:
    // The kind the text names; nothing for a text that names none.
    static std::optional<TChecksum> FromText(std::string_view text);

    const std::string& Name() const { return KindName; }
    // The value over the bytes (LRCA: over the bytes that the hex digits among them spell).
    uint32_t Compute(std::string_view bytes) const;
    // How many bytes the written checksum takes.
    size_t Size() const;
    // The value as it is written after the bytes.
    std::string Written(uint32_t value) const { return WrittenAs(value, LowFirst); }
    std::string WrittenFor(std::string_view bytes) const { return Written(Compute(bytes)); }
    // Written in the byte order given instead of the kind's own (which LowByteFirst says).
    std::string WrittenAs(uint32_t value, bool lowByteFirst) const;
    bool LowByteFirst() const { return LowFirst; }

  private:
    enum class TAlgorithm : uint8_t { Sum8, Xor8, Lrc8, LrcAscii, Crc };
    TChecksum(std::string name, TAlgorithm algorithm, bool lowByteFirst = false,
              TCrcParameters crc = {});

    std::string KindName;
    TAlgorithm Algorithm;
    bool LowFirst;
    TCrcParameters Crc;
    // One step per byte: the register's next value for each byte value.
    std::shared_ptr<const std::array<uint32_t, 256>> CrcTable;
};

} // namespace vemla
