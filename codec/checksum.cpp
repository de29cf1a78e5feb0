#include "codec/checksum.h"

#include "codec/codec.h"

#include <charconv>
#include <vector>

namespace vemla {
namespace {

uint32_t WidthMask(int width) {
    return width >= 32 ? 0xFFFFFFFFu : (uint32_t{1} << width) - 1;
}

uint32_t Reflect(uint32_t value, int width) {
    uint32_t reflected = 0;
    for (int bit = 0; bit < width; ++bit)
        if (value & (uint32_t{1} << bit)) reflected |= uint32_t{1} << (width - 1 - bit);
    return reflected;
}

std::shared_ptr<const std::array<uint32_t, 256>> CrcTableFor(const TCrcParameters& p) {
    auto table = std::make_shared<std::array<uint32_t, 256>>();
    const uint32_t mask = WidthMask(p.Width);
    const uint32_t top = uint32_t{1} << (p.Width - 1);
    const uint32_t reflectedPoly = Reflect(p.Poly, p.Width);
    for (uint32_t byte = 0; byte < 256; ++byte) {
        uint32_t r = p.RefIn ? byte : byte << (p.Width - 8);
        for (int bit = 0; bit < 8; ++bit) {
            if (p.RefIn)
                r = (r & 1) ? (r >> 1) ^ reflectedPoly : r >> 1;
            else
                r = (r & top) ? (r << 1) ^ p.Poly : r << 1;
        }
        (*table)[byte] = r & mask;
    }
    return table;
}

// "CRC(16,8005,FFFF,1,1,0)": width in decimal, the other numbers in hex, flags 0 or 1.
std::optional<TCrcParameters> GenericCrc(std::string_view text) {
    if (!text.starts_with("CRC(") || !text.ends_with(")")) return std::nullopt;
    text = text.substr(4, text.size() - 5);
    std::vector<std::string_view> fields;
    for (size_t comma; (comma = text.find(',')) != std::string_view::npos;) {
        fields.push_back(text.substr(0, comma));
        text.remove_prefix(comma + 1);
    }
    fields.push_back(text);
    if (fields.size() != 6) return std::nullopt;
    auto number = [](std::string_view field, int base, uint32_t& value) {
        auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value, base);
        return error == std::errc() && end == field.data() + field.size() && !field.empty();
    };
    TCrcParameters p;
    uint32_t width = 0, refIn = 0, refOut = 0;
    if (!number(fields[0], 10, width) || !number(fields[1], 16, p.Poly) ||
        !number(fields[2], 16, p.Init) || !number(fields[3], 10, refIn) ||
        !number(fields[4], 10, refOut) || !number(fields[5], 16, p.XorOut))
        return std::nullopt;
    if ((width != 8 && width != 16 && width != 24 && width != 32) || refIn > 1 || refOut > 1)
        return std::nullopt;
    p.Width = static_cast<int>(width);
    const uint32_t mask = WidthMask(p.Width);
    if ((p.Poly & ~mask) || (p.Init & ~mask) || (p.XorOut & ~mask)) return std::nullopt;
    p.RefIn = refIn == 1;
    p.RefOut = refOut == 1;
    return p;
}

} // namespace

TChecksum::TChecksum(std::string name, TAlgorithm algorithm, bool lowByteFirst, TCrcParameters crc)
    : KindName(std::move(name)), Algorithm(algorithm), LowFirst(lowByteFirst), Crc(crc) {
    if (Algorithm == TAlgorithm::Crc) CrcTable = CrcTableFor(Crc);
}

std::optional<TChecksum> TChecksum::FromText(std::string_view text) {
    using A = TAlgorithm;
    struct TNamedCrc {
        const char* Name;
        TCrcParameters Parameters;
        bool LowByteFirst;
    };
    static const TNamedCrc Crcs[] = {
        {"CRC8", {8, 0x07, 0x00, false, false, 0x00}, false},
        {"CRC16M", {16, 0x8005, 0xFFFF, true, true, 0x0000}, true},
        {"CRC16C", {16, 0x1021, 0xFFFF, false, false, 0x0000}, false},
        {"CRC16X", {16, 0x1021, 0x0000, false, false, 0x0000}, false},
        {"CRC16K", {16, 0x1021, 0x0000, true, true, 0x0000}, true},
        {"CRC32", {32, 0x04C11DB7, 0xFFFFFFFF, true, true, 0xFFFFFFFF}, false},
    };
    for (const TNamedCrc& crc : Crcs)
        if (text == crc.Name) return TChecksum(crc.Name, A::Crc, crc.LowByteFirst, crc.Parameters);
    static const std::pair<const char*, A> Simple[] = {
        {"SUM8", A::Sum8}, {"XOR8", A::Xor8}, {"LRC8", A::Lrc8}, {"LRCA", A::LrcAscii}};
    for (auto [name, algorithm] : Simple)
        if (text == name) return TChecksum(name, algorithm);
    if (std::optional<TCrcParameters> generic = GenericCrc(text))
        return TChecksum(std::string(text), A::Crc, false, *generic);
    return std::nullopt;
}

uint32_t TChecksum::Compute(std::string_view bytes) const {
    uint32_t value = 0;
    switch (Algorithm) {
    case TAlgorithm::Sum8:
    case TAlgorithm::Lrc8:
        for (char ch : bytes)
            value += static_cast<uint8_t>(ch);
        return (Algorithm == TAlgorithm::Lrc8 ? 0u - value : value) & 0xFF;
    case TAlgorithm::Xor8:
        for (char ch : bytes)
            value ^= static_cast<uint8_t>(ch);
        return value;
    case TAlgorithm::LrcAscii: {
        int high = -1;
        for (char ch : bytes) {
            int digit = HexDigit(ch);
            if (digit < 0) continue;
            if (high < 0) {
                high = digit;
            } else {
                value += static_cast<uint32_t>(high * 16 + digit);
                high = -1;
            }
        }
        return (0u - value) & 0xFF;
    }
    case TAlgorithm::Crc:
        break;
    }
    const std::array<uint32_t, 256>& table = *CrcTable;
    const uint32_t mask = WidthMask(Crc.Width);
    uint32_t r = Crc.RefIn ? Reflect(Crc.Init, Crc.Width) : Crc.Init;
    for (char ch : bytes) {
        auto byte = static_cast<uint8_t>(ch);
        if (Crc.RefIn)
            r = (r >> 8) ^ table[(r ^ byte) & 0xFF];
        else
            r = ((r << 8) ^ table[((r >> (Crc.Width - 8)) ^ byte) & 0xFF]) & mask;
    }
    if (Crc.RefIn != Crc.RefOut) r = Reflect(r, Crc.Width);
    return (r ^ Crc.XorOut) & mask;
}

size_t TChecksum::Size() const {
    if (Algorithm == TAlgorithm::LrcAscii) return 2;
    if (Algorithm == TAlgorithm::Crc) return static_cast<size_t>(Crc.Width / 8);
    return 1;
}

std::string TChecksum::WrittenAs(uint32_t value, bool lowByteFirst) const {
    if (Algorithm == TAlgorithm::LrcAscii) {
        constexpr char Digits[] = "0123456789ABCDEF";
        return {Digits[(value >> 4) & 0xF], Digits[value & 0xF]};
    }
    const size_t size = Size();
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        size_t shift = 8 * (lowByteFirst ? i : size - 1 - i);
        bytes[i] = static_cast<char>((value >> shift) & 0xFF);
    }
    return bytes;
}

} // namespace vemla
