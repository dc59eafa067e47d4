// quillpad-viewer: shows the console view on a binary console log or on
// generated traffic, through a built-in style or a style sheet file, so the
// view can be used and looked at on its own. Typed characters and pastes
// come back as outgoing records, as a device's echo would.
//
//   quillpad-viewer [--log FILE | --generate BYTES] [--scheme NAME|FILE.tss]
//                   [--set A|B] [--show-all] [--live RECORDS_PER_SECOND]
//                   [--size WxH] [--select FROM,TO] [--hover X,Y]
//                   [--screenshot OUT.png] [--save-log FILE] [--edit-styles]
//
// With --edit-styles the style editor opens on the style, previewing the
// history; its OK shows the edited style in the view.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <iterator>
#include <memory>
#include <string>

#include "data/DataStore.h"
#include "platform/qt/CQtMessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CStyleEditorDlg.h"
#include "view/qt/CTextInfoWnd.h"

namespace quillpad {
namespace {

// Stands in for the control: what would go to the device comes straight
// back as an outgoing record.
class CEchoControl final : public CMessageTarget {
  public:
    CEchoControl(CMessageChannel& channel, CDataStore& store)
        : CMessageTarget(channel), m_store(store) {}
    std::int64_t HandleMessage(SMessage& message) override {
        if (message.id == UM_SEND_CHAR) {
            char c = static_cast<char>(message.lParam);
            m_store.AddOutgoingBytes(0, std::string_view(&c, 1));
        } else if (message.id == UM_SEND_TEXT) {
            if (const auto* text = message.payload.Get<std::string>()) {
                m_store.AddOutgoingBytes(0, *text);
            }
        }
        return 0;
    }

  private:
    CDataStore& m_store;
};

// Console-like traffic, a short session over and over: commands typed
// (outgoing), replies with CR LF and a prompt, escape sequences, tabs, high
// bytes, a NUL, a BEL, a backspace, and another originator's records.
class CTrafficGenerator {
  public:
    void Next(CDataStore& store) {
        struct SStep {
            bool outgoing;
            std::uint32_t owner;
            std::string_view bytes;
        };
        static constexpr SStep kSession[] = {
            {true, 0, "status\r"},
            {false, 0, "status: OK\r\n"},
            {false, 0, "axis 1 at 12.50 mm\r\n> "},
            {true, 0, "temp?\r"},
            {false, 0, "temp = 42.7 C\r\n> "},
            {false, 7, "remote: ping\r\n"},
            {false, 0, "\x1b[1mnode 7\x1b[0m\tup\r\n"},
            {false, 0, "rpm\t1500\r\n"},
            {false, 0, "reply: \xb0\xb1\xb2 \xe9t\xe9\r\n"},
            {true, 7, "remote: set V=3.30\r"},
            {false, 0, std::string_view("id\0 7\r\n", 7)},
            {false, 0, "warn: bad frame\a\r\n"},
            {false, 0, "count: 12\b3\r\n> "},
        };
        const SStep& step = kSession[m_next++ % std::size(kSession)];
        if (step.outgoing) {
            store.AddOutgoingBytes(step.owner, step.bytes);
        } else {
            store.AddIncomingBytes(step.owner, step.bytes);
        }
    }

  private:
    std::size_t m_next = 0;
};

bool ParsePair(const QString& text, char separator, int& a, int& b) {
    const QStringList parts = text.split(QChar(separator));
    bool ok1 = false;
    bool ok2 = false;
    if (parts.size() == 2) {
        a = parts[0].toInt(&ok1);
        b = parts[1].toInt(&ok2);
    }
    return ok1 && ok2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "quillpad-viewer: %s\n", message.c_str());
    return 2;
}

}  // namespace
}  // namespace quillpad

int main(int argc, char** argv) {
    using namespace quillpad;
    QApplication app(argc, argv);
    QApplication::setApplicationName("quillpad-viewer");
    QCommandLineParser parser;
    parser.setApplicationDescription("Shows the console view on a binary log or generated data.");
    parser.addHelpOption();
    parser.addOptions({
        {"log", "Binary console log to show.", "file"},
        {"generate", "Bytes of generated traffic (default 200000).", "bytes", "200000"},
        {"scheme", "Built-in style name or style sheet file (.tss).", "name", "Normal"},
        {"set", "Built-in set: A (other sources shown) or B.", "set", "B"},
        {"show-all", "Show records of other sources too."},
        {"live", "Add generated records at this rate per second.", "rate", "0"},
        {"size", "Window size, WxH.", "size", "900x560"},
        {"select", "Select text positions FROM,TO.", "range"},
        {"hover", "Show the hover window for view point X,Y.", "point"},
        {"screenshot", "Save a picture of the screen and quit.", "png"},
        {"save-log", "Save the history as a binary log and quit.", "file"},
        {"edit-styles", "Open the style editor on the style."},
    });
    parser.process(app);

    const EBuiltinSet set = parser.value("set").toUpper() == "A" ? EBuiltinSet::A : EBuiltinSet::B;
    auto schemes = MakeBuiltinSchemes(set);
    std::shared_ptr<CStyleScheme> scheme;
    const std::string style = parser.value("scheme").toStdString();
    for (const auto& s : schemes) {
        if (s->Name == style) {
            scheme = s;
        }
    }
    if (scheme == nullptr) {
        auto fileScheme = std::make_shared<CStyleScheme>();
        if (!fileScheme->Load(style, false)) {
            std::string names;
            for (const auto& s : schemes) {
                names += " \"" + s->Name + "\"";
            }
            return Fail("no built-in style or readable style sheet \"" + style +
                        "\"; built-ins:" + names);
        }
        scheme = fileScheme;
    }

    // Generated records are spread out in time, a quarter second apart, as a
    // session's would be; live ones take the real time.
    const CSystemClock system;
    CManualClock clock(system.TickCount(), system.CalendarSeconds());
    CQtMessageChannel channel;
    CDataStore store(channel, clock);
    if (parser.isSet("log")) {
        const SBinaryLogLoad load = store.LoadLog(parser.value("log").toStdString());
        if (!load.accepted) {
            return Fail("cannot show \"" + parser.value("log").toStdString() + "\": " + load.error);
        }
        if (load.truncated) {
            std::fprintf(stderr,
                         "quillpad-viewer: the log ends inside a record (%llu bytes left out)\n",
                         static_cast<unsigned long long>(load.droppedBytes));
        }
    } else {
        bool ok = false;
        const qulonglong bytes = parser.value("generate").toULongLong(&ok);
        if (!ok) {
            return Fail("--generate takes a number of bytes");
        }
        CTrafficGenerator generator;
        std::size_t total = 0;
        while (total < bytes) {
            const std::size_t before = store.RecordCount();
            clock.Advance(250 + static_cast<std::uint32_t>(before % 7) * 40);
            generator.Next(store);
            total += store.Record(before)->length;
        }
    }
    if (parser.isSet("save-log")) {
        const std::string path = parser.value("save-log").toStdString();
        return store.SaveBinaryLog(path) ? 0 : Fail("cannot write \"" + path + "\"");
    }

    SViewSettings settings;
    settings.showAllSources = parser.isSet("show-all");
    CEchoControl control(channel, store);
    CConsoleView view(channel, store, settings);
    view.SetControl(control.Handle());
    // Characters go to the "device"; navigation and copy keys stay the view's.
    view.SetKeyFilter([&](const QKeyEvent& key) {
        if ((key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0) {
            return false;
        }
        const QString text = key.text();
        if (text.isEmpty()) {
            return key.key() == Qt::Key_Backspace;
        }
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            channel.Post(control.Handle(), UM_SEND_CHAR, 0, u <= 0xFF ? u : '?');
        }
        return true;
    });
    int width = 0;
    int height = 0;
    if (!ParsePair(parser.value("size"), 'x', width, height) || width < 50 || height < 50) {
        return Fail("--size takes WxH, each at least 50");
    }
    view.resize(width, height);
    view.setWindowTitle(QString::fromStdString("Quillpad view - " + scheme->Name));
    view.show();
    QApplication::processEvents();  // registration with the store
    channel.Send(view.Handle(), UM_SET_SCHEME, 0, 0, CPayload::Make(scheme));

    if (parser.isSet("select")) {
        int from = 0;
        int to = 0;
        if (!ParsePair(parser.value("select"), ',', from, to) || from < 0 || to < 0) {
            return Fail("--select takes FROM,TO");
        }
        view.SetSelection(static_cast<std::size_t>(from), static_cast<std::size_t>(to));
    }

    // The editor works on the style itself; its folder is the style sheet's.
    CQtStyleEditorUi editorUi;
    std::unique_ptr<CStyleEditorDlg> editor;
    if (parser.isSet("edit-styles")) {
        const std::string folder =
            scheme->GetPath().empty()
                ? QDir::currentPath().toStdString()
                : QFileInfo(QString::fromStdString(scheme->GetPath())).absolutePath().toStdString();
        editor = std::make_unique<CStyleEditorDlg>(folder, editorUi, &view);
        editor->SetScheme(scheme);
        editor->SetShowDataSource(set == EBuiltinSet::A);
        editor->SetPreviewSource(&store, settings.showAllSources);
        QObject::connect(editor.get(), &QDialog::accepted, [&] {
            channel.Send(view.Handle(), UM_SET_SCHEME, 0, 0,
                         CPayload::Make(std::shared_ptr<CStyleScheme>(editor->Scheme())));
        });
        QTimer::singleShot(0, [&] { editor->open(); });
    }

    CTrafficGenerator live;
    QTimer liveTimer;
    const int rate = parser.value("live").toInt();
    if (rate > 0) {
        liveTimer.setInterval(std::max(1, 1000 / rate));
        QObject::connect(&liveTimer, &QTimer::timeout, [&] {
            clock.Advance(static_cast<std::uint32_t>(liveTimer.interval()));
            live.Next(store);
        });
        liveTimer.start();
    }

    if (parser.isSet("hover") || parser.isSet("screenshot")) {
        QTimer::singleShot(300, [&] {
            if (parser.isSet("hover")) {
                int x = 0;
                int y = 0;
                if (ParsePair(parser.value("hover"), ',', x, y)) {
                    view.TextInfo()->MouseMoved(QPoint(x, y), true);
                }
            }
            if (!parser.isSet("screenshot")) {
                return;
            }
            QTimer::singleShot(300, [&] {
                // The whole screen, so the hover window (a window of its own)
                // is in the picture too.
                QRect area = view.frameGeometry();
                if (view.TextInfo()->isVisible()) {
                    area = area.united(view.TextInfo()->frameGeometry());
                }
                if (editor) {
                    area = editor->frameGeometry();
                    if (QWidget* box = QApplication::activeModalWidget();
                        box && box != editor.get()) {
                        area = area.united(box->frameGeometry());
                    }
                }
                QScreen* screen = QGuiApplication::primaryScreen();
                const QPixmap shot =
                    screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
                const QString out = parser.value("screenshot");
                if (!shot.save(out)) {
                    std::fprintf(stderr, "quillpad-viewer: cannot write %s\n",
                                 out.toLocal8Bit().constData());
                    QApplication::exit(2);
                    return;
                }
                QApplication::quit();
            });
        });
    }
    return QApplication::exec();
}
