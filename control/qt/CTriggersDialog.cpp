#include "control/qt/CTriggersDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/qt/FileName.h"
#include "platform/qt/Latin1.h"

namespace quillpad {
namespace {

// In the order of the enumerations.
const char* const kModeTexts[] = {"Text (\\r \\n \\xHH)", "Hex bytes", "Regular expression"};
const char* const kDirectionTexts[] = {"Incoming", "Outgoing", "Both"};
const char* const kActionTexts[] = {"Send text",     "Run key macro", "Mark the history",
                                    "Start logging", "Stop logging",  "Beep",
                                    "Run script"};

QString RowText(const STrigger& t, const std::string& note) {
    QString text = t.name.empty() ? BytesToQString(t.pattern) : BytesToQString(t.name);
    if (text.isEmpty()) {
        text = QStringLiteral("(new trigger)");
    }
    text += QStringLiteral("  \u2192  ") +
            QString::fromLatin1(kActionTexts[static_cast<int>(t.action)]);
    if (!note.empty()) {
        text += QStringLiteral("  (") + QString::fromLatin1(note.c_str()) + QLatin1Char(')');
    } else if (!t.enabled) {
        text += QStringLiteral("  (off)");
    }
    return text;
}

}  // namespace

CTriggersDialog::CTriggersDialog(std::vector<STrigger> triggers, std::vector<std::string> notes,
                                 ScriptChooser chooseScript, QWidget* parent)
    : QDialog(parent),
      m_triggers(std::move(triggers)),
      m_notes(std::move(notes)),
      m_chooseScript(std::move(chooseScript)) {
    setWindowTitle(QStringLiteral("Triggers"));
    m_notes.resize(m_triggers.size());

    m_list = new QListWidget(this);
    m_list->setMinimumWidth(240);
    m_add = new QPushButton(QStringLiteral("Add"), this);
    m_remove = new QPushButton(QStringLiteral("Remove"), this);
    m_up = new QPushButton(QStringLiteral("Up"), this);
    m_down = new QPushButton(QStringLiteral("Down"), this);
    auto* listButtons = new QHBoxLayout;
    for (QPushButton* b : {m_add, m_remove, m_up, m_down}) {
        b->setAutoDefault(false);
        listButtons->addWidget(b);
    }
    auto* left = new QVBoxLayout;
    left->addWidget(m_list);
    left->addLayout(listButtons);

    m_name = new QLineEdit(this);
    m_pattern = new QLineEdit(this);
    m_pattern->setMinimumWidth(300);
    m_mode = new QComboBox(this);
    for (const char* t : kModeTexts) {
        m_mode->addItem(QString::fromLatin1(t));
    }
    // Hex names bytes, which have no case: the box is off for it.
    m_matchCase = new QCheckBox(QStringLiteral("Match case"), this);
    m_direction = new QComboBox(this);
    for (const char* t : kDirectionTexts) {
        m_direction->addItem(QString::fromLatin1(t));
    }
    m_action = new QComboBox(this);
    for (const char* t : kActionTexts) {
        m_action->addItem(QString::fromLatin1(t));
    }
    m_argument = new QLineEdit(this);
    m_browse = new QPushButton(QStringLiteral("Browse..."), this);
    m_browse->setAutoDefault(false);
    auto* argumentRow = new QHBoxLayout;
    argumentRow->addWidget(m_argument);
    argumentRow->addWidget(m_browse);
    m_argumentLabel = new QLabel(QStringLiteral("Text to send:"), this);
    m_once = new QCheckBox(QStringLiteral("Only once (else every time)"), this);
    m_holdOff = new QSpinBox(this);
    m_holdOff->setRange(0, static_cast<int>(kMaxHoldOffMs));
    m_holdOff->setSuffix(QStringLiteral(" ms"));
    m_holdOff->setSpecialValueText(QStringLiteral("none"));
    m_enabled = new QCheckBox(QStringLiteral("Enabled"), this);
    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    m_error->setStyleSheet(QStringLiteral("color: #b00020"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("Pattern:"), m_pattern);
    form->addRow(QStringLiteral("Pattern is:"), m_mode);
    form->addRow(QString(), m_matchCase);
    form->addRow(QStringLiteral("Watch:"), m_direction);
    form->addRow(QStringLiteral("Action:"), m_action);
    form->addRow(m_argumentLabel, argumentRow);
    form->addRow(QStringLiteral("Hold-off:"), m_holdOff);
    form->addRow(QString(), m_once);
    form->addRow(QString(), m_enabled);
    form->addRow(m_error);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 2);
    columns->addLayout(form, 3);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CTriggersDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CTriggersDialog::reject);
    auto* note = new QLabel(QStringLiteral("Patterns are matched across records. A trigger that "
                                           "fires more than 100 times a second is paused."),
                            this);
    note->setWordWrap(true);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columns);
    top->addWidget(note);
    top->addWidget(buttons);

    for (std::size_t i = 0; i < m_triggers.size(); ++i) {
        m_list->addItem(RowText(m_triggers[i], m_notes[i]));
    }
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { Select(row); });
    for (QLineEdit* edit : {m_name, m_pattern, m_argument}) {
        connect(edit, &QLineEdit::textChanged, this, [this] { TakeFields(); });
    }
    for (QComboBox* box : {m_mode, m_direction, m_action}) {
        connect(box, &QComboBox::currentIndexChanged, this, [this] { TakeFields(); });
    }
    for (QCheckBox* box : {m_matchCase, m_once, m_enabled}) {
        connect(box, &QCheckBox::toggled, this, [this] { TakeFields(); });
    }
    connect(m_holdOff, &QSpinBox::valueChanged, this, [this] { TakeFields(); });
    connect(m_add, &QPushButton::clicked, this, [this] { Add(); });
    connect(m_remove, &QPushButton::clicked, this, [this] { Remove(); });
    connect(m_up, &QPushButton::clicked, this, [this] { Move(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { Move(1); });
    connect(m_browse, &QPushButton::clicked, this, [this] {
        if (m_chooseScript) {
            if (const auto path = m_chooseScript()) {
                m_argument->setText(FileNameToQString(*path));
            }
        }
    });
    m_list->setCurrentRow(m_triggers.empty() ? -1 : 0);
    Select(m_list->currentRow());
}

void CTriggersDialog::ShowError(const QString& text) {
    m_error->setText(text);
    // A wrapped label is as high as its width makes it, which the dialog
    // does not learn by itself: it grows so that no line is cut.
    m_error->setMinimumHeight(text.isEmpty() ? 0 : m_error->heightForWidth(m_error->width()));
    if (layout() != nullptr) {
        layout()->activate();
    }
    if (isVisible() && height() < minimumSizeHint().height()) {
        resize(width(), minimumSizeHint().height());
    }
}

void CTriggersDialog::Select(int row) {
    m_current = row >= 0 && row < static_cast<int>(m_triggers.size()) ? row : -1;
    ShowFields();
}

void CTriggersDialog::ShowFields() {
    m_showing = true;
    const bool has = m_current >= 0;
    const STrigger t = has ? m_triggers[static_cast<std::size_t>(m_current)] : STrigger{};
    for (QWidget* w : std::initializer_list<QWidget*>{m_name, m_pattern, m_mode, m_direction,
                                                      m_action, m_argument, m_browse, m_once,
                                                      m_holdOff, m_enabled, m_remove}) {
        w->setEnabled(has);
    }
    m_up->setEnabled(has && m_current > 0);
    m_down->setEnabled(has && m_current + 1 < static_cast<int>(m_triggers.size()));
    m_name->setText(BytesToQString(t.name));
    m_pattern->setText(BytesToQString(t.pattern));
    m_mode->setCurrentIndex(static_cast<int>(t.mode));
    m_matchCase->setChecked(t.matchCase);
    m_direction->setCurrentIndex(static_cast<int>(t.direction) - 1);
    m_action->setCurrentIndex(static_cast<int>(t.action));
    m_argument->setText(t.action == ETriggerAction::Script ? FileNameToQString(t.argument)
                                                           : BytesToQString(t.argument));
    m_once->setChecked(t.once);
    m_holdOff->setValue(static_cast<int>(t.holdOffMs));
    m_enabled->setChecked(t.enabled);
    m_showing = false;
    UpdateArgument();
    UpdateMatchCase();
    ShowError(has && !t.pattern.empty() ? QString::fromLocal8Bit(TriggerPatternError(t).c_str())
                                        : QString());
}

void CTriggersDialog::UpdateArgument() {
    const auto action = static_cast<ETriggerAction>(std::max(0, m_action->currentIndex()));
    const bool has = m_current >= 0;
    switch (action) {
        case ETriggerAction::Send:
            m_argumentLabel->setText(QStringLiteral("Text to send:"));
            break;
        case ETriggerAction::Macro:
            m_argumentLabel->setText(QStringLiteral("Key (F5, CTRL_F3):"));
            break;
        case ETriggerAction::Script:
            m_argumentLabel->setText(QStringLiteral("Script file:"));
            break;
        default:
            m_argumentLabel->setText(QStringLiteral("Argument:"));
            break;
    }
    const bool takesArgument = action == ETriggerAction::Send || action == ETriggerAction::Macro ||
                               action == ETriggerAction::Script;
    m_argument->setEnabled(has && takesArgument);
    m_browse->setVisible(action == ETriggerAction::Script);
    m_browse->setEnabled(has);
}

void CTriggersDialog::UpdateMatchCase() {
    m_matchCase->setEnabled(m_current >= 0 &&
                            m_mode->currentIndex() != static_cast<int>(ETriggerMode::Hex));
}

void CTriggersDialog::TakeFields() {
    if (m_showing || m_current < 0) {
        return;
    }
    STrigger& t = m_triggers[static_cast<std::size_t>(m_current)];
    t.name = QStringToBytes(m_name->text());
    t.pattern = QStringToBytes(m_pattern->text());
    t.mode = static_cast<ETriggerMode>(std::max(0, m_mode->currentIndex()));
    t.matchCase = m_matchCase->isChecked();
    t.direction = static_cast<ETriggerDirection>(std::max(0, m_direction->currentIndex()) + 1);
    t.action = static_cast<ETriggerAction>(std::max(0, m_action->currentIndex()));
    t.argument = t.action == ETriggerAction::Script ? QStringToFileName(m_argument->text())
                                                    : QStringToBytes(m_argument->text());
    t.once = m_once->isChecked();
    t.holdOffMs = static_cast<std::uint32_t>(m_holdOff->value());
    t.enabled = m_enabled->isChecked();
    // An edited trigger starts afresh: its old note no longer holds.
    m_notes[static_cast<std::size_t>(m_current)].clear();
    UpdateRow(m_current);
    UpdateArgument();
    UpdateMatchCase();
    ShowError(t.pattern.empty() ? QString()
                                : QString::fromLocal8Bit(TriggerPatternError(t).c_str()));
}

void CTriggersDialog::UpdateRow(int row) {
    if (QListWidgetItem* item = m_list->item(row)) {
        item->setText(RowText(m_triggers[static_cast<std::size_t>(row)],
                              m_notes[static_cast<std::size_t>(row)]));
    }
}

void CTriggersDialog::Add() {
    if (m_triggers.size() >= kMaxTriggers) {
        ShowError(QStringLiteral("A console keeps at most %1 triggers.").arg(kMaxTriggers));
        return;
    }
    m_triggers.emplace_back();
    m_notes.emplace_back();
    m_list->addItem(RowText(m_triggers.back(), {}));
    m_list->setCurrentRow(static_cast<int>(m_triggers.size()) - 1);
    m_pattern->setFocus();
}

void CTriggersDialog::Remove() {
    if (m_current < 0) {
        return;
    }
    const int row = m_current;
    m_triggers.erase(m_triggers.begin() + row);
    m_notes.erase(m_notes.begin() + row);
    m_current = -1;  // the list's signal below must not write into the gap
    delete m_list->takeItem(row);
    const int next = std::min(row, static_cast<int>(m_triggers.size()) - 1);
    m_list->setCurrentRow(next);
    Select(next);
}

void CTriggersDialog::Move(int by) {
    const int to = m_current + by;
    if (m_current < 0 || to < 0 || to >= static_cast<int>(m_triggers.size())) {
        return;
    }
    std::swap(m_triggers[static_cast<std::size_t>(m_current)],
              m_triggers[static_cast<std::size_t>(to)]);
    std::swap(m_notes[static_cast<std::size_t>(m_current)], m_notes[static_cast<std::size_t>(to)]);
    UpdateRow(m_current);
    UpdateRow(to);
    m_list->setCurrentRow(to);
}

void CTriggersDialog::accept() {
    for (std::size_t i = 0; i < m_triggers.size(); ++i) {
        const STrigger& t = m_triggers[i];
        if (!t.enabled) {
            continue;
        }
        std::string why = t.pattern.empty() ? "the trigger has no pattern" : TriggerPatternError(t);
        if (why.empty() && t.action == ETriggerAction::Script && t.argument.empty()) {
            why = "the trigger names no script";
        }
        if (why.empty() && t.action == ETriggerAction::Macro && t.argument.empty()) {
            why = "the trigger names no key";
        }
        if (!why.empty()) {
            m_list->setCurrentRow(static_cast<int>(i));
            ShowError(QString::fromLocal8Bit(why.c_str()) +
                      QStringLiteral(". Fix it or clear Enabled."));
            return;
        }
    }
    QDialog::accept();
}

}  // namespace quillpad
