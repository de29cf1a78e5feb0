#include "engine/packet_order.h"
#include "tests/support/record_sink.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

std::unique_ptr<TTrafficRecord> Record(const char* data) {
    return std::make_unique<TTrafficRecord>(TTrafficRecord{0, TTrafficKind::Received, data});
}

std::string Posted(test::TRecordSink& sink) {
    std::string posted;
    for (const TTrafficRecord& record : sink.Records())
        posted += record.Data;
    return posted;
}

TEST(PacketOrder, RecordsGoInTheOrderTheirPacketsBegan) {
    test::TRecordSink sink;
    TPacketOrder order(sink);
    // The application's request begins, the device's answer begins and ends first.
    const uint64_t request = order.Begin();
    const uint64_t answer = order.Begin();
    order.Finish(answer, Record("A"));
    order.Post(Record("i")); // a note made meanwhile
    EXPECT_EQ(Posted(sink), "");
    const uint64_t late = order.Begin();
    order.Finish(request, Record("R"));
    EXPECT_EQ(Posted(sink), "RAi");
    // A packet that came to nothing lets what waited behind it go.
    order.Post(Record("j"));
    EXPECT_EQ(Posted(sink), "RAi");
    order.Finish(late, nullptr);
    EXPECT_EQ(Posted(sink), "RAij");
    order.Post(Record("k"));
    EXPECT_EQ(Posted(sink), "RAijk");
}

} // namespace
} // namespace vemla
