// Posted messages through the Qt event loop, in bursts of 1, 8 and 64 posted
// in one turn: what each message costs from post to delivery. Baseline: one
// plain posted QEvent per message to a QObject, in the same run.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEvent>

#include <cstdint>
#include <memory>

#include "platform/qt/CQtMessageChannel.h"

namespace quillpad {
namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "QtMessageChannelBench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

class CSink final : public CMessageTarget {
  public:
    using CMessageTarget::CMessageTarget;
    std::int64_t HandleMessage(SMessage& message) override {
        total += message.wParam + 1;
        return 0;
    }
    std::uint64_t total = 0;
};

class CEventSink final : public QObject {
  public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            ++total;
            return true;
        }
        return QObject::event(event);
    }
    std::uint64_t total = 0;
};

void BM_QtChannelBurst(benchmark::State& state) {
    App();
    CQtMessageChannel channel;
    CSink sink(channel);
    const auto burst = static_cast<std::uint64_t>(state.range(0));
    for (auto _ : state) {
        const std::uint64_t expected = sink.total + burst;
        for (std::uint64_t i = 0; i < burst; ++i) {
            channel.Post(sink.Handle(), UM_APPEND_RECORD, 0);
        }
        while (sink.total < expected) {
            QCoreApplication::processEvents();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * burst));
}
BENCHMARK(BM_QtChannelBurst)->Arg(1)->Arg(8)->Arg(64);

void BM_QtPostEventBurst_Baseline(benchmark::State& state) {
    App();
    CEventSink sink;
    const auto burst = static_cast<std::uint64_t>(state.range(0));
    for (auto _ : state) {
        const std::uint64_t expected = sink.total + burst;
        for (std::uint64_t i = 0; i < burst; ++i) {
            QCoreApplication::postEvent(&sink, std::make_unique<QEvent>(QEvent::User).release());
        }
        while (sink.total < expected) {
            QCoreApplication::processEvents();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * burst));
}
BENCHMARK(BM_QtPostEventBurst_Baseline)->Arg(1)->Arg(8)->Arg(64);

}  // namespace
}  // namespace quillpad
