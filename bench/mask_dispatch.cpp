// 900 classic triggers in distinct hash slots and 200 mask triggers; packets that find their
// hash slot empty go through all the masks to the last one. Packets matched per second on one
// thread (the engine without a port: MatchPacket as the reader calls it).
#include "bench/bench_support.h"
#include "engine/terminal.h"
#include "tests/support/port_config.h"
#include "tests/support/temp_dir.h"

#include <set>

using namespace vemla;

namespace {

std::string Hex(uint32_t value, int digits) {
    static const char Digits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = digits - 1; i >= 0; --i)
        text += Digits[(value >> (4 * i)) & 0xF];
    return text;
}

// The packets per second of one table: masks of 199 others and then the one for the packets;
// `distinct` says at which byte the others differ from the packets (0: the slave, 1: the
// function, so that every mask is looked at past its first byte).
double Rate(int distinct, int& matched) {
    std::string triggers;
    std::set<int32_t> taken;
    // Classic patterns of four bytes "FF xx xx xx", each in a slot of its own.
    for (uint32_t n = 0; taken.size() < 900; ++n) {
        std::string bytes = {'\xFF', char(n >> 16), char(n >> 8), char(n)};
        if (!taken.insert(PacketHash(bytes, 0)).second) continue;
        triggers += "TRIGGER " + std::to_string(taken.size()) + " \"c\" HEX \"FF " +
                    Hex(n >> 16 & 0xFF, 2) + " " + Hex(n >> 8 & 0xFF, 2) + " " + Hex(n & 0xFF, 2) +
                    "\" { WAIT GOTO 1 }\n";
    }
    for (int other = 1; other <= 200; ++other) {
        uint32_t varying =
            other == 200 ? (distinct == 0 ? 0xF7 : 0x03) : static_cast<uint32_t>(other + 3);
        std::string mask = distinct == 0 ? Hex(varying, 2) + " 03" : "F7 " + Hex(varying, 2);
        triggers += "TRIGGER " + std::to_string(1000 + other) + " \"m\" MASK HEX \"" + mask +
                    " ?? ?? 00 ?? =CRC16M\" { WAIT GOTO 1 }\n";
    }
    test::TTempDir dir;
    std::string file = dir.Write("triggers.txt", triggers);
    bench::TNullHost host;
    TTerminal terminal(host, test::SettingsOf(dir.Write(
                                 "config.ini", "[Port]\r\nDevice=" + dir.Path("none") +
                                                   "\r\nReconnect=0\r\n[Terminal]\r\nTriggerFile=" +
                                                   file + "\r\n")));
    // Reads of every register of slave F7 whose packets find their hash slot empty.
    std::vector<std::string> packets;
    auto crc = TChecksum::FromText("CRC16M");
    for (uint32_t reg = 0; packets.size() < 1000 && reg < 65536; ++reg) {
        std::string request = {'\xF7', '\x03', char(reg >> 8), char(reg), '\x00', '\x01'};
        request += crc->WrittenFor(request);
        if (!terminal.Triggers().At(PacketHash(request, 0))) packets.push_back(request);
    }
    constexpr int Rounds = 1000;
    auto start = bench::TClock::now();
    for (int round = 0; round < Rounds; ++round)
        for (const std::string& packet : packets)
            terminal.MatchPacket(packet);
    double seconds = bench::Milliseconds(bench::TClock::now() - start) / 1000.0;
    const TTrigger* last = terminal.Triggers().MatchMasks(packets.front());
    matched = last ? last->Id : 0;
    return static_cast<double>(packets.size()) * Rounds / seconds;
}

} // namespace

int main() {
    int bySlave = 0, byFunction = 0;
    bench::Figure("mask_dispatch.others_differ_in_first_byte", Rate(0, bySlave), "packets/s");
    bench::Figure("mask_dispatch.others_differ_in_second_byte", Rate(1, byFunction), "packets/s");
    // Every packet must have reached the last mask, the one for it.
    return bySlave == 1200 && byFunction == 1200 ? 0 : 1;
}
