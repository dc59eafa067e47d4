// quillpad-devsim: the simulated controller as a program of its own.
//
//   quillpad-devsim --tcp [PORT] | --telnet [PORT] | --pty
//                   [--name NAME] [--no-echo] [--quit-on-stdin-eof]
//
// Listens on 127.0.0.1 only. The first line on stdout says where:
// "listening tcp 127.0.0.1:PORT", "listening telnet 127.0.0.1:PORT" or
// "pty /dev/pts/N".

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <unistd.h>

#include "devsim/qt/CDevSimServer.h"
#include "platform/ProgramInfo.h"

namespace {

constexpr const char* kUsage =
    "usage: quillpad-devsim --tcp [PORT] | --telnet [PORT] | --pty\n"
    "                       [--name NAME] [--no-echo] [--quit-on-stdin-eof]\n";

int Usage(const char* why) {
    std::fprintf(stderr, "quillpad-devsim: %s\n%s", why, kUsage);
    return 2;
}

bool ReadPort(const char* text, std::uint16_t& port) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (quillpad::AnswerVersion(argc, argv, "quillpad-devsim")) {
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("quillpad-devsim: the simulated controller on 127.0.0.1\n%s", kUsage);
        return 0;
    }
    QCoreApplication app(argc, argv);
    enum class EKind { None, Tcp, Telnet, Pty } kind = EKind::None;
    std::uint16_t port = 0;
    bool quitOnEof = false;
    quillpad::SDevSimOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tcp" || arg == "--telnet") {
            kind = arg == "--tcp" ? EKind::Tcp : EKind::Telnet;
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                if (!ReadPort(argv[++i], port)) {
                    return Usage("the port must be a number from 0 to 65535");
                }
            }
        } else if (arg == "--pty") {
            kind = EKind::Pty;
        } else if (arg == "--name" && i + 1 < argc) {
            options.name = argv[++i];
        } else if (arg == "--no-echo") {
            options.echo = false;
        } else if (arg == "--quit-on-stdin-eof") {
            quitOnEof = true;
        } else {
            return Usage(("unknown argument " + arg).c_str());
        }
    }
    if (kind == EKind::None) {
        return Usage("say --tcp, --telnet or --pty");
    }

    // With a pipe on stdin, the program ends with whoever started it.
    std::unique_ptr<QSocketNotifier> stdinWatch;
    if (quitOnEof) {
        stdinWatch = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(stdinWatch.get(), &QSocketNotifier::activated, &app, [&] {
            char buffer[256];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
                stdinWatch->setEnabled(false);
                app.quit();
            }
        });
    }

    std::string error;
    std::unique_ptr<quillpad::CDevSimServer> server;
    std::unique_ptr<quillpad::CDevSimPty> pty;
    if (kind == EKind::Pty) {
        pty = std::make_unique<quillpad::CDevSimPty>(options);
        if (!pty->Open(&error)) {
            std::fprintf(stderr, "quillpad-devsim: cannot create a pseudo-terminal: %s\n",
                         error.c_str());
            return 1;
        }
        std::printf("pty %s\n", pty->SlavePath().c_str());
    } else {
        const auto mode = kind == EKind::Tcp ? quillpad::CDevSimServer::EMode::Tcp
                                             : quillpad::CDevSimServer::EMode::Telnet;
        server = std::make_unique<quillpad::CDevSimServer>(mode, options);
        if (!server->Listen("127.0.0.1", port, &error)) {
            std::fprintf(stderr, "quillpad-devsim: %s\n", error.c_str());
            return 1;
        }
        std::printf("listening %s 127.0.0.1:%u\n", kind == EKind::Tcp ? "tcp" : "telnet",
                    static_cast<unsigned>(server->Port()));
    }
    std::fflush(stdout);
    return app.exec();
}
