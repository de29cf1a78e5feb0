#include "codec/checksum.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(Checksum, CheckValuesAndWrittenForms) {
    // The catalogue's check values over the ASCII string "123456789", and how each is written.
    struct {
        const char* Kind;
        uint32_t Check;
        std::string Written;
    } cases[] = {
        {"SUM8", 0xDD, "\xDD"},
        {"XOR8", 0x31, "\x31"},
        {"LRC8", 0x23, "\x23"},
        {"CRC8", 0xF4, "\xF4"},
        {"CRC16M", 0x4B37, "\x37\x4B"}, // low byte first
        {"CRC16C", 0x29B1, "\x29\xB1"},
        {"CRC16X", 0x31C3, "\x31\xC3"},
        {"CRC16K", 0x2189, "\x89\x21"}, // low byte first
        {"CRC32", 0xCBF43926, "\xCB\xF4\x39\x26"},
        {"CRC(16,8005,FFFF,1,1,0)", 0x4B37, "\x4B\x37"}, // generic: big-endian
        {"CRC(32,4C11DB7,FFFFFFFF,0,0,FFFFFFFF)", 0xFC891918, "\xFC\x89\x19\x18"}, // BZIP2
        {"CRC(8,31,0,1,1,0)", 0xA1, "\xA1"},                                       // MAXIM
        {"CRC(24,864CFB,B704CE,0,0,0)", 0x21CF02, "\x21\xCF\x02"},                 // OPENPGP
    };
    for (const auto& c : cases) {
        std::optional<TChecksum> kind = TChecksum::FromText(c.Kind);
        ASSERT_TRUE(kind) << c.Kind;
        EXPECT_EQ(kind->Compute("123456789"), c.Check) << c.Kind;
        EXPECT_EQ(kind->WrittenFor("123456789"), c.Written) << c.Kind;
        EXPECT_EQ(kind->Size(), c.Written.size()) << c.Kind;
    }
    // Modbus RTU: a read of two holding registers from slave 1, as sent on the wire.
    EXPECT_EQ(TChecksum::FromText("CRC16M")->WrittenFor(std::string("\x01\x03\x00\x00\x00\x02", 6)),
              "\xC4\x0B");
    // Modbus ASCII ":010300000002" ends with the LRC "FA" of the bytes its digits spell.
    std::optional<TChecksum> lrca = TChecksum::FromText("LRCA");
    EXPECT_EQ(lrca->WrittenFor(":010300000002"), "FA");
    EXPECT_EQ(lrca->Size(), 2u);
}

TEST(Checksum, TextsThatNameNoKind) {
    for (const char* text : {"", "crc16m", "CRC16", "CRC(16,8005,FFFF,1,1)", "CRC(12,1,0,0,0,0)",
                             "CRC(16,18005,0,0,0,0)", "CRC(16,8005,FFFF,2,1,0)",
                             "CRC(16,8005,,1,1,0)", "CRC(16,80G5,0,0,0,0)", "SUM8 "})
        EXPECT_FALSE(TChecksum::FromText(text)) << text;
}

} // namespace
} // namespace vemla
