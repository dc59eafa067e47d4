#include "control/qt/CSendPanelDock.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "control/qt/CSendItemDialog.h"
#include "control/qt/IControlUi.h"
#include "platform/Paths.h"
#include "platform/qt/FileName.h"
#include "platform/qt/Latin1.h"

namespace quillpad {

CSendPanelDock::CSendPanelDock(IControlUi& ui, std::string dataDirectory,
                               SSendPanelServices services, QWidget* parent)
    : QWidget(parent),
      m_ui(ui),
      m_dataDirectory(std::move(dataDirectory)),
      m_services(std::move(services)) {
    setObjectName(QStringLiteral("sendPanel"));

    m_chooser = new QComboBox(this);
    m_chooser->setToolTip(QStringLiteral("The send panels of the data folder"));
    m_newButton = new QPushButton(QStringLiteral("New..."), this);
    m_list = new QListWidget(this);
    m_addButton = new QPushButton(QStringLiteral("&Add..."), this);
    m_editButton = new QPushButton(QStringLiteral("&Edit..."), this);
    m_removeButton = new QPushButton(QStringLiteral("Remo&ve"), this);
    m_sendButton = new QPushButton(QStringLiteral("&Send"), this);
    m_repeatButton = new QPushButton(QStringLiteral("&Repeat"), this);
    m_statusLine = new QLabel(this);
    m_statusLine->setWordWrap(true);
    for (QPushButton* button :
         {m_newButton, m_addButton, m_editButton, m_removeButton, m_sendButton, m_repeatButton}) {
        // The console keeps the keyboard: a click must not take it away.
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
    }

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Panel:"), this));
    top->addWidget(m_chooser, 1);
    top->addWidget(m_newButton);
    auto* edit = new QHBoxLayout;
    edit->addWidget(m_addButton);
    edit->addWidget(m_editButton);
    edit->addWidget(m_removeButton);
    auto* run = new QHBoxLayout;
    run->addWidget(m_sendButton);
    run->addWidget(m_repeatButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addLayout(edit);
    layout->addLayout(run);
    layout->addWidget(m_statusLine);

    connect(m_chooser, &QComboBox::activated, this, &CSendPanelDock::OnChooserActivated);
    connect(m_newButton, &QPushButton::clicked, this, &CSendPanelDock::NewPanel);
    connect(m_addButton, &QPushButton::clicked, this, &CSendPanelDock::AddSend);
    connect(m_editButton, &QPushButton::clicked, this, [this] { EditSend(CurrentRow()); });
    connect(m_removeButton, &QPushButton::clicked, this, [this] { RemoveSend(CurrentRow()); });
    connect(m_sendButton, &QPushButton::clicked, this, [this] { SendOnce(CurrentRow()); });
    connect(m_repeatButton, &QPushButton::clicked, this, [this] {
        const int row = CurrentRow();
        Repeating(row) ? StopRepeat(row) : StartRepeat(row);
    });
    connect(m_list, &QListWidget::currentRowChanged, this, &CSendPanelDock::UpdateButtons);
    connect(m_list, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { SendOnce(m_list->row(item)); });
    UpdateButtons();
}

CSendPanelDock::~CSendPanelDock() {
    StopAll();  // nothing the panel started outlives it
}

int CSendPanelDock::CurrentRow() const {
    return m_list->currentRow();
}

void CSendPanelDock::OpenPanel(const std::string& path) {
    StopAll();
    m_saveAgreed = false;
    const ESendPanelLoad load = m_panel.Load(path);
    m_ids.clear();
    for (std::size_t i = 0; i < m_panel.Items().size(); ++i) {
        m_ids.push_back(m_nextId++);
    }
    const QString name = FileNameToQString(m_panel.Name());
    if (load == ESendPanelLoad::Unreadable || load == ESendPanelLoad::NotAPanel) {
        const std::string text = "The send panel \"" + m_panel.Name() +
                                 "\" could not be read: " + m_panel.LoadError() +
                                 ". It is left as it is.";
        if (m_services.message) {
            m_services.message("Send Panel", text);
        }
    } else if (!m_panel.Refused().empty() && m_services.message) {
        m_services.message("Send Panel", m_panel.RefusalMessage());
    }
    m_statusLine->setText(name);
    ShowItems();
    RefreshChooser();
    emit PanelOpened(FileNameToQString(path));
}

void CSendPanelDock::RefreshChooser() {
    m_files.clear();
    for (const std::string& file : ListSendPanels(m_dataDirectory)) {
        m_files.push_back(PathCombine(m_dataDirectory, file));
    }
    // The open panel is offered even before its file exists, or from elsewhere.
    if (!m_panel.Path().empty() &&
        std::find(m_files.begin(), m_files.end(), m_panel.Path()) == m_files.end()) {
        m_files.insert(m_files.begin(), m_panel.Path());
    }
    const QSignalBlocker quiet(m_chooser);
    m_chooser->clear();
    for (const std::string& file : m_files) {
        CSendPanel named;
        named.SetPath(file);
        m_chooser->addItem(FileNameToQString(named.Name()));
    }
    const auto current = std::find(m_files.begin(), m_files.end(), m_panel.Path());
    m_chooser->setCurrentIndex(
        current == m_files.end() ? -1 : static_cast<int>(current - m_files.begin()));
}

void CSendPanelDock::OnChooserActivated(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < m_files.size() &&
        m_files[static_cast<std::size_t>(index)] != m_panel.Path()) {
        // A copy: opening lists the folder again.
        const std::string path = m_files[static_cast<std::size_t>(index)];
        OpenPanel(path);
    }
}

void CSendPanelDock::NewPanel() {
    const std::optional<std::string> name = m_ui.AskSendPanelName(this);
    if (!name || name->empty()) {
        return;
    }
    if (name->find('/') != std::string::npos) {
        m_statusLine->setText(QStringLiteral("A panel's name cannot hold \"/\"."));
        return;
    }
    const std::string path = PathCombine(m_dataDirectory, *name + CSendPanel::kExtension);
    OpenPanel(path);
    if (m_panel.Items().empty() && m_panel.Refused().empty()) {
        SavePanel();  // so that the chooser lists it at once
        RefreshChooser();
    }
}

bool CSendPanelDock::SavePanel() {
    if (m_panel.AskBeforeSaving() && !m_saveAgreed) {
        m_saveAgreed = m_ui.AskYesNo(
            m_panel.RefusalMessage() + "\n\nSave the change? They are written back unchanged.",
            this);
        if (!m_saveAgreed) {
            m_statusLine->setText(QStringLiteral("The change is not saved to the panel's file."));
            return false;
        }
    }
    std::string error;
    if (!m_panel.Save(&error)) {
        if (m_services.message) {
            m_services.message("Send Panel", "The send panel \"" + m_panel.Name() +
                                                 "\" could not be saved: " + error + ".");
        }
        return false;
    }
    return true;
}

// ---- the sends

void CSendPanelDock::AddSend() {
    SSendItem item;
    item.name = "Send " + std::to_string(m_panel.Items().size() + 1);
    if (!m_ui.RunSendItemDialog(item, this)) {
        return;
    }
    m_panel.Items().push_back(item);
    m_ids.push_back(m_nextId++);
    SavePanel();
    ShowItems();
    m_list->setCurrentRow(static_cast<int>(m_panel.Items().size()) - 1);
}

void CSendPanelDock::EditSend(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= m_panel.Items().size()) {
        return;
    }
    SSendItem item = m_panel.Items()[static_cast<std::size_t>(row)];
    if (!m_ui.RunSendItemDialog(item, this)) {
        return;
    }
    // A repeat goes on with the bytes it started with; stopping it makes
    // the change plain.
    Forget(row);
    m_panel.Items()[static_cast<std::size_t>(row)] = item;
    SavePanel();
    ShowItems();
}

void CSendPanelDock::RemoveSend(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= m_panel.Items().size()) {
        return;
    }
    Forget(row);
    m_panel.Items().erase(m_panel.Items().begin() + row);
    m_ids.erase(m_ids.begin() + row);
    SavePanel();
    ShowItems();
}

void CSendPanelDock::SendOnce(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= m_panel.Items().size()) {
        return;
    }
    const SSendItem& item = m_panel.Items()[static_cast<std::size_t>(row)];
    ByteString bytes;
    std::string error;
    if (!BuildSendBytes(item, bytes, error)) {
        m_statusLine->setText(
            QStringLiteral("Not sent: %1.").arg(QString::fromLatin1(error.c_str())));
        return;
    }
    if (!m_services.send(bytes)) {
        m_statusLine->setText(QStringLiteral("\"%1\" was not sent: the device session is not open.")
                                  .arg(BytesToQString(item.name)));
        return;
    }
    m_statusLine->setText(QStringLiteral("Sent \"%1\".").arg(BytesToQString(item.name)));
}

void CSendPanelDock::StartRepeat(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= m_panel.Items().size()) {
        return;
    }
    const SSendItem& item = m_panel.Items()[static_cast<std::size_t>(row)];
    ByteString bytes;
    std::string error;
    if (!BuildSendBytes(item, bytes, error)) {
        m_statusLine->setText(
            QStringLiteral("Not sent: %1.").arg(QString::fromLatin1(error.c_str())));
        return;
    }
    Forget(row);  // a running one starts again
    const std::uint32_t id = m_nextId++;
    m_ids[static_cast<std::size_t>(row)] = id;
    if (!m_services.startRepeat || !m_services.startRepeat(id, bytes, item.periodMs, item.count)) {
        const QString note =
            QStringLiteral("\"%1\" stopped after 0 sends: the device session is not open.")
                .arg(BytesToQString(item.name));
        m_statusLine->setText(note);
        if (m_services.status) {
            m_services.status(note);
        }
        ShowItems(false);
        return;
    }
    m_running[id] = 0;
    ShowItems(false);
}

void CSendPanelDock::StopRepeat(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= m_ids.size()) {
        return;
    }
    const std::uint32_t id = m_ids[static_cast<std::size_t>(row)];
    const std::uint32_t sent = SentCount(row);
    if (m_running.erase(id) != 0 && m_services.stopRepeat) {
        m_services.stopRepeat(id);
        m_stopped = id;
    }
    m_stoppedNote = QStringLiteral("\"%1\" stopped after %2 sends.")
                        .arg(BytesToQString(m_panel.Items()[static_cast<std::size_t>(row)].name))
                        .arg(sent);
    m_statusLine->setText(m_stoppedNote);
    ShowItems();
}

void CSendPanelDock::Forget(int row) {
    const std::uint32_t id = m_ids[static_cast<std::size_t>(row)];
    if (m_running.erase(id) != 0 && m_services.stopRepeat) {
        m_services.stopRepeat(id);
    }
}

void CSendPanelDock::StopAll() {
    for (const auto& [id, sent] : std::exchange(m_running, {})) {
        if (m_services.stopRepeat) {
            m_services.stopRepeat(id);
        }
    }
}

bool CSendPanelDock::Repeating(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < m_ids.size() &&
           m_running.count(m_ids[static_cast<std::size_t>(row)]) != 0;
}

std::uint32_t CSendPanelDock::SentCount(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_ids.size()) {
        return 0;
    }
    const auto it = m_running.find(m_ids[static_cast<std::size_t>(row)]);
    return it == m_running.end() ? 0 : it->second;
}

QString CSendPanelDock::NameOf(std::uint32_t id) const {
    const auto at = std::find(m_ids.begin(), m_ids.end(), id);
    return at == m_ids.end()
               ? QString()
               : BytesToQString(m_panel.Items()[static_cast<std::size_t>(at - m_ids.begin())].name);
}

void CSendPanelDock::RepeatNews(const SSendRepeatNews& news) {
    const auto it = m_running.find(news.id);
    if (it == m_running.end()) {
        // Stopped here: the session's count is the exact one the note
        // should give, if the note is still showing.
        if (news.end == ESendEnd::Stopped && news.id == m_stopped &&
            m_statusLine->text() == m_stoppedNote) {
            m_stoppedNote = QStringLiteral("\"%1\" stopped after %2 sends.")
                                .arg(NameOf(news.id))
                                .arg(news.sent);
            m_statusLine->setText(m_stoppedNote);
        }
        return;
    }
    if (!news.end) {
        it->second = news.sent;
        ShowItems(false);
        return;
    }
    m_running.erase(it);
    const QString name = NameOf(news.id);
    const QString note =
        *news.end == ESendEnd::Failed
            ? QStringLiteral("\"%1\" stopped after %2 sends: the device session is not open.")
                  .arg(name)
                  .arg(news.sent)
        : *news.end == ESendEnd::Stopped
            ? QStringLiteral("\"%1\" stopped after %2 sends.").arg(name).arg(news.sent)
            : QStringLiteral("\"%1\" sent %2 times.").arg(name).arg(news.sent);
    m_statusLine->setText(note);
    if (*news.end == ESendEnd::Failed && m_services.status) {
        m_services.status(note);
    }
    ShowItems(false);
}

QString CSendPanelDock::RowText(int row) const {
    const SSendItem& item = m_panel.Items()[static_cast<std::size_t>(row)];
    QString text = BytesToQString(item.name);
    if (Repeating(row)) {
        text +=
            item.count == 0
                ? QStringLiteral("  (every %1 ms: %2 sent)").arg(item.periodMs).arg(SentCount(row))
                : QStringLiteral("  (every %1 ms: %2 of %3)")
                      .arg(item.periodMs)
                      .arg(SentCount(row))
                      .arg(item.count);
    }
    return text;
}

void CSendPanelDock::ShowItems(bool tips) {
    const int count = static_cast<int>(m_panel.Items().size());
    const int current = m_list->currentRow();
    while (m_list->count() > count) {
        delete m_list->takeItem(m_list->count() - 1);
    }
    while (m_list->count() < count) {
        m_list->addItem(QString());
    }
    for (int row = 0; row < count; ++row) {
        QListWidgetItem* entry = m_list->item(row);
        const QString text = RowText(row);
        if (entry->text() != text) {
            entry->setText(text);
        }
        if (!tips) {
            continue;
        }
        ByteString bytes;
        std::string error;
        const SSendItem& item = m_panel.Items()[static_cast<std::size_t>(row)];
        entry->setToolTip(BuildSendBytes(item, bytes, error) ? HexPreview(bytes)
                                                             : QString::fromLatin1(error.c_str()));
    }
    if (current < 0 && count > 0) {
        m_list->setCurrentRow(0);
    }
    UpdateButtons();
}

void CSendPanelDock::UpdateButtons() {
    const int row = CurrentRow();
    const bool any = row >= 0 && static_cast<std::size_t>(row) < m_panel.Items().size();
    m_editButton->setEnabled(any);
    m_removeButton->setEnabled(any);
    m_sendButton->setEnabled(any);
    m_repeatButton->setEnabled(any);
    m_repeatButton->setText(Repeating(row) ? QStringLiteral("S&top") : QStringLiteral("&Repeat"));
}

}  // namespace quillpad
