#include "tools/console/WindowMode.h"

#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "control/qt/CQuillpad2Ctrl.h"
#include "nxr/NxrCodes.h"
#include "nxr/NxrLib.h"
#include "tools/console/ArrivalWatch.h"

namespace quillpad {
namespace {

// The host of the window form: the status goes into the window's title.
class CTitleHost final : public CNoHostEnvironment {
  public:
    CTitleHost(QWidget& window, std::string spec) : m_window(window), m_spec(std::move(spec)) {
        IWBENVUpdateConnectionStatus(1);
    }
    std::int32_t IWBENVUpdateConnectionStatus(std::uint16_t status) override {
        m_window.setWindowTitle(
            QString::fromLatin1(("Quillpad - " + m_spec + " - " + NxrStatusText(status)).c_str()));
        return 0;
    }
    std::int32_t IWBENVUpdateConnectionParams(WideString& params) override {
        m_spec = WideToBytes(params);
        return 0;
    }

  private:
    QWidget& m_window;
    std::string m_spec;
};

}  // namespace

int RunWindow(QApplication& app, const SConsoleOptions& options) {
    CQuillpad2Ctrl console;
    CMessageChannel& channel = console.MessageChannel();
    CDataStore& store = *console.Store();
    console.SetHostEnvironment(std::make_shared<CTitleHost>(console, options.spec));
    console.resize(800, 500);
    console.show();
    if (!console.Usable()) {
        std::fprintf(stderr, "quillpad-console: %s\n", console.FailureText().c_str());
        return 1;
    }

    QTimer typing;
    typing.setInterval(10);
    QObject::connect(&typing, &QTimer::timeout, [&] {
        if (console.ConsoleOpen()) {
            typing.stop();
            for (char c : options.type) {
                channel.Post(console.Handle(), UM_SEND_CHAR, 0,
                             static_cast<unsigned char>(c == '\n' ? '\r' : c));
            }
        }
    });
    if (!options.type.empty()) {
        typing.start();
    }
    int result = 0;
    bool shot = false;
    const auto shoot = [&] {
        if (shot) {
            return;
        }
        shot = true;
        if (!console.grab().save(QString::fromStdString(options.screenshot))) {
            std::fprintf(stderr, "quillpad-console: cannot write %s\n", options.screenshot.c_str());
            result = 1;
        }
        app.quit();
    };
    // Registered after the view, so the view has drawn a record by the time
    // the watch sees it.
    std::unique_ptr<CArrivalWatch> watch;
    if (!options.screenshot.empty() && !options.until.empty()) {
        watch = std::make_unique<CArrivalWatch>(channel, store, options.until, shoot);
        store.RegisterView(watch->Handle());
    }
    if (!options.screenshot.empty()) {
        QTimer::singleShot(static_cast<int>(options.afterMs), &app, [&] {
            if (watch && !watch->Arrived() && !shot) {
                std::fprintf(stderr, "quillpad-console: \"%s\" did not arrive in %u ms\n",
                             options.until.c_str(), options.afterMs);
                result = 1;
            }
            shoot();
        });
    }
    console.IWBSetConnectionParameters(QByteArray::fromStdString(options.spec));
    const int exitCode = app.exec();
    return exitCode != 0 ? exitCode : result;
}

}  // namespace quillpad
