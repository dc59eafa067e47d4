#include "control/qt/CFindBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <iterator>
#include <limits>

#include "data/DataStore.h"
#include "view/CStyledRenderer.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {

namespace {

const std::uint32_t kDirections[] = {0, kDirectionIncoming, kDirectionOutgoing};

}  // namespace

CFindBar::CFindBar(const CDataStore& store, CConsoleView& view, QWidget* parent,
                   std::size_t keptMatches)
    : QWidget(parent),
      m_store(store),
      m_view(view),
      m_viewAlive(&view),
      m_text(new QLineEdit(this)),
      m_previous(new QToolButton(this)),
      m_next(new QToolButton(this)),
      m_matchCase(new QCheckBox(tr("Match case"), this)),
      m_mode(new QComboBox(this)),
      m_direction(new QComboBox(this)),
      m_status(new QLabel(this)),
      m_filter(new QCheckBox(tr("Filter"), this)),
      m_filterStatus(new QLabel(this)),
      m_close(new QToolButton(this)),
      m_timer(new QTimer(this)),
      m_session(store, keptMatches) {
    setObjectName(QStringLiteral("findBar"));
    setAutoFillBackground(true);
    m_text->setObjectName(QStringLiteral("findText"));
    m_text->setPlaceholderText(tr("Find"));
    m_text->setToolTip(
        tr("Text: the bytes as typed, with \\r, \\n, \\t and \\xHH.\nHex: \"55 AA\", \"0d0a\".\n"
           "Pattern: a regular expression over the bytes."));
    m_text->setMinimumWidth(160);
    m_text->installEventFilter(this);
    m_previous->setText(tr("Previous"));
    m_previous->setToolTip(tr("The previous match (Shift+Enter)"));
    m_next->setText(tr("Next"));
    m_next->setToolTip(tr("The next match (Enter)"));
    m_mode->addItems({tr("Text"), tr("Hex"), tr("Pattern")});
    m_mode->setToolTip(tr("What the text names"));
    m_direction->addItems({tr("Both directions"), tr("Incoming only"), tr("Outgoing only")});
    m_status->setObjectName(QStringLiteral("findStatus"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_filter->setObjectName(QStringLiteral("findFilter"));
    m_filter->setToolTip(tr("Show only the lines that match"));
    m_filterStatus->setObjectName(QStringLiteral("filterStatus"));
    m_close->setText(QString(QChar(0xD7)));
    m_close->setToolTip(tr("Close the find bar (Escape)"));
    m_close->setAutoRaise(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(m_text, 2);
    layout->addWidget(m_previous);
    layout->addWidget(m_next);
    layout->addWidget(m_matchCase);
    layout->addWidget(m_mode);
    layout->addWidget(m_direction);
    layout->addWidget(m_filter);
    layout->addWidget(m_filterStatus);
    layout->addWidget(m_status, 3);
    layout->addWidget(m_close);

    connect(m_text, &QLineEdit::textChanged, this, [this] { Restart(); });
    connect(m_matchCase, &QCheckBox::toggled, this, [this] { Restart(); });
    connect(m_mode, &QComboBox::currentIndexChanged, this, [this](int mode) {
        // Bytes named in hex have no case.
        m_matchCase->setEnabled(mode != static_cast<int>(EFindMode::Hex));
        Restart();
    });
    connect(m_direction, &QComboBox::currentIndexChanged, this, [this] { Restart(); });
    connect(m_filter, &QCheckBox::toggled, this, [this](bool on) {
        m_filterStatus->clear();
        emit FilterChanged(on);
    });
    connect(m_previous, &QToolButton::clicked, this, [this] { Previous(); });
    connect(m_next, &QToolButton::clicked, this, [this] { Next(); });
    connect(m_close, &QToolButton::clicked, this, [this] { Close(); });
    // One slice per turn of the event loop: input and painting go on between.
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_session.Step();
        UpdateStatus();
    });
    m_session.SetHooks(
        CFindSession::SHooks{[this](bool want) { want ? m_timer->start() : m_timer->stop(); },
                             [this](const SFindMatch& match) {
                                 JumpTo(match);
                                 UpdateStatus();
                             },
                             [this] { m_view.viewport()->update(); }});
    // Records that come while the bar is open are counted as the store
    // tells the session of them.
    hide();
}

CFindBar::~CFindBar() {
    if (m_viewAlive && m_view.FindMarks() == &m_session) {
        m_view.SetFindMarks(nullptr);
    }
}

void CFindBar::Open() {
    show();
    raise();
    m_view.SetFindMarks(&m_session);
    m_text->setFocus();
    m_text->selectAll();
    if (!m_session.IsCurrent()) {
        Restart();
    } else {
        m_session.Resume();
    }
}

void CFindBar::Close() {
    m_session.Stop();
    m_filter->setChecked(false);
    hide();
    if (m_view.FindMarks() == &m_session) {
        m_view.SetFindMarks(nullptr);
    }
    m_view.setFocus();
    emit Closed();
}

bool CFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            key->modifiers() & Qt::ShiftModifier ? Previous() : Next();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            Close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CFindBar::Restart() {
    m_session.Restart(Query());
    m_view.viewport()->update();
    UpdateStatus();
    if (m_filter->isChecked()) {
        emit FilterChanged(true);
    }
}

SFindQuery CFindBar::Query() const {
    SFindQuery query;
    // One character is one byte; a character beyond Latin-1 has none.
    const QByteArray bytes = m_text->text().toLatin1();
    query.text.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    query.mode = static_cast<EFindMode>(std::clamp(m_mode->currentIndex(), 0, 2));
    query.matchCase = m_matchCase->isChecked();
    query.direction = kDirections[std::clamp(m_direction->currentIndex(), 0, 2)];
    return query;
}

void CFindBar::SetFilterStatus(const QString& text) {
    m_filterStatus->setText(text);
}

QString CFindBar::FilterStatusText() const {
    return m_filterStatus->text();
}

CFindSession::SFrom CFindBar::From() const {
    return CFindSession::SFrom{m_view.IsPinnedToEnd(), m_view.TopRecord()};
}

void CFindBar::Next() {
    m_session.Next(From());
    UpdateStatus();
}

void CFindBar::Previous() {
    m_session.Previous(From());
    UpdateStatus();
}

void CFindBar::JumpTo(const SFindMatch& match) {
    // Where the match lies in the whole text is known once the view has
    // indexed it; until then the status says so.
    QPointer<CFindBar> self(this);
    m_view.WhenIndexed([self, match] {
        if (self == nullptr) {
            return;
        }
        const auto [start, end] = self->DisplayRange(match);
        self->m_view.ScrollToPosition(start);
        self->m_view.ScrollRows(-2);  // a little of what came before
        self->m_view.SetSelection(start, end);
        self->UpdateStatus();
    });
}

void CFindBar::UpdateStatus() {
    QString text;
    m_statusIsError = false;
    const CFindSession& session = m_session;
    const std::uint64_t count = session.MatchCount();
    if (session.HasPattern() && !session.IsValid() && !m_text->text().isEmpty()) {
        text = QString::fromLatin1(session.Error().c_str());
        m_statusIsError = true;
    } else if (session.IsValid()) {
        // A Next past the kept matches may run ahead of the count.
        const std::optional<std::uint64_t> ordinal = session.Ordinal();
        const QString total = QString::number(std::max(count, ordinal.value_or(0))) +
                              (Searching() ? tr("+") : QString());
        if (session.Current()) {
            text = ordinal ? tr("%1 of %2").arg(*ordinal).arg(total)
                           : tr("one past the first %1 of %2").arg(session.KeptCount()).arg(total);
            if (session.Note() == CFindSession::ENote::PassedEnd) {
                text += tr(" (passed the end, on from the first)");
            } else if (session.Note() == CFindSession::ENote::PassedStart) {
                text += tr(" (passed the start, on from the last)");
            }
            if (m_view.HasPendingAction()) {
                text += tr(" (indexing…)");  // shown once the view has got there
            }
        } else if (Searching()) {
            text = tr("Searching... %1 so far").arg(count);
        } else if (count == 0) {
            text = tr("No matches");
        } else {
            text = count == 1 ? tr("1 match") : tr("%1 matches").arg(count);
        }
    }
    m_status->setText(text);
    m_status->setStyleSheet(m_statusIsError ? QStringLiteral("color: #c00000;") : QString());
}

QString CFindBar::StatusText() const {
    return m_status->text();
}

std::size_t CFindBar::DisplayPosition(std::size_t record, std::uint32_t offset) const {
    const std::size_t start = m_view.PositionOfRecord(record).value_or(0);
    const std::size_t next = m_view.PositionOfRecord(record + 1).value_or(start);
    if (next <= start) {
        return start;  // drawn as nothing: where it would be
    }
    // A byte's place in what the record drew: what the style makes of the
    // bytes before it (CR LF may be one line break, a byte "[0Dh]").
    SDataRecord before = *m_store.Record(record);
    before.bytes = before.bytes.substr(0, offset);
    before.length = static_cast<std::uint32_t>(before.bytes.size());
    const std::size_t into =
        m_view.Scheme() ? CStyledRenderer::RenderToString(m_view.Scheme(), before).size() : offset;
    m_store.TrimWindows();
    return start + std::min(into, next - start);
}

std::pair<std::size_t, std::size_t> CFindBar::DisplayRange(const SFindMatch& match) {
    const auto [record, offset] = m_session.EndOf(match);
    const std::size_t start = DisplayPosition(match.sequence, match.offset);
    return {start, std::max(start, DisplayPosition(record, offset))};
}

}  // namespace quillpad
