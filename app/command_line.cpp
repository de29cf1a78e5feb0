#include "app/command_line.h"

#include "app/send_line.h"
#include "app/startup.h"
#include "platform/net_spelling.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>

namespace vemla {
namespace {

bool WholeNumber(const std::string& text, long long low, long long high) {
    if (text.empty() || text.size() > 11) return false;
    // Digits only, after an optional minus: no blanks around, no plus.
    const size_t digits = text[0] == '-' ? 1 : 0;
    if (digits == text.size() || text.find_first_not_of("0123456789", digits) != std::string::npos)
        return false;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0' && text[0] != '+' && value >= low && value <= high;
}

// "8N1", "7E2", "8M1.5": data bits, parity letter, stop bits as the ini keys hold them.
bool ParseFrame(const std::string& text, TSettingOverrides& overrides) {
    static const std::string Parities = "NOEMS"; // Parity 0..4
    static const std::map<std::string, std::string> StopBits = {
        {"1", "0"}, {"1.5", "1"}, {"2", "2"}};
    if (text.size() < 3 || text[0] < '5' || text[0] > '8') return false;
    size_t parity =
        Parities.find(static_cast<char>(std::toupper(static_cast<unsigned char>(text[1]))));
    auto stop = StopBits.find(text.substr(2));
    if (parity == std::string::npos || stop == StopBits.end()) return false;
    overrides.push_back({"Port", "ByteSize", text.substr(0, 1)});
    overrides.push_back({"Port", "Parity", std::to_string(parity)});
    overrides.push_back({"Port", "StopBits", stop->second});
    return true;
}

// An option that takes a value: checks it and turns it into configuration keys; false when
// the value is not one of the accepted forms.
struct TValueOption {
    const char* Accepted; // for the error line
    std::function<bool(const std::string& value, TCommandLine& line)> Apply;
};

TValueOption Key(const char* section, const char* key, const char* accepted,
                 std::function<bool(const std::string&)> valid) {
    return {accepted, [=](const std::string& value, TCommandLine& line) {
                if (!valid(value)) return false;
                line.Overrides.push_back({section, key, value});
                return true;
            }};
}

TValueOption Choice(const char* section, const char* key, const char* accepted,
                    std::map<std::string, std::string> values) {
    return {accepted, [=](const std::string& value, TCommandLine& line) {
                auto found = values.find(value);
                if (found == values.end()) return false;
                line.Overrides.push_back({section, key, found->second});
                return true;
            }};
}

// A port spelling: a network one must be well formed; paths are the system's to judge.
bool PortSpelling(const std::string& value) {
    return !value.empty() && (!NamesANetworkPort(value) || ParseNetSpelling(value));
}

constexpr const char* PortForms =
    "a device path, pty:PATH, or tcp://HOST:PORT, rfc2217://HOST:PORT, socket://HOST:PORT "
    "(PORT 1-65535, an IPv6 host as [::1])";

// --bridge and --tap: the second port, and whether it is only listened to.
TValueOption SecondPort(const char* option, bool tap) {
    return {PortForms, [=](const std::string& value, TCommandLine& line) {
                line.Overrides.push_back({"Bridge", "Device", value});
                line.Overrides.push_back({"Bridge", "Tap", tap ? "1" : "0"});
                line.SecondPorts.push_back(option);
                return PortSpelling(value);
            }};
}

const std::map<std::string, TValueOption>& ValueOptions() {
    auto number = [](long long low, long long high) {
        return [=](const std::string& value) { return WholeNumber(value, low, high); };
    };
    static const std::map<std::string, TValueOption> options = {
        {"--port", Key("Port", "Device", PortForms, PortSpelling)},
        {"--bridge", SecondPort("--bridge", false)},
        {"--tap", SecondPort("--tap", true)},
        {"--baud",
         Key("Port", "BaudRate", "a whole number of bit/s above 0", number(1, INT32_MAX))},
        {"--frame",
         {"data bits 5 to 8, parity N, O, E, M or S and stop bits 1, 1.5 or 2, like 8N1",
          [](const std::string& value, TCommandLine& line) {
              return ParseFrame(value, line.Overrides);
          }}},
        {"--flow",
         Choice("Port", "RTS_CONTROL", "none or rtscts", {{"none", "0"}, {"rtscts", "2"}})},
        {"--dtr", Choice("Port", "DTR_CONTROL", "on or off", {{"on", "1"}, {"off", "0"}})},
        {"--rts", Choice("Port", "RTS_CONTROL", "on or off", {{"on", "1"}, {"off", "0"}})},
        {"--gap", Key("Port", "ReadIntervalTimeout", "a whole number of milliseconds",
                      number(0, INT32_MAX))},
        {"--packet-size",
         Key("Terminal", "packetSize", "a whole number of bytes above 0", number(1, INT32_MAX))},
        {"--triggers",
         {"a file name",
          [](const std::string& value, TCommandLine& line) {
              if (value.empty()) return false;
              line.Overrides.push_back({"Terminal", "TriggerFile", value});
              if (!line.CheckTriggers) line.TriggerFile = value;
              return true;
          }}},
        {"--lang", Choice("Terminal", "Language", "ru, en or auto",
                          {{"ru", "ru"}, {"en", "en"}, {"auto", "auto"}})},
        {"--log-dir", Key("Log", "Dir", "a directory", [](const std::string&) { return true; })},
        {"--check-triggers",
         {"a file name",
          [](const std::string& value, TCommandLine& line) {
              line.CheckTriggers = true;
              line.TriggerFile = value;
              return !value.empty();
          }}},
        {"--check-session",
         {"a log file or a directory of log files",
          [](const std::string& value, TCommandLine& line) {
              line.SessionLog = value;
              return !value.empty();
          }}},
        {"--learn",
         {"a log file or a directory of log files",
          [](const std::string& value, TCommandLine& line) {
              line.LearnLog = value;
              return !value.empty();
          }}},
        {"--send",
         {"bytes in hex or a template, like \"01 03 00 0A 00 02 CRC16M\"",
          [](const std::string& value, TCommandLine& line) {
              TResult<std::string> bytes = SendLineBytes(value, TCoding::Hex, TLineEnding::None);
              if (!bytes.Ok() || bytes.Value.empty()) return false;
              line.SendBytes.push_back(bytes.Value);
              return true;
          }}},
        {"--every",
         {"a whole number of milliseconds from 1 to 86400000",
          [](const std::string& value, TCommandLine& line) {
              if (!WholeNumber(value, 1, 86'400'000)) return false;
              line.EveryMilliseconds = std::strtoll(value.c_str(), nullptr, 10);
              return true;
          }}},
        {"--count",
         {"a whole number above 0",
          [](const std::string& value, TCommandLine& line) {
              if (!WholeNumber(value, 1, INT32_MAX)) return false;
              line.Count = std::strtoll(value.c_str(), nullptr, 10);
              return true;
          }}},
        {"--duration",
         {"a number of seconds above 0, like 10 or 2.5",
          [](const std::string& value, TCommandLine& line) {
              // Digits with at most one point: no sign, no exponent, no inf or nan.
              if (value.empty() || value.find_first_not_of("0123456789.") != std::string::npos ||
                  std::count(value.begin(), value.end(), '.') > 1 || value.size() > 12)
                  return false;
              const double seconds = std::strtod(value.c_str(), nullptr);
              if (!(seconds > 0) || seconds > 1e7) return false;
              line.Duration = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000 + 0.5));
              return line.Duration->count() > 0;
          }}},
        {"--hash-size",
         {"a whole number",
          [](const std::string& value, TCommandLine& line) {
              if (!WholeNumber(value, INT32_MIN, INT32_MAX)) return false;
              line.HashSize = static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 10));
              line.Overrides.push_back({"Terminal", "hashSize", value});
              return true;
          }}},
    };
    return options;
}

// Options without a value.
const std::map<std::string, std::function<void(TCommandLine&)>>& Flags() {
    static const std::map<std::string, std::function<void(TCommandLine&)>> flags = {
        {"--help", [](TCommandLine& line) { line.Help = true; }},
        {"--version", [](TCommandLine& line) { line.Version = true; }},
        {"--echo", [](TCommandLine& line) { line.Echo = true; }},
        {"--mirror", [](TCommandLine& line) { line.Mirror = true; }},
        {"--list-ports", [](TCommandLine& line) { line.ListPorts = true; }},
        {"--autosave",
         [](TCommandLine& line) {
             line.Overrides.push_back({"Log", "AutoSave", "1"});
         }},
        {"--hide",
         [](TCommandLine& line) {
             line.Overrides.push_back({"Terminal", "Hide", "1"});
         }},
        {"--no-reconnect",
         [](TCommandLine& line) {
             line.Overrides.push_back({"Port", "Reconnect", "0"});
         }},
    };
    return flags;
}

const std::map<std::string, std::string> ShortNames = {
    {"-p", "--port"}, {"-b", "--baud"}, {"-h", "--help"}};

} // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                              bool (*namesAPort)(const std::string&)) {
    TCommandLine line;
    bool optionsEnded = false; // after "--" every argument is a file or a port
    for (size_t i = 0; i < arguments.size() && line.Error.empty(); ++i) {
        std::string argument = arguments[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            if (line.Arguments.empty() && namesAPort && namesAPort(argument)) {
                // vemla /dev/ttyUSB0: the port itself, not a configuration file.
                line.Overrides.insert(line.Overrides.begin(), {"Port", "Device", argument});
                if (!PortSpelling(argument))
                    line.Error =
                        std::string("the port needs ") + PortForms + ", not \"" + argument + "\"";
            } else {
                line.Arguments.push_back(argument);
            }
            continue;
        }
        std::optional<std::string> attached; // --baud=115200, or --log-dir= (empty)
        if (auto equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            attached = argument.substr(equals + 1);
            argument.resize(equals);
        }
        if (auto shortName = ShortNames.find(argument); shortName != ShortNames.end())
            argument = shortName->second;
        if (auto option = ValueOptions().find(argument); option != ValueOptions().end()) {
            bool hasValue = attached || i + 1 < arguments.size();
            std::string value = attached ? *attached : hasValue ? arguments[++i] : "";
            if (!hasValue)
                line.Error = argument + " needs a value: " + option->second.Accepted;
            else if (!option->second.Apply(value, line))
                line.Error =
                    argument + " needs " + option->second.Accepted + ", not \"" + value + "\"";
        } else if (auto flag = Flags().find(argument); flag == Flags().end()) {
            line.Error = "unknown option " + argument;
        } else if (attached) {
            line.Error = argument + " takes no value, not \"" + *attached + "\"";
        } else {
            flag->second(line);
        }
    }
    if (line.Error.empty() && line.SecondPorts.size() > 1)
        line.Error = "give one second port: --bridge PORT2 or --tap PORT2";
    if (line.Error.empty() && !line.SecondPorts.empty()) {
        auto overridden = [&](const char* section) {
            auto found = std::find_if(line.Overrides.rbegin(), line.Overrides.rend(),
                                      [&](const TSettingOverride& o) {
                                          return o.Section == section && o.Key == "Device";
                                      });
            return found == line.Overrides.rend() ? std::string() : found->Value;
        };
        const std::string device = overridden("Port"), second = overridden("Bridge");
        if (!device.empty() && NamesTheSamePort(device, second))
            line.Error = line.SecondPorts.front() + " needs another port than the device's (" +
                         device + "), not \"" + second + "\"";
    }
    if (line.Error.empty() && !line.SessionLog.empty() && line.TriggerFile.empty())
        line.Error = "--check-session needs the trigger file: --triggers FILE";
    if (line.Error.empty() && (line.EveryMilliseconds != 0 || line.Count != 0) &&
        line.SendBytes.empty())
        line.Error = "--every and --count need the packets: --send BYTES";
    if (line.Error.empty() && line.Count != 0 && line.EveryMilliseconds == 0)
        line.Error = "--count needs the period: --every MS";
    for (const std::string& bytes : line.SendBytes)
        line.TimedSends.push_back(
            {bytes, std::chrono::milliseconds(line.EveryMilliseconds),
             line.EveryMilliseconds == 0 ? 1 : static_cast<uint64_t>(line.Count)});
    return line;
}

std::string UsageText(const std::string& program) {
    const bool window = program == "vemla";
    return "Usage: " + program + " [CONFIG | DEVICE] [OPTIONS]\n" + "       " + program +
           " --check-triggers FILE [--hash-size N]\n" + "       " + program +
           " --check-session LOG --triggers FILE [--mirror] [--hash-size N]\n" + "       " +
           program + " --learn LOG > device.txt\n" + "       " + program + " --list-ports\n" +
           "\n" +
           (window
                ? "A serial terminal that shows, logs and answers the traffic on one port.\n"
                : "vemla without its window: it logs, echoes and answers the traffic on one port\n"
                  "until SIGINT, SIGTERM or SIGHUP ends it.\n") +
           "\n"
           "  CONFIG                 configuration file (default: config.ini beside the program,\n"
           "                         else ~/.config/vemla/config.ini)\n"
           "  DEVICE                 a character device, pty:PATH or a network port: the port,\n"
           "                         like --port\n"
           "Options override the configuration for this run only:\n"
           "  -p, --port DEV         the port: a device path, pty:PATH,     [Port] Device\n"
           "                         rfc2217://HOST:PORT or tcp://HOST:PORT\n"
           "  -b, --baud N           bit/s                                  [Port] BaudRate\n"
           "  --frame 8N1            data bits 5-8, parity N/O/E/M/S, stop bits 1/1.5/2\n"
           "                                                 [Port] ByteSize, Parity, StopBits\n"
           "  --flow none|rtscts     hardware flow control                  [Port] RTS_CONTROL\n"
           "  --dtr on|off, --rts on|off  the modem lines    [Port] DTR_CONTROL, RTS_CONTROL\n"
           "  --gap MS               silence that ends a packet     [Port] ReadIntervalTimeout\n"
           "  --packet-size N        bytes of a packet's first read    [Terminal] packetSize\n"
           "  --triggers FILE        the trigger file                 [Terminal] TriggerFile\n"
           "  --hash-size N          leading bytes that select a trigger [Terminal] hashSize\n"
           "  --log-dir DIR          the log directory                          [Log] Dir\n"
           "  --lang ru|en|auto      the language of the texts (default ru; auto follows\n"
           "                         the locale)                       [Terminal] Language\n"
           "  --autosave             write log files                       [Log] AutoSave=1\n" +
           (window ? "  --hide                 run without a window                 [Terminal] "
                     "Hide=1\n"
                   : "") +
           "  --no-reconnect         leave a lost port closed until a send  [Port] Reconnect=0\n"
           "Two ports (the application's packets are recorded as <-a-):\n"
           "  --bridge PORT2         join the port (the device) and PORT2 (the application,\n"
           "                         usually pty:PATH): each side's packets are passed on to\n"
           "                         the other; the rate, stop bits and flow control the\n"
           "                         application sets on pty: are applied to the device\n"
           "                                                            [Bridge] Device\n"
           "  --tap PORT2            only listen to a second line (a Y-cable, an RS-485 tap):\n"
           "                         nothing is passed on, no trigger answers [Bridge] Tap=1\n"
           "Sending by itself (recorded as sent, <---):\n"
           "  --send BYTES           a packet in hex, or a template with checksums\n"
           "                         (\"01 03 00 0A 00 02 CRC16M\"); repeatable: in order\n"
           "  --every MS             send them every MS milliseconds (without it, once)\n"
           "  --count N              that many times (without it, until the end)\n"
           "  --duration SECONDS     end after that long, as a close would (exit 0)\n"
           "Other options:\n"
           "  --echo                 also write every traffic line to standard output\n"
           "  --check-triggers FILE  load a trigger file as vemla would and report the result\n"
           "  --check-session LOG    run the trigger file over the packets received in a log\n"
           "                         (a file, or a directory of them) and compare its answers\n"
           "                         with the logged ones; --mirror: the triggers answer what\n"
           "                         vemla sent, as the device did (for a learned file)\n"
           "  --learn LOG            write a trigger file that answers like the device of a\n"
           "                         session where vemla was the master\n"
           "  --list-ports           list the serial ports of this machine\n"
           "  --version              print the version\n"
           "  -h, --help             print this text\n";
}

bool NeedsOffscreenPlatform(const TCommandLine& commandLine, bool hideConfigured) {
    bool hasDisplay = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    bool platformChosen = std::getenv("QT_QPA_PLATFORM");
    return !hasDisplay && !platformChosen && (hideConfigured || commandLine.Echo);
}

} // namespace vemla
