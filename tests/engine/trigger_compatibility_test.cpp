// Classic trigger files keep their meaning: a corpus of generated files (and the example)
// gives the same loads, error texts and answers to the same packets as when it was recorded.
// A change of the digest below is a change of behaviour that trigger files rely on.
#include "engine/trigger_runtime.h"
#include "trigger_language/trigger_file.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <vector>

namespace vemla {
namespace {

// What the runs did, appended to one text; SLEEP timers are kept and expired later.
class TRecordingEffects final : public TTriggerEffects {
  public:
    void Write(const TTrigger&, std::string_view bytes) override {
        Trace += "w:" + std::string(bytes) + ";";
    }
    void Print(std::string_view text) override { Trace += "p:" + std::string(text) + ";"; }
    void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) override {
        Trace += "s" + std::to_string(milliseconds) + ";";
        if (std::find(Sleeping.begin(), Sleeping.end(), &trigger) == Sleeping.end())
            Sleeping.push_back(&trigger);
    }
    void NotifyTriggerChanged(TTrigger&) override {}
    std::string Trace;
    std::vector<TTrigger*> Sleeping; // in the order they fell asleep
};

// The trace of a file: its load report, or what its triggers do with the packets.
std::string Replay(const std::string& file, int32_t hashSize,
                   const std::vector<std::string>& packets) {
    TTableLoad loaded = LoadTriggers(file, hashSize);
    if (!loaded.Ok()) return "error:" + loaded.Error;
    TRecordingEffects effects;
    TTriggerRuntime runtime(effects);
    runtime.SetTable(std::move(loaded.Value), hashSize);
    runtime.Start();
    for (const std::string& packet : packets) {
        effects.Trace += "|";
        runtime.MatchPacket(packet);
        for (TTrigger* trigger : std::exchange(effects.Sleeping, {}))
            runtime.SleepExpired(*trigger);
        for (int32_t slot = 0; slot < runtime.Triggers().Size(); ++slot)
            if (const TTrigger* t = runtime.Triggers().At(slot))
                effects.Trace += std::to_string(static_cast<int>(t->Status.load())) + "/" +
                                 std::to_string(t->CurrentCommand) + ",";
    }
    return effects.Trace;
}

uint64_t Fnv1a(std::string_view text, uint64_t hash) {
    for (char ch : text)
        hash = (hash ^ static_cast<uint8_t>(ch)) * 1099511628211ULL;
    return hash;
}

// A classic trigger file over a small alphabet, so that packets hit patterns and patterns
// share slots; now and then a token is dropped or repeated, so that loads fail too.
std::string GeneratedFile(std::mt19937& random) {
    auto pick = [&](uint32_t n) { return random() % n; };
    auto hexBytes = [&] {
        std::string text;
        for (uint32_t i = 0, n = 1 + pick(3); i < n; ++i)
            text += std::string(i ? " " : "") + "0" + std::to_string(pick(3));
        return text;
    };
    std::vector<std::string> tokens;
    for (uint32_t t = 0, triggers = 1 + pick(6); t < triggers; ++t) {
        bool ansi = pick(4) == 0;
        tokens.insert(
            tokens.end(),
            {"TRIGGER", std::to_string(1 + pick(8)), "\"t" + std::to_string(t) + "\"",
             ansi ? "ANSI" : "HEX",
             ansi ? "\"<0x0" + std::to_string(pick(3)) + ">a\"" : "\"" + hexBytes() + "\"", "{"});
        for (uint32_t c = 0, commands = 1 + pick(6); c < commands; ++c) {
            switch (pick(8)) {
            case 0:
                tokens.push_back("WAIT");
                break;
            case 1:
                tokens.insert(tokens.end(), {"OUT", "\"" + hexBytes() + "\""});
                break;
            case 2:
                tokens.insert(tokens.end(), {"OUTW", "\"" + hexBytes() + "\""});
                break;
            case 3:
                tokens.insert(tokens.end(), {"GOTO", std::to_string(pick(7))});
                break;
            case 4:
                tokens.insert(tokens.end(),
                              {"SWITCH", std::to_string(1 + pick(8)), std::to_string(pick(6))});
                break;
            case 5:
                tokens.push_back("STOP");
                break;
            case 6:
                tokens.insert(tokens.end(), {"PRINT", "\"note " + std::to_string(c) + "\""});
                break;
            default:
                tokens.insert(tokens.end(), {"SLEEP", std::to_string(pick(50))});
                break;
            }
        }
        tokens.push_back("}");
    }
    if (pick(8) == 0) {
        size_t at = pick(static_cast<uint32_t>(tokens.size()));
        if (pick(2))
            tokens.erase(tokens.begin() + static_cast<ptrdiff_t>(at));
        else
            tokens.insert(tokens.begin() + static_cast<ptrdiff_t>(at), tokens[at]);
    }
    std::string file;
    for (const std::string& token : tokens)
        file += token + (token == "{" || token == "}" || pick(3) == 0 ? "\n" : " ");
    return file;
}

std::string ReadExample(const std::string& name) {
    std::ifstream in(std::string(EXAMPLES_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(TriggerCompatibility, TheCorpusAnswersAsRecorded) {
    std::mt19937 random(20261209);
    uint64_t digest = 14695981039346656037ULL;
    int loaded = 0, failed = 0, answered = 0;
    for (int file = 0; file < 400; ++file) {
        std::string text = GeneratedFile(random);
        std::vector<std::string> packets;
        for (int p = 0; p < 30; ++p) {
            std::string packet;
            for (uint32_t i = 0, n = 1 + random() % 3; i < n; ++i)
                packet += static_cast<char>(random() % 3);
            packets.push_back(packet);
        }
        // A single hashed byte over this alphabet leaves three slots: mostly conflicts.
        constexpr int32_t HashSizes[] = {0, 0, 2, 1};
        const int32_t hashSize = HashSizes[random() % 4];
        std::string trace = Replay(text, hashSize, packets);
        (trace.rfind("error:", 0) == 0 ? failed : loaded) += 1;
        answered += trace.find("w:") != std::string::npos;
        digest = Fnv1a(trace, digest);
    }
    const std::vector<std::string> examplePackets = {
        "PING\r",
        std::string("\x01\x03\x00\x00", 4),
        "\xAA\x55",
        std::string("\x01\x03\x00\x00", 4),
        std::string("\x01\x03\x00\x07\x00\x01\xF5\xC9", 8),
        "x"};
    digest = Fnv1a(Replay(ReadExample("triggers.txt"), 0, examplePackets), digest);
    // The corpus exercises loads, failures and answers alike.
    EXPECT_GT(loaded, 150);
    EXPECT_GT(failed, 40);
    EXPECT_GT(answered, 80);
    // Recorded with the engine as it was before mask triggers and templates, and again after.
    EXPECT_EQ(digest, 18192654788486559527ULL)
        << loaded << " loaded, " << failed << " failed, " << answered << " answered";
}

} // namespace
} // namespace vemla
