// Cost of the message channel: posting and draining append notices, the path
// every received record takes to every view.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/support/BenchReport.h"
#include "platform/MessageChannel.h"

namespace quillpad {
namespace {

class CSink final : public CMessageTarget {
  public:
    using CMessageTarget::CMessageTarget;
    std::int64_t HandleMessage(SMessage& message) override {
        total += message.wParam;
        return 0;
    }
    std::uint64_t total = 0;
};

void BM_PostAndDrain(benchmark::State& state) {
    CQueuedChannel channel;
    CSink sink(channel);
    const auto batch = static_cast<std::uint64_t>(state.range(0));
    for (auto _ : state) {
        for (std::uint64_t i = 0; i < batch; ++i) {
            channel.Post(sink.Handle(), UM_APPEND_RECORD, i);
        }
        channel.DrainPending();
    }
    benchmark::DoNotOptimize(sink.total);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * batch));
}
BENCHMARK(BM_PostAndDrain)->Arg(1024);

void BM_PostWithPayload(benchmark::State& state) {
    CQueuedChannel channel;
    CSink sink(channel);
    const std::string text(64, 'x');
    for (auto _ : state) {
        for (int i = 0; i < 1024; ++i) {
            channel.Post(sink.Handle(), UM_SEND_TEXT, 0, 0, CPayload::Make(text));
        }
        channel.DrainPending();
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_PostWithPayload);

}  // namespace
}  // namespace quillpad
