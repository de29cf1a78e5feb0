#include "platform/cp1251.h"
#include "platform/net_spelling.h"
#include "platform/rfc2217.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

using TTime = TTelnetClient::TClock::time_point;

TEST(NetSpelling, ReadsTheSchemesAndRefusesWhatNamesNoPort) {
    using K = TNetSpelling::TKind;
    struct {
        const char* Spelling;
        bool Valid;
        K Kind;
        const char* Host;
        uint16_t Port;
    } cases[] = {
        {"tcp://localhost:7001", true, K::Raw, "localhost", 7001},
        {"socket://10.0.0.2:1", true, K::Raw, "10.0.0.2", 1},
        {"rfc2217://rig.lab:65535", true, K::Rfc2217, "rig.lab", 65535},
        {"rfc2217://[::1]:2217", true, K::Rfc2217, "::1", 2217},
        {"tcp://host", false, K::Raw, "", 0},
        {"tcp://host:", false, K::Raw, "", 0},
        {"tcp://host:0", false, K::Raw, "", 0},
        {"tcp://host:65536", false, K::Raw, "", 0},
        {"tcp://host:-1", false, K::Raw, "", 0},
        {"rfc2217://:0", false, K::Raw, "", 0},
        {"rfc2217://:7001", false, K::Raw, "", 0},
        {"tcp://::1:7001", false, K::Raw, "", 0},
        {"tcp://[::1:7001", false, K::Raw, "", 0},
        {"tcp://[::1]7001", false, K::Raw, "", 0},
        {"tcp://host:7001/path", false, K::Raw, "", 0},
        {"tcp://host:7001?logging=debug", false, K::Raw, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Spelling);
        EXPECT_TRUE(NamesANetworkPort(c.Spelling));
        auto parsed = ParseNetSpelling(c.Spelling);
        ASSERT_EQ(parsed.has_value(), c.Valid);
        if (!parsed) continue;
        EXPECT_EQ(parsed->Kind, c.Kind);
        EXPECT_EQ(parsed->Host, c.Host);
        EXPECT_EQ(parsed->Port, c.Port);
    }
    for (const char* other : {"/dev/ttyUSB0", "pty:/tmp/ttyV0", "COM3", "http://host:80"})
        EXPECT_FALSE(NamesANetworkPort(other)) << other;
}

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values)
        bytes += static_cast<char>(value);
    return bytes;
}

// What the server sends, cut into reads at every '|' of the case, gives this data and makes
// the client send these replies.
TEST(TelnetClient, AnswersNegotiationAndKeepsTheDataWhereverTheReadsAreCut) {
    constexpr int IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240,
                  NOP = 241, GA = 249;
    constexpr int Binary = 0, Echo = 1, Sga = 3, ComPort = 44, Odd = 99;
    struct {
        const char* Name;
        std::vector<std::string> Reads;
        std::string Data;
        std::string Replies;
    } cases[] = {
        {"escaped 0xFF", {Bytes({'a', IAC, IAC, IAC, IAC, 'b'})}, Bytes({'a', 255, 255, 'b'}), ""},
        {"IAC at the end of a read",
         {Bytes({'a', IAC}), Bytes({IAC, 'b'})},
         "a\xFF"
         "b",
         ""},
        {"a command cut after its verb",
         {Bytes({IAC, DO}), Bytes({Echo, 'x'})},
         "x",
         Bytes({IAC, WONT, Echo})},
        {"unknown options refused",
         {Bytes({IAC, DO, Odd, IAC, WILL, Odd, IAC, WILL, Echo})},
         "",
         Bytes({IAC, WONT, Odd, IAC, DONT, Odd, IAC, DONT, Echo})},
        {"what was asked for is not answered again",
         {Bytes({IAC, DO, Binary, IAC, WILL, Binary, IAC, DO, Sga, IAC, WILL, Sga})},
         "",
         ""},
        {"switched off on request, once",
         {Bytes({IAC, DO, Binary, IAC, DONT, Binary, IAC, DONT, Binary})},
         "",
         Bytes({IAC, WONT, Binary})},
        {"the server may not do COM-port control for us",
         {Bytes({IAC, WILL, ComPort})},
         "",
         Bytes({IAC, DONT, ComPort})},
        {"other commands carry no data", {Bytes({'1', IAC, NOP, '2', IAC, GA, '3'})}, "123", ""},
        {"a subnegotiation of another option, cut",
         {Bytes({IAC, SB, 24, 1, IAC}), Bytes({SE, 'z'})},
         "z",
         ""},
        {"a subnegotiation ended by another command",
         {Bytes({IAC, SB, 24, 'q', IAC, NOP, 'k'})},
         "k",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTelnetClient client(true, TLineSettings{});
        client.Greeting();
        std::string data;
        for (std::string read : c.Reads) {
            read.resize(client.Receive(read.data(), read.size(), TTime{}));
            data += read;
        }
        EXPECT_EQ(data, c.Data);
        EXPECT_EQ(client.TakeOutgoing(), c.Replies);
        EXPECT_FALSE(client.Broken());
    }
}

TEST(TelnetClient, PutsTheSettingsOnTheServerAndReadsItsAnswers) {
    constexpr int IAC = 255, DO = 253, DONT = 254, SB = 250, SE = 240, ComPort = 44;
    TLineSettings line;
    line.BaudRate = 57600;
    line.ByteSize = 7;
    line.Parity = 2; // even
    line.StopBits = 2;
    line.DtrControl = 1;
    line.RtsControl = 2; // hardware flow: RTS is the driver's
    TTelnetClient client(true, line);
    EXPECT_EQ(client.Greeting(),
              Bytes({IAC, 251, 0, IAC, 253, 0, IAC, 251, 3, IAC, 253, 3, IAC, 251, ComPort}));
    const TTime start{};
    std::string agreed = Bytes({IAC, DO, ComPort});
    client.Receive(agreed.data(), agreed.size(), start);
    auto command = [&](int code, std::string value) {
        return Bytes({IAC, SB, ComPort, code}) + TTelnetClient::Escape(value) + Bytes({IAC, SE});
    };
    EXPECT_EQ(client.TakeOutgoing(), command(1, Bytes({0, 0, 0xE1, 0})) + command(2, Bytes({7})) +
                                         command(3, Bytes({3})) + command(4, Bytes({2})) +
                                         command(5, Bytes({3})) + command(5, Bytes({8})) +
                                         command(11, Bytes({0xFF})) + command(12, Bytes({1})));
    EXPECT_TRUE(client.ComPortAgreed());
    EXPECT_FALSE(client.Settled()); // until the purge that ends the settings is confirmed

    // The server confirms all but the control commands, and reports CTS and DCD on.
    std::string answers = command(101, Bytes({0, 0, 0xE1, 0})) + command(102, Bytes({7})) +
                          command(103, Bytes({3})) + command(104, Bytes({2})) +
                          command(112, Bytes({1})) + command(107, Bytes({0x90}));
    EXPECT_EQ(client.Receive(answers.data(), answers.size(), start), 0u);
    EXPECT_EQ(client.ConfirmedRate(), 57600);
    EXPECT_TRUE(client.Settled());
    EXPECT_EQ(client.ModemLines(), (TModemLines{true, false, true, false}));

    EXPECT_TRUE(client.TakeNotices(start + std::chrono::milliseconds(999)).empty());
    auto late = client.TakeNotices(start + TTelnetClient::AcknowledgeTimeout);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].Level, TPortNotice::TLevel::Warning);
    EXPECT_EQ(Cp1251ToUtf8(late[0].Text), "сервер не подтвердил: управление потоком, DTR");
    // Warned once: the same commands unconfirmed again say nothing more.
    client.SetModemOutput(TModemOutput::Dtr, false, start);
    EXPECT_EQ(client.TakeOutgoing(), command(5, Bytes({9})));
    EXPECT_TRUE(client.TakeNotices(start + std::chrono::seconds(5)).empty());

    // A server that gives up COM-port control takes no more commands.
    std::string refused = Bytes({IAC, DONT, ComPort});
    client.Receive(refused.data(), refused.size(), start);
    EXPECT_EQ(client.TakeOutgoing(), Bytes({IAC, 252, ComPort}));
    client.SetBreak(true, start);
    EXPECT_EQ(client.TakeOutgoing(), "");
}

TEST(TelnetClient, EndsAtAnEndlessSubnegotiationAndWarnsOfARefusedComPort) {
    constexpr int IAC = 255, SB = 250, DONT = 254;
    TTelnetClient endless(true, TLineSettings{});
    std::string flood = Bytes({IAC, SB, 44}) + std::string(TTelnetClient::SubnegotiationLimit, 'x');
    endless.Receive(flood.data(), flood.size(), TTime{});
    EXPECT_TRUE(endless.Broken());
    std::string after = "data";
    EXPECT_EQ(endless.Receive(after.data(), after.size(), TTime{}), 0u);

    TTelnetClient refused(true, TLineSettings{});
    refused.Greeting();
    std::string no = Bytes({IAC, DONT, 44});
    refused.Receive(no.data(), no.size(), TTime{});
    auto notices = refused.TakeNotices(TTime{});
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(Cp1251ToUtf8(notices[0].Text),
              "сервер отказался от RFC 2217: настройки порта не переданы");
}

TEST(TelnetClient, EscapesDataAndCountsWhatAPartialWriteCarried) {
    const std::string data = Bytes({1, 255, 2, 255, 255});
    EXPECT_EQ(TTelnetClient::Escape(data), Bytes({1, 255, 255, 2, 255, 255, 255, 255}));
    // Bytes carried whole by the first 0..8 bytes on the wire: a doubled 0xFF cut in half
    // carries nothing yet.
    const size_t carried[] = {0, 1, 1, 2, 3, 3, 4, 4, 5};
    for (size_t sent = 0; sent < std::size(carried); ++sent)
        EXPECT_EQ(TTelnetClient::DataSent(data, sent), carried[sent]) << sent;
}

} // namespace
} // namespace vemla
