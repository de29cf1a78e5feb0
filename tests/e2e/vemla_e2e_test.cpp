// Runs the real vemla and vemla-cli binaries (vemla offscreen) against a test-owned pty.
// Built without the window (the sanitizer presets), the tests of vemla run against vemla-cli.
#include "codec/checksum.h"
#include "codec/codec.h"
#include "platform/cp1251.h"
#include "tests/support/child_process.h"
#include "tests/support/port_config.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"
#include "tests/support/trigger_files.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <regex>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace vemla {
namespace {

using namespace std::chrono_literals;
using test::TPtyDevice;
using test::TTempDir;

#ifdef VEMLA_BINARY
// Both programs, for what both must do alike.
const char* const Programs[] = {VEMLA_BINARY, VEMLA_CLI_BINARY};
#else
#define VEMLA_BINARY VEMLA_CLI_BINARY
const char* const Programs[] = {VEMLA_CLI_BINARY};
#endif

// One vemla process with its standard output (UTF-8, --echo) in a pipe.
class TVemla {
  public:
    // extraEnvironment: NAME=value entries added for this process; errorsToo: standard error
    // goes to the same pipe as standard output; binary: vemla or vemla-cli.
    TVemla(const std::vector<std::string>& arguments, const std::string& workingDirectory,
           const std::vector<std::string>& extraEnvironment = {}, bool errorsToo = false,
           const char* binary = VEMLA_BINARY) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        test::TSpawnOptions options;
        options.WorkingDirectory = workingDirectory;
        options.StandardOutput = out[1];
        options.ErrorsToOutput = errorsToo;
        options.Environment = extraEnvironment;
        std::vector<std::string> all = {binary};
        all.insert(all.end(), arguments.begin(), arguments.end());
        Process = std::make_unique<test::TChildProcess>(all, options);
        close(out[1]);
        Out = out[0];
    }
    ~TVemla() {
        if (Out >= 0) close(Out);
    }
    // Waits until the output holds text; returns everything read so far.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout = 10s) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Output.find(text) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{Out, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[4096];
            ssize_t n = read(Out, buffer, sizeof buffer);
            if (n <= 0) return Output.find(text) != std::string::npos;
            Output.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    // SIGTERM, then the exit code (128 + a signal that ended it, -1 if it did not end in time).
    int Terminate(std::chrono::milliseconds timeout = 30s) { return Process->Terminate(timeout); }
    int WaitForExit(std::chrono::milliseconds timeout = 30s) {
        return Process->WaitForExit(timeout);
    }
    // Everything it writes until it closes its output.
    std::string ReadToEnd() {
        char buffer[4096];
        for (pollfd p{Out, POLLIN, 0}; poll(&p, 1, 30000) > 0;) {
            ssize_t n = read(Out, buffer, sizeof buffer);
            if (n <= 0) break;
            Output.append(buffer, static_cast<size_t>(n));
        }
        return Output;
    }
    // The reader of standard output goes away, as `| head` does.
    void CloseOutput() {
        close(Out);
        Out = -1;
    }
    std::string Output;

  private:
    std::unique_ptr<test::TChildProcess> Process;
    int Out = -1;
};

std::string LogContents(const TTempDir& dir) {
    std::string all;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path("Log")))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files)
        all += dir.Read("Log/" + file.filename().string());
    return all;
}

TEST(Vemla, ExampleTriggersAnswerTheDevice) {
    TTempDir dir;
    TPtyDevice device;
    dir.Write("config.ini",
              test::PortConfig(device.SlavePath(),
                               "[Terminal]\r\nTriggerFile=" EXAMPLES_DIR
                               "/triggers.txt\r\n[Log]\r\nAutoSave=1\r\nDir=Log\r\n"));
    TVemla vemla({dir.Path("config.ini"), "--echo"}, dir.Directory().string());
    ASSERT_TRUE(vemla.WaitForOutput(": открыт")) << vemla.Output;
    device.Write("PING\r");
    EXPECT_EQ(device.Read(5, 5s), "PONG\r");
    const std::string poll("\x01\x03\x00\x00", 4);
    device.Write(poll);
    EXPECT_EQ(device.Read(5, 5s), std::string("\x01\x03\x02\x00\x2A", 5));
    device.Write("\xAA\x55");
    ASSERT_TRUE(vemla.WaitForOutput("Опрос статуса теперь отвечает ошибкой")) << vemla.Output;
    device.Write(poll);
    EXPECT_EQ(device.Read(3, 5s), "\x01\x83\x02");
    EXPECT_EQ(vemla.Terminate(), 0);

    std::string log = LogContents(dir);
    for (const char* line :
         {"  ---> 50 49 4E 47 0D\r\n", "  <-t- 50 4F 4E 47 0D\r\n", "  <-t- 01 03 02 00 2A\r\n",
          "  ---> AA 55\r\n", "  <-t- 01 83 02\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_NE(log.find("       " + Utf8ToCp1251("Опрос статуса теперь отвечает ошибкой") + "\r\n"),
              std::string::npos);
    // Every line: 12-character time stamp, two blanks, the prefix, the text, CR LF.
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        std::string line = log.substr(start, end - start);
        EXPECT_EQ(line.substr(8, 1), ".") << line;
        EXPECT_EQ(line.substr(12, 2), "  ") << line;
        start = end + 2;
    }
}

TEST(Vemla, TheModbusExampleAnswersReadsAndWritesAndIgnoresBadFrames) {
    TTempDir dir;
    TPtyDevice device;
    dir.Write("config.ini",
              test::PortConfig(device.SlavePath(),
                               "[Terminal]\r\nTriggerFile=" EXAMPLES_DIR "/modbus-slave.txt\r\n"));
    TVemla vemla({dir.Path("config.ini"), "--echo"}, dir.Directory().string());
    ASSERT_TRUE(vemla.WaitForOutput(": открыт")) << vemla.Output;
    auto crc = TChecksum::FromText("CRC16M");
    auto frame = [&](std::string bytes) { return bytes + crc->WrittenFor(bytes); };
    const std::pair<std::string, std::string> exchanges[] = {
        {frame({1, 3, 0, 7, 0, 1}), frame({1, 3, 2, 0, 0x2A})},
        {frame({1, 3, 0x12, 0x34, 0, 2}), frame({1, 3, 4, 0, 0x2A, 0, 0x2A})},
        {frame({1, 6, 0, 9, 0x12, 0x34}), frame({1, 6, 0, 9, 0x12, 0x34})},
        {frame({1, 3, 0, 7, 0, 1}).substr(0, 7) + "\xFF", ""}, // a wrong CRC
        {frame({2, 3, 0, 7, 0, 1}), ""},                       // another slave
    };
    for (const auto& [request, answer] : exchanges) {
        device.Write(request);
        EXPECT_EQ(device.ReadPacket(answer.empty() ? 200ms : 5s, 30ms), answer) << request.size();
    }
    EXPECT_EQ(vemla.Terminate(), 0);
}

// A vemla that reports and exits: its exit code and what it wrote (standard error too).
std::pair<int, std::string> RunVemla(const std::vector<std::string>& arguments,
                                     const TTempDir& dir) {
    TVemla vemla(arguments, dir.Directory().string(), {}, true);
    std::string output = vemla.ReadToEnd();
    return {vemla.WaitForExit(), output};
}

TEST(Vemla, TheModbusMasterOfTheSimulatedDeviceFindsEveryAnswerRight) {
    TTempDir dir;
    std::string link = dir.Path("port"), output = dir.Path("device.out");
    int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    test::TSpawnOptions options;
    options.StandardOutput = fd;
    test::TChildProcess device(
        {VEMLA_DEVICE, link, "--modbus-master", "--quiet", "--duration", "2"}, options);
    close(fd);
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!std::filesystem::is_symlink(link) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    TVemla vemla({link, "--triggers", EXAMPLES_DIR "/modbus-slave.txt", "--hide", "--autosave",
                  "--log-dir", dir.Path("Log")},
                 dir.Directory().string());
    EXPECT_EQ(device.WaitForExit(20s), 0) << dir.Read("device.out");
    EXPECT_NE(dir.Read("device.out").find("0 answers wrong, 0 answers missing"), std::string::npos)
        << dir.Read("device.out");
    EXPECT_EQ(vemla.Terminate(), 0);

    // The session's log checks the trigger file that answered it.
    const std::vector<std::string> check = {"--check-session", dir.Path("Log"), "--triggers",
                                            EXAMPLES_DIR "/modbus-slave.txt"};
    auto [passed, report] = RunVemla(check, dir);
    EXPECT_EQ(passed, 0) << report;
    EXPECT_EQ(report.rfind("OK: ", 0), 0u) << report;
    // A device learned from it (vemla's answers are the requests here) passes on its own log.
    auto [learnedCode, learned] = RunVemla({"--learn", dir.Path("Log")}, dir);
    ASSERT_EQ(learnedCode, 0) << learned;
    dir.Write("device.txt", learned);
    EXPECT_EQ(RunVemla({"--check-triggers", dir.Path("device.txt")}, dir).first, 0);
    auto [mirrored, mirrorReport] = RunVemla(
        {"--check-session", dir.Path("Log"), "--mirror", "--triggers", dir.Path("device.txt")},
        dir);
    EXPECT_EQ(mirrored, 0) << mirrorReport << learned;

    // One answer byte changed in the log: exit 1, naming its line.
    std::filesystem::path first = *std::filesystem::directory_iterator(dir.Path("Log"));
    std::string log = dir.Read("Log/" + first.filename().string());
    size_t answer = log.find("  <-t- ");
    ASSERT_NE(answer, std::string::npos) << log;
    size_t lineEnd = log.find("\r\n", answer);
    log[lineEnd - 1] = log[lineEnd - 1] == '0' ? '1' : '0';
    dir.Write("Log/" + first.filename().string(), log);
    auto line = std::count(log.begin(), log.begin() + static_cast<ptrdiff_t>(answer), '\n') + 1;
    auto [failed, mismatch] = RunVemla(check, dir);
    EXPECT_EQ(failed, 1);
    EXPECT_NE(mismatch.find(first.filename().string() + ", line " + std::to_string(line) + ": "),
              std::string::npos)
        << mismatch;
}

TEST(Vemla, StartUpReportsComeInOrder) {
    struct {
        const char* Name;
        std::string Triggers; // empty: the file is missing
        const char* FirstReport;
    } cases[] = {
        {"missing", "", "Ошибка открытия файла :"},
        {"syntax", "TRIGGER 1 \"a\" HEX \"01\"\n{\n}\n", "Ошибка загрузки файла"},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        if (!c.Triggers.empty()) dir.Write("t.txt", c.Triggers);
        dir.Write("config.ini", "[Port]\r\nDevice=/nonexistent/tty\r\n[Terminal]\r\nTriggerFile=" +
                                    dir.Path("t.txt") + "\r\n[Log]\r\nAutoSave=1\r\nDir=Log\r\n");
        TVemla vemla({dir.Path("config.ini"), "--echo"}, dir.Directory().string());
        ASSERT_TRUE(vemla.WaitForOutput("/nonexistent/tty: No such file or directory")) << c.Name;
        size_t trigger = vemla.Output.find(c.FirstReport);
        ASSERT_NE(trigger, std::string::npos) << vemla.Output;
        EXPECT_LT(trigger, vemla.Output.find("/nonexistent/tty")) << c.Name;
        EXPECT_EQ(vemla.Terminate(), 0);
        EXPECT_NE(LogContents(dir).find(Utf8ToCp1251(c.FirstReport)), std::string::npos);
    }
}

TEST(Vemla, OffscreenWarningsDoNotWaitForAClick) {
    TTempDir dir;
    // A missing configuration file asks for a warning box; offscreen it goes to stderr.
    TVemla vemla({dir.Path("missing.ini"), "--echo"}, dir.Directory().string());
    EXPECT_TRUE(vemla.WaitForOutput("COM 1")) << vemla.Output;
    EXPECT_EQ(vemla.Terminate(), 0);
}

TEST(Vemla, CheckTriggersIsALinter) {
    TTempDir dir;
    struct {
        std::vector<std::string> Arguments;
        int Status;
        const char* Output;
    } cases[] = {
        {{"--check-triggers", EXAMPLES_DIR "/triggers.txt"}, 0, "OK: 3 triggers\n"},
        {{"--check-triggers", dir.Write("bad.txt", "TRIGGER 1 \"a\" HEX \"01\"\n{\n}\n")}, 1, ""},
        {{"--check-triggers",
          dir.Write("conflict.txt", "TRIGGER 1 \"a\" HEX \"01 02\" {WAIT}\n"
                                    "TRIGGER 2 \"b\" HEX \"01 03\" {WAIT}\n"),
          "--hash-size", "1"},
         1,
         ""},
        {{"--check-triggers",
          dir.Write("masks.txt", "TRIGGER 2 \"read\" MASK HEX \"01 03 ?? ?? =XOR8\" {WAIT}\n"
                                 "TRIGGER 3 \"slave 1\" MASK HEX \"01 *\" {WAIT}\n"
                                 "TRIGGER 4 \"never\" MASK HEX \"01 03 00 07 03\" {WAIT}\n"
                                 "TRIGGER 5 \"text\" MASK ANSI \"'AT' *\" {WAIT}\n"
                                 "TRIGGER 6 \"plus\" MASK ANSI \"'AT+' * 0D\" {WAIT}\n")},
         0,
         "OK: 5 triggers\n"
         "warning: the masks of triggers 2 and 3 overlap: a packet that both match runs trigger "
         "2\n"
         "warning: the mask of trigger 4 never matches: trigger 3, earlier in the file, matches "
         "every packet it matches\n"
         "warning: the mask of trigger 6 never matches: trigger 5, earlier in the file, matches "
         "every packet it matches\n"},
        {{"--check-triggers",
          dir.Write("checksums.txt", "TRIGGER 1 \"any\" MASK HEX \"01 *\" {WAIT}\n"
                                     "TRIGGER 2 \"crc\" MASK HEX \"01 03 ?? ?? =CRC16M\" {WAIT}\n"
                                     "TRIGGER 3 \"two\" MASK HEX \"02 03 *\" {WAIT}\n"
                                     "TRIGGER 4 \"xor\" MASK HEX \"02 ?? 00 =XOR8\" {WAIT}\n")},
         0,
         "OK: 4 triggers\n"
         "warning: the mask of trigger 2 never matches: trigger 1, earlier in the file, matches "
         "every packet it matches\n"
         "warning: the masks of triggers 3 and 4 overlap: a packet that both match runs trigger "
         "3\n"},
        {{"--check-triggers",
          dir.Write("badmask.txt", "TRIGGER 1 \"m\" MASK HEX \"01 0G\" {WAIT}")},
         1,
         ""},
        {{"--bogus"}, 2, ""},
    };
    // The tools are the same in both programs.
    for (const char* binary : Programs) {
        for (const auto& c : cases) {
            TVemla vemla(c.Arguments, dir.Directory().string(), {}, false, binary);
            vemla.WaitForOutput("\x01never", 5s);
            EXPECT_EQ(vemla.Terminate() % 128, c.Status) << c.Arguments[0];
            EXPECT_EQ(vemla.Output.find(c.Output), 0u) << vemla.Output;
        }
        const std::string name = std::filesystem::path(binary).filename().string();
        TVemla version({"--version"}, dir.Directory().string(), {}, true, binary);
        EXPECT_EQ(version.ReadToEnd(), name + " 0.1.0\n");
        TVemla bogus({"--bogus"}, dir.Directory().string(), {}, true, binary);
        EXPECT_EQ(bogus.ReadToEnd(),
                  name + ": unknown option --bogus (" + name + " --help lists the options)\n");
        TVemla help({"--help"}, dir.Directory().string(), {}, true, binary);
        EXPECT_EQ(help.ReadToEnd().find("Usage: " + name + " [CONFIG | DEVICE] [OPTIONS]\n"), 0u);
    }
}

// The lines of the logs, time stamps aside.
std::vector<std::string> LogWithoutTimes(const TTempDir& dir) {
    std::vector<std::string> lines;
    std::string log = LogContents(dir);
    for (size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(log.substr(at + 12, end - at - 12));
    return lines;
}

#ifdef VEMLA_WITH_WINDOW
// --send with --every and --count sends a template at its period that many times, recorded as
// sent; --duration then ends the run as a close would: exit 0, the last log written.
TEST(Vemla, SendsATemplateAtItsPeriodAndEndsAfterItsDuration) {
    for (const char* program : Programs) {
        TTempDir dir;
        TPtyDevice device;
        TVemla vemla({device.SlavePath(), "--send", "01 03 00 0A 00 02 CRC16M", "--every", "20",
                      "--count", "5", "--duration", "1.5", "--autosave", "--log-dir",
                      dir.Path("Log")},
                     dir.Directory().string(), {}, false, program);
        const std::string packet("\x01\x03\x00\x0A\x00\x02\xE4\x09", 8);
        std::string five;
        for (int i = 0; i < 5; ++i)
            five += packet;
        EXPECT_EQ(device.Read(five.size(), 5s), five) << program;
        EXPECT_EQ(vemla.WaitForExit(20s), 0) << program;
        EXPECT_EQ(device.Read(1, 100ms), "") << program; // the count was kept
        std::string log = LogContents(dir);
        size_t sent = 0;
        for (size_t at = 0;
             (at = log.find("<--- 01 03 00 0A 00 02 E4 09\r\n", at)) != std::string::npos; ++at)
            ++sent;
        EXPECT_EQ(sent, 5u) << program << "\n" << log;
    }
}

TEST(VemlaCli, LogsAndAnswersAsTheHiddenWindowDoes) {
    // Triggers that answer, sleep and print; a coding left by the window; logs that flush on
    // the way and at the end.
    const std::string triggers =
        "TRIGGER 1 \"ping\" ANSI \"PING<0x0D>\" { WAIT OUT \"PONG<0x0D>\" GOTO 1 }\n"
        "TRIGGER 2 \"slow\" HEX \"01 03\" { WAIT SLEEP 50 OUT \"01 83 02\" PRINT \"late\" GOTO 1 "
        "}\n";
    std::vector<std::string> logs[2];
    const char* binaries[] = {VEMLA_BINARY, VEMLA_CLI_BINARY};
    TPtyDevice device; // one for both: the logs name it
    for (int i = 0; i < 2; ++i) {
        TTempDir dir;
        dir.Write("desktop.ini", "[Custom]\r\nCoding=1\r\n");
        std::string config = dir.Write(
            "config.ini",
            test::PortConfig(device.SlavePath(),
                             "[Terminal]\r\nHide=1\r\nTriggerFile=" + dir.Write("t.txt", triggers) +
                                 "\r\n[Log]\r\nAutoSave=1\r\nDir=Log\r\nSize=4\r\n"));
        TVemla vemla({config, "--echo"}, dir.Directory().string(), {}, false, binaries[i]);
        ASSERT_TRUE(vemla.WaitForOutput(": открыт")) << binaries[i] << vemla.Output;
        const std::pair<std::string, std::string> exchanges[] = {
            {"PING\r", "PONG\r"},  {std::string("\x01\x03", 2), "\x01\x83\x02"},
            {"text \xC0\xC1", ""}, {std::string("\x01\x03", 2), "\x01\x83\x02"},
            {"PING\r", "PONG\r"},
        };
        for (const auto& [packet, answer] : exchanges) {
            device.Write(packet);
            if (answer.empty()) {
                EXPECT_EQ(device.Read(1, 300ms), "") << binaries[i];
            } else {
                EXPECT_EQ(device.Read(answer.size(), 5s), answer) << binaries[i];
            }
        }
        EXPECT_EQ(vemla.Terminate(), 0) << binaries[i];
        logs[i] = LogWithoutTimes(dir);
    }
    ASSERT_EQ(logs[0].size(), 12u);
    EXPECT_EQ(logs[0][11], "  <-t- PONG<0x0D>");
    EXPECT_EQ(logs[0], logs[1]);
}

#endif

std::string EchoConfig(TTempDir& dir, const std::string& device, const std::string& extra = "") {
    return dir.Write(
        "config.ini",
        test::PortConfig(device, "[Log]\r\nAutoSave=1\r\nDir=Log\r\nSize=0\r\n" + extra));
}

// Received bytes counted from the hex lines of the logs.
size_t LoggedReceivedBytes(const TTempDir& dir) {
    std::string log = LogContents(dir);
    size_t bytes = 0;
    for (size_t at = log.find("---> "); at != std::string::npos; at = log.find("---> ", at + 1)) {
        size_t end = log.find("\r\n", at);
        bytes += (end - at - 5 + 1) / 3;
    }
    return bytes;
}

TEST(Vemla, AStandardOutputThatStallsOrClosesCostsNoLoggedByte) {
    for (const char* binary : Programs) {
        for (bool closes : {true, false}) {
            TTempDir dir;
            TPtyDevice device;
            // A mask compares the bytes: a hash pattern would also answer the flood's packets of
            // 135, 172, 643 or 860 bytes (their hash meets that of AA), and the test would end
            // before the flood is read.
            std::string triggers =
                dir.Write("t.txt", "TRIGGER 1 \"t\" MASK HEX \"AA\" { WAIT OUTW \"BB\" GOTO 1 }");
            TVemla vemla({EchoConfig(dir, device.SlavePath(),
                                     "[Terminal]\r\nTriggerFile=" + triggers + "\r\n"),
                          "--echo"},
                         dir.Directory().string(), {}, false, binary);
            ASSERT_TRUE(vemla.WaitForOutput(": открыт")) << vemla.Output;
            if (closes) vemla.CloseOutput(); // `vemla --echo | head -1`
            // Nobody reads the echo: the device's bytes must still be read, shown and logged.
            std::string flood(1 << 20, '\x55');
            device.Write(flood);
            // Once vemla has caught up, an AA arrives alone and is answered.
            bool answered = false;
            for (int tries = 0; tries < 100 && !answered; ++tries) {
                device.Write("\xAA");
                answered = device.Read(1, 200ms) == "\xBB";
            }
            EXPECT_TRUE(answered);
            EXPECT_EQ(vemla.Terminate(), 0) << (closes ? "closed" : "stalled");
            EXPECT_GE(LoggedReceivedBytes(dir), flood.size() + 1);
            EXPECT_NE(LogContents(dir).find(" AA\r\n"), std::string::npos) << binary;
        }
    }
}

TEST(Vemla, ASwitchStormNeitherCrashesNorHangsAndTheLinterWarns) {
    TTempDir dir;
    std::string triggers = dir.Write("storm.txt", test::SwitchStormTriggerFile());
    TVemla check({"--check-triggers", triggers}, dir.Directory().string());
    EXPECT_TRUE(check.WaitForOutput("reach one another in a circle")) << check.Output;
    EXPECT_EQ(
        check.Output.find("OK: 5 triggers\nwarning: SWITCH commands of triggers 1, 2, 3, 4, 5"),
        0u);

    TVemla vemla(
        {EchoConfig(dir, "/nonexistent/tty", "[Terminal]\r\nTriggerFile=" + triggers + "\r\n"),
         "--echo"},
        dir.Directory().string());
    EXPECT_TRUE(vemla.WaitForOutput("/nonexistent/tty")) << vemla.Output;
    EXPECT_EQ(vemla.Terminate(), 0);
}

TEST(Vemla, SystemTextsFollowTheUsersLocaleInEveryMode) {
    TTempDir dir;
    std::string generate =
        "localedef -i ru_RU -f UTF-8 " + dir.Path("ru_RU.UTF-8") + " 2>/dev/null";
    if (std::system(generate.c_str()) != 0)
        GTEST_SKIP() << "no ru_RU locale source (Debian package locales)";
    std::vector<std::string> russian = {"LOCPATH=" + dir.Directory().string(), "LC_ALL=ru_RU.UTF-8",
                                        "LANGUAGE=ru"};
    TVemla check({"--check-triggers", "/nonexistent/t.txt"}, dir.Directory().string(), russian,
                 true);
    EXPECT_TRUE(check.WaitForOutput("Нет такого файла или каталога")) << check.Output;
    EXPECT_EQ(check.WaitForExit(), 1);
    TVemla vemla({EchoConfig(dir, "/nonexistent/tty"), "--echo"}, dir.Directory().string(),
                 russian);
    EXPECT_TRUE(vemla.WaitForOutput("/nonexistent/tty: Нет такого файла или каталога"))
        << vemla.Output;
    EXPECT_EQ(vemla.Terminate(), 0);
}

// The language of the messages: in the log and the echo (direction marks, times and hex stay
// as they are), in the system's own texts even under a Russian locale, and in the tools.
TEST(Vemla, MessagesSpeakTheChosenLanguage) {
    TTempDir dir;
    std::vector<std::string> russianLocale;
    if (std::system(
            ("localedef -i ru_RU -f UTF-8 " + dir.Path("ru_RU.UTF-8") + " 2>/dev/null").c_str()) ==
        0)
        russianLocale = {"LOCPATH=" + dir.Directory().string(), "LC_ALL=ru_RU.UTF-8"};
    const std::string triggers = dir.Write("t.txt", "TRIGGER 1 \"a\" HEX \"01\"\n{\n}\n");
    struct {
        const char* Name;
        std::vector<std::string> Options;
        const char* Language; // [Terminal] Language, if any
        bool English;
        std::vector<const char*> Lines; // UTF-8, in the log in this order
    } cases[] = {
        {"--lang en",
         {"--lang", "en"},
         nullptr,
         true,
         {"Error loading file \"", "\": syntax error in line 3 near `}'", ": opened"}},
        {"from the file", {}, "en", true, {"Error loading file", ": opened"}},
        {"--lang over the file",
         {"--lang", "ru"},
         "en",
         false,
         {"Ошибка загрузки файла", ": открыт"}},
        {"not a language",
         {},
         "xx",
         false,
         {"Language=xx: язык ru, en или auto; действует ru", "Ошибка загрузки файла",
          "syntax error в строке 3 ,около `}'", ": открыт"}},
    };
    for (const auto& c : cases) {
        TTempDir run;
        TPtyDevice device;
        std::string extra = "[Terminal]\r\nTriggerFile=" + triggers + "\r\n";
        if (c.Language) extra += std::string("Language=") + c.Language + "\r\n";
        std::vector<std::string> arguments = {EchoConfig(run, device.SlavePath(), extra), "--echo"};
        arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
        TVemla vemla(arguments, run.Directory().string(), russianLocale);
        ASSERT_TRUE(vemla.WaitForOutput(c.Lines.back())) << c.Name << vemla.Output;
        device.Write("\x01\x02");
        ASSERT_TRUE(vemla.WaitForOutput("01 02")) << c.Name << vemla.Output;
        EXPECT_EQ(vemla.Terminate(), 0) << c.Name;
        const std::string log = Cp1251ToUtf8(LogContents(run));
        size_t at = 0;
        for (const char* line : c.Lines) {
            at = log.find(line, at);
            ASSERT_NE(at, std::string::npos) << c.Name << ": " << line << "\n" << log;
        }
        if (c.English) {
            EXPECT_FALSE(std::any_of(log.begin(), log.end(), [](char ch) { return ch & 0x80; }))
                << c.Name << "\n"
                << log;
        }
        // The log's own marks: a time stamp, the direction, the hex.
        EXPECT_TRUE(
            std::regex_search(log, std::regex("\\d\\d:\\d\\d:\\d\\d\\.\\d{3}  ---> 01 02\r\n")))
            << c.Name << "\n"
            << log;
    }
    TVemla check({"--lang", "en", "--check-triggers", dir.Path("missing.txt")},
                 dir.Directory().string(), russianLocale, true);
    EXPECT_TRUE(check.WaitForOutput("No such file or directory")) << check.Output;
    EXPECT_EQ(check.WaitForExit(), 1);
    TVemla refused({"--lang", "xx"}, dir.Directory().string(), {}, true);
    EXPECT_EQ(refused.ReadToEnd(), std::string(std::filesystem::path(VEMLA_BINARY).filename()) +
                                       ": --lang needs ru, en or auto, not \"xx\" (" +
                                       std::filesystem::path(VEMLA_BINARY).filename().string() +
                                       " --help lists the options)\n");
    EXPECT_EQ(refused.WaitForExit(), 2);
}

// An application on the far side of a virtual port: it opens the link as a serial port.
class TApplicationSide {
  public:
    TApplicationSide(const std::string& path, speed_t speed) {
        Fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (Fd < 0) return;
        termios line{};
        tcgetattr(Fd, &line);
        cfmakeraw(&line);
        cfsetspeed(&line, speed);
        tcsetattr(Fd, TCSANOW, &line);
    }
    ~TApplicationSide() {
        if (Fd >= 0) close(Fd);
    }
    bool IsOpen() const { return Fd >= 0; }
    // Writes the request and reads as many bytes as the answer has, at most for a while.
    std::string Ask(const std::string& request, size_t answerSize) {
        if (write(Fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
            return {};
        std::string answer;
        char buffer[256];
        for (pollfd p{Fd, POLLIN, 0}; answer.size() < answerSize && poll(&p, 1, 5000) > 0;) {
            ssize_t n = read(Fd, buffer, sizeof buffer);
            if (n <= 0) break;
            answer.append(buffer, static_cast<size_t>(n));
        }
        return answer;
    }

  private:
    int Fd = -1;
};

TEST(Vemla, AVirtualPortServesAnApplicationThatComesAndGoes) {
    for (const char* binary : Programs) {
        TTempDir dir;
        const std::string link = dir.Path("ttyV0");
        // A stale link, as a crash leaves it, is replaced.
        std::filesystem::create_symlink("/nonexistent/pts", link);
        std::string triggers = dir.Write(
            "t.txt", "TRIGGER 1 \"p\" ANSI \"PING<0x0D>\" { WAIT OUT \"PONG<0x0D>\" GOTO 1 }");
        // The port as the first argument, as a device path would be.
        TVemla vemla(
            {"pty:" + link, "--triggers", triggers, "--log-dir", "Log", "--autosave", "--echo"},
            dir.Directory().string(), {}, false, binary);
        ASSERT_TRUE(vemla.WaitForOutput("pty:" + link + ": открыт")) << vemla.Output;
        ASSERT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(std::filesystem::read_symlink(link).string().rfind("/dev/pts/", 0), 0u);
        constexpr int Visits = 100;
        for (int i = 0; i < Visits; ++i) {
            TApplicationSide application(link, i == 0 ? B19200 : B9600);
            ASSERT_TRUE(application.IsOpen()) << i;
            EXPECT_EQ(application.Ask("PING\r", 5), "PONG\r") << i;
        }
        EXPECT_TRUE(vemla.WaitForOutput("приложение задало 19200 8N1")) << vemla.Output;
        EXPECT_EQ(vemla.Terminate(), 0);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
        std::string log = Cp1251ToUtf8(LogContents(dir));
        std::string expected;
        for (int i = 0; i < Visits; ++i)
            expected += "---> 50 49 4E 47 0D|<-t- 50 4F 4E 47 0D|";
        std::string exchanges;
        for (const std::string& line : LogWithoutTimes(dir))
            if (line.rfind("  ---> ", 0) == 0 || line.rfind("  <-t- ", 0) == 0)
                exchanges += line.substr(2) + "|";
        EXPECT_EQ(exchanges, expected) << binary;
        EXPECT_NE(log.find("приложение задало 9600 8N1"), std::string::npos);

        // What is not a link is not vemla's: refused, named, left as it is.
        const std::string file = dir.Write("notes.txt", "mine");
        std::filesystem::create_directory(dir.Path("folder"));
        for (const std::string& taken : {file, dir.Path("folder"), std::string("/dev/null")}) {
            TVemla refused({"-p", "pty:" + taken, "--echo"}, dir.Directory().string(), {}, false,
                           binary);
            EXPECT_TRUE(refused.WaitForOutput("pty:" + taken + ": File exists")) << refused.Output;
            EXPECT_EQ(refused.Terminate(), 0);
        }
        EXPECT_EQ(dir.Read("notes.txt"), "mine");
        EXPECT_TRUE(std::filesystem::is_directory(dir.Path("folder")));
        // A link someone else put in the place of vemla's is theirs: it stays.
        const std::string other = dir.Path("ttyV1");
        TVemla replaced({"-p", "pty:" + other, "--echo"}, dir.Directory().string(), {}, false,
                        binary);
        ASSERT_TRUE(replaced.WaitForOutput(": открыт")) << replaced.Output;
        std::filesystem::remove(other);
        std::filesystem::create_symlink("/dev/null", other);
        EXPECT_EQ(replaced.Terminate(), 0);
        EXPECT_EQ(std::filesystem::read_symlink(other), "/dev/null");
        EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    }
}

TEST(Vemla, ALearnedDeviceServesAnApplicationOnAVirtualPort) {
    // A session where vemla asked and the device answered: learned, then played on a virtual
    // port to an application, whose session then checks against the learned file.
    TTempDir dir;
    const std::pair<std::string, std::string> exchanges[] = {
        {"01 03 00 00 00 01 84 0A", "01 03 02 00 2A 39 9B"},
        {"01 03 00 01 00 01 D5 CA", "01 03 02 00 07 F9 86"},
        {"50 49 4E 47 0D", "50 4F 4E 47 0D"},
    };
    std::string session;
    for (const auto& [request, answer] : exchanges)
        session += "12:00:00.000  <--- " + request + "\r\n12:00:00.020  ---> " + answer + "\r\n";
    dir.Write("session.log", session);
    TVemla learn({"--learn", dir.Path("session.log")}, dir.Directory().string());
    ASSERT_EQ(learn.WaitForExit(), 0);
    const std::string device = dir.Write("device.txt", learn.ReadToEnd());

    const std::string link = dir.Path("ttyV0");
    TVemla vemla(
        {"pty:" + link, "--triggers", device, "--log-dir", "Played", "--autosave", "--echo"},
        dir.Directory().string());
    ASSERT_TRUE(vemla.WaitForOutput(": открыт")) << vemla.Output;
    {
        TApplicationSide application(link, B19200);
        ASSERT_TRUE(application.IsOpen());
        for (int round = 0; round < 2; ++round)
            for (const auto& [request, answer] : exchanges) {
                std::string expected = TextToBytes(answer, TCoding::Hex);
                EXPECT_EQ(application.Ask(TextToBytes(request, TCoding::Hex), expected.size()),
                          expected)
                    << request;
            }
    }
    EXPECT_EQ(vemla.Terminate(), 0);
    TVemla check({"--check-session", dir.Path("Played"), "--triggers", device},
                 dir.Directory().string());
    EXPECT_EQ(check.WaitForExit(), 0);
    EXPECT_EQ(check.ReadToEnd().rfind("OK: 6 packets, 6 answers", 0), 0u) << check.Output;
}

TEST(Vemla, ThePortAndItsSettingsFromTheCommandLine) {
    TTempDir dir;
    TPtyDevice device;
    std::string triggers =
        dir.Write("t.txt", "TRIGGER 1 \"t\" HEX \"01\" { WAIT OUTW \"02\" GOTO 1 }");
    // A character device as the first argument is the port; the options set the rest.
    TVemla vemla({device.SlavePath(), "-b", "115200", "--frame", "7E2", "--triggers", triggers,
                  "--log-dir", "logs", "--autosave", "--echo"},
                 dir.Directory().string());
    ASSERT_TRUE(vemla.WaitForOutput(device.SlavePath() + ": открыт")) << vemla.Output;
    termios line{};
    ASSERT_EQ(tcgetattr(device.MasterHandle(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
    EXPECT_TRUE(line.c_cflag & CSTOPB);
    device.Write("\x01");
    EXPECT_EQ(device.Read(1, 5s), "\x02");
    EXPECT_EQ(vemla.Terminate(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.Path("logs")));

    // A /dev path that is not there yet is a port to wait for, not a missing configuration.
    TVemla waiting({"/dev/vemla-test-absent", "--echo"}, dir.Directory().string(), {}, true);
    EXPECT_TRUE(waiting.WaitForOutput("/dev/vemla-test-absent: No such file or directory"))
        << waiting.Output;
    EXPECT_EQ(waiting.Output.find("не найден"), std::string::npos);
    EXPECT_EQ(waiting.Terminate(), 0);

    struct {
        std::vector<std::string> Arguments;
        const char* Message;
    } bad[] = {
        {{"--baud", "x"}, ": --baud needs a whole number of bit/s above 0, not \"x\""},
        {{"--frame", "9Q3"}, ": --frame needs data bits 5 to 8"},
        {{"--dtr"}, ": --dtr needs a value: on or off"},
    };
    const std::string program = std::filesystem::path(VEMLA_BINARY).filename().string();
    for (const auto& c : bad) {
        TVemla refused(c.Arguments, dir.Directory().string(), {}, true);
        EXPECT_EQ(refused.WaitForExit(), 2);
        refused.WaitForOutput("\x01never", 100ms);
        EXPECT_EQ(refused.Output.rfind(program + c.Message, 0), 0u) << refused.Output;
        EXPECT_EQ(std::count(refused.Output.begin(), refused.Output.end(), '\n'), 1);
    }
}

} // namespace
} // namespace vemla
