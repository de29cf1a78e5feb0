// Search of the traffic view: 1,000,000 lines, a text that only the last line holds, searched
// from the first line.
#include "app/traffic_list.h"
#include "bench/bench_support.h"

using namespace vemla;

int main() {
    constexpr size_t Lines = 1000000;
    TTrafficList list;
    for (size_t i = 0; i < Lines; ++i) {
        std::string data = i + 1 == Lines ? std::string("NEEDLE") : "packet " + std::to_string(i);
        list.Add(TTrafficRecord{46363.0, TTrafficKind::Received, data}, TCoding::WinHex);
    }
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
        auto start = bench::TClock::now();
        size_t found = list.Find("needle", 0, true);
        times.push_back(bench::Milliseconds(bench::TClock::now() - start));
        if (found != Lines - 1) return 1;
    }
    bench::Figure("find.last_of_1000000_lines_p50", bench::Percentile(times, 50), "ms");
    bench::Figure("find.last_of_1000000_lines_max", bench::Percentile(times, 100), "ms");
    return 0;
}
