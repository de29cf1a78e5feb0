// Loads a generated file of 953 triggers with 200 commands each: time, MB/s, peak memory.
#include "bench/bench_support.h"
#include "bench/process_stats.h"
#include "codec/codec.h"
#include "trigger_language/trigger_file.h"

#include <cstdlib>
#include <set>

using namespace vemla;

namespace {

// One two-byte pattern for every slot of the table.
std::vector<std::string> PatternPerSlot() {
    std::vector<std::string> patterns(TriggerTable::SlotCount);
    std::set<int32_t> filled;
    for (int a = 0; a < 256 && filled.size() < patterns.size(); ++a)
        for (int b = 0; b < 256 && filled.size() < patterns.size(); ++b) {
            std::string bytes{static_cast<char>(a), static_cast<char>(b)};
            int32_t slot = PacketHash(bytes, 0);
            if (filled.insert(slot).second) patterns[static_cast<size_t>(slot)] = bytes;
        }
    return patterns;
}

std::string GenerateFile() {
    std::string file;
    int id = 1;
    for (const std::string& pattern : PatternPerSlot()) {
        // Quotes and brackets do not survive the ANSI form; such patterns are written in hex.
        bool hex = id % 2 == 0 || pattern.find_first_of("\"<>") != std::string::npos;
        TCoding coding = hex ? TCoding::Hex : TCoding::WinHex;
        file += "// trigger " + std::to_string(id) + "\nTRIGGER " + std::to_string(id) +
                " \"name " + std::to_string(id) + "\" " + (hex ? "HEX" : "ANSI") + " \"" +
                BytesToText(pattern, coding) + "\"\n{\n";
        for (int c = 0; c < 200; ++c) {
            switch (c % 8) {
            case 0:
                file += "    WAIT\n";
                break;
            case 1:
                file += hex ? "    OUTW \"01 03 02 00 2A\"\n" : "    OUTW \"PONG<0x0D>\"\n";
                break;
            case 2:
                file += hex ? "    OUT \"AA 55 01\"\n" : "    OUT \"ok<0x0A>\"\n";
                break;
            case 3:
                file += "    SLEEP 50\n";
                break;
            case 4:
                file += "    SWITCH " + std::to_string(id % 900 + 1) + " 3\n";
                break;
            case 5:
                file += "    PRINT \"a line of text\"\n";
                break;
            case 6:
                file += "    GOTO 1   // back to the top\n";
                break;
            default:
                file += "    STOP\n";
                break;
            }
        }
        file += "}\n\n";
        ++id;
    }
    return file;
}

} // namespace

int main() {
    std::string file = GenerateFile();
    long before = bench::PeakResidentKiB();
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        auto start = bench::TClock::now();
        TTableLoad loaded = LoadTriggers(file, 0);
        double ms = bench::Milliseconds(bench::TClock::now() - start);
        if (!loaded.Ok() || loaded.Value->Count() != TriggerTable::SlotCount) {
            std::fprintf(stderr, "load failed: %s\n", loaded.Error.c_str());
            return EXIT_FAILURE;
        }
        best = std::min(best, ms);
    }
    bench::Figure("trigger_file_load.file_size", static_cast<double>(file.size()) / 1e6, "MB");
    bench::Figure("trigger_file_load.time", best, "ms");
    bench::Figure("trigger_file_load.speed",
                  static_cast<double>(file.size()) / 1e6 / (best / 1000.0), "MB/s");
    bench::Figure("trigger_file_load.peak_memory_growth",
                  static_cast<double>(bench::PeakResidentKiB() - before) / 1024.0, "MiB");
    return 0;
}
