#include "app/echo_writer.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace vemla {
namespace {

std::string ReadAll(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::string all;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        all.append(buffer, static_cast<size_t>(n));
    return all;
}

// Standard output read by a reader that keeps up, stalls, or has gone away; whatever it
// does, every line is either delivered whole and in order or counted as dropped, and the
// program is never held up.
TEST(EchoWriter, EveryLineIsDeliveredOrCountedAndNothingBlocks) {
    std::signal(SIGPIPE, SIG_IGN); // as the program does
    enum TReader { KeepsUp, Stalls, Gone };
    for (TReader reader : {KeepsUp, Stalls, Gone}) {
        int out[2], err[2];
        ASSERT_EQ(pipe(out), 0);
        ASSERT_EQ(pipe(err), 0);
        if (reader == Gone) close(out[0]);
        std::string received;
        std::thread reading;
        if (reader == KeepsUp) {
            reading = std::thread([&] {
                char buffer[4096];
                ssize_t n;
                while ((n = read(out[0], buffer, sizeof buffer)) > 0)
                    received.append(buffer, static_cast<size_t>(n));
            });
        }
        constexpr int Lines = 20000;
        {
            // A queue that holds them all when the reader keeps up; a small one otherwise.
            TEchoWriter echo(out[1], err[1], reader == KeepsUp ? size_t{4} << 20 : 256 * 1024);
            for (int i = 0; i < Lines; ++i)
                echo.Write("line " + std::to_string(i) + std::string(90, '.') + "\n");
            if (reader == KeepsUp) {
                EXPECT_EQ(echo.DroppedLines(), 0u);
            }
        } // the destructor gives up on a stalled reader after its grace period
        close(out[1]);
        if (reading.joinable()) reading.join();
        if (reader == Stalls) received = ReadAll(out[0]);
        std::string note = ReadAll(err[0]);

        // Whole lines in order, with at most one cut line at the end of a stalled reader's.
        size_t complete = static_cast<size_t>(std::count(received.begin(), received.end(), '\n'));
        for (size_t i = 0, at = 0; i < complete; ++i, at = received.find('\n', at) + 1)
            ASSERT_EQ(
                received.compare(at, 5 + std::to_string(i).size(), "line " + std::to_string(i)), 0)
                << reader;
        if (reader == KeepsUp) {
            EXPECT_EQ(complete, size_t{Lines});
            EXPECT_EQ(note, "");
        } else {
            EXPECT_LT(complete, size_t{Lines}) << reader;
            EXPECT_NE(note.find("echoed lines were dropped"), std::string::npos) << reader;
        }
        if (reader == Gone) {
            EXPECT_EQ(complete, 0u);
        }
        if (reader != KeepsUp) {
            // The note counts exactly the lines that did not arrive whole.
            EXPECT_NE(note.find(" " + std::to_string(Lines - complete) + " echoed"),
                      std::string::npos)
                << note;
        }
        for (int fd : {out[0], err[0], err[1]})
            if (!(reader == Gone && fd == out[0])) close(fd);
    }
}

} // namespace
} // namespace vemla
