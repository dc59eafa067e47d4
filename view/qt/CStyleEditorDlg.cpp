#include "view/qt/CStyleEditorDlg.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <optional>

#include "data/DataStore.h"
#include "platform/qt/Latin1.h"
#include "view/RenderTail.h"
#include "view/qt/CDocumentPreview.h"
#include "view/qt/CRuleForm.h"
#include "view/qt/CharFormatQt.h"
#include "view/qt/DialogControls.h"

namespace quillpad {
namespace {

const char* const kPrinciple =
    "Styles and formatting will be applied to data that matches the first rule in the list, "
    "starting at the top of the list.";
const char* const kDefaultStyleWarning =
    "This is a default style. Any changes made will not be saved outside of this session.\n\n"
    "To create a new style, browse to a new file in the data directory. You can copy rules "
    "from this style and paste them in your new style using the right click menu in the rule "
    "list.";
const char* const kOutsideDataDirectory =
    "Only style files found in the Quillpad Data directory will be listed on the menu for "
    "selection.\n\nDo you want to continue with this file?";
const char* const kNameMissing =
    "Please assign a name to this style which will be shown on the menu for selection.";

// Directories compared as a case-blind file system would: without case,
// and without a trailing separator.
bool SameDirectory(const QString& a, const QString& b) {
    return QDir::cleanPath(a).compare(QDir::cleanPath(b), Qt::CaseInsensitive) == 0;
}

// File names are the file system's bytes, not one character per byte.
QString PathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string PathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// Bytes as the preview shows them: a line end (CR, LF or CR LF) as one
// break, other control bytes as nothing.
std::string PreviewText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == '\r') {
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
            text += '\n';
        } else if (b == '\n' || b == '\t' || b >= 0x20) {
            text += static_cast<char>(b);
        }
    }
    return text;
}

}  // namespace

CStyleEditorDlg::CStyleEditorDlg(std::string dataDirectory, IStyleEditorUi& ui, QWidget* parent)
    : QDialog(parent), m_dataDirectory(std::move(dataDirectory)), m_ui(ui) {
    setObjectName(QStringLiteral("styleEditor"));
    setWindowTitle(QStringLiteral("Style Editor"));
    m_previewTimer.setSingleShot(true);
    m_previewTimer.setInterval(kPreviewDelayMs);
    connect(&m_previewTimer, &QTimer::timeout, this, [this] { RefreshPreview(); });
    BuildControls();
}

// Told by the store of every record added and of every clear, as a view is,
// so the preview follows the console without asking.
class CStoreNotice final : public CMessageTarget {
  public:
    CStoreNotice(const CDataStore& store, std::function<void()> changed)
        : CMessageTarget(store.Channel()), m_store(store.Handle()), m_changed(std::move(changed)) {
        Channel().Send(m_store, UM_REGISTER_VIEW, 1, Handle());
    }
    ~CStoreNotice() override {
        if (Channel().IsAlive(m_store)) {
            Channel().Send(m_store, UM_REGISTER_VIEW, 0, Handle());
        }
    }
    std::int64_t HandleMessage(SMessage& message) override {
        if (message.id == UM_APPEND_RECORD || message.id == UM_CLEAR_DATA) {
            m_changed();
        }
        return 0;
    }

  private:
    MessageHandle m_store;
    std::function<void()> m_changed;
};

CStyleEditorDlg::~CStyleEditorDlg() = default;

void CStyleEditorDlg::SetScheme(std::shared_ptr<CStyleScheme> scheme) {
    m_scheme = std::move(scheme);
    m_rules.SetScheme(m_scheme.get());
}

void CStyleEditorDlg::SetPreviewSource(const CDataStore* store, bool showAllSources) {
    m_store = store;
    m_previewAllSources = showAllSources;
    m_storeNotice.reset();
    if (m_store != nullptr) {
        m_storeNotice = std::make_unique<CStoreNotice>(*m_store, [this] { SchemeChanged(); });
    }
}

// ---- controls

void CStyleEditorDlg::BuildControls() {
    auto button = [this](int id, const char* text) { return MakeIdButton(this, id, text); };
    auto check = [this](int id, const char* text) { return MakeIdCheck(this, id, text); };
    auto edit = [this](int id) { return MakeIdEdit(this, id); };

    // The rule list side.
    auto* principle = new QLabel(QString::fromLatin1(kPrinciple), this);
    principle->setWordWrap(true);
    QPushButton* moveUp = button(237, "Move Up");
    QPushButton* moveDown = button(240, "Move Down");
    m_list = new QTreeWidget(this);
    m_list->setObjectName(IdName(201));
    m_list->setColumnCount(1);
    m_list->setHeaderLabels({QStringLiteral("Rule Name")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->header()->setStretchLastSection(true);
    m_list->installEventFilter(this);
    {
        // The selection shows even while the list has no focus.
        QPalette p = m_list->palette();
        p.setColor(QPalette::Inactive, QPalette::Highlight,
                   p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Active, QPalette::HighlightedText));
        m_list->setPalette(p);
    }
    QPushButton* add = button(241, "Add");
    QPushButton* remove = button(242, "Remove");
    m_fileName = edit(248);
    m_fileName->setReadOnly(true);
    QPushButton* browse = button(247, "Browse");

    auto* styleOptions = new QGroupBox(QStringLiteral("Style Options"), this);
    m_styleName = edit(214);
    m_styleName->setParent(styleOptions);
    QPushButton* background = button(252, "Background Color...");
    m_wrap = check(218, "Wrap long lines");
    m_wrap->setVisible(false);  // kept, as the file keeps LineWrap, but never shown
    m_patternRules = new QCheckBox(QStringLiteral("Use Regular Expressions"), styleOptions);
    m_patternRules->setObjectName(QStringLiteral("patternRules"));
    m_ownStamps = new QCheckBox(QStringLiteral("Time Stamp Font"), styleOptions);
    m_ownStamps->setObjectName(QStringLiteral("ownStamps"));
    m_ownStamps->setToolTip(
        QStringLiteral("Off: time stamps are drawn grey in the font of the first rule "
                       "that has no pattern"));
    m_stampFont = new QPushButton(QStringLiteral("Stamp Font..."), styleOptions);
    m_stampFont->setObjectName(QStringLiteral("stampFont"));
    m_stampColour = new QPushButton(QStringLiteral("Stamp Color..."), styleOptions);
    m_stampColour->setObjectName(QStringLiteral("stampColour"));
    m_stampSample = new QLabel(styleOptions);
    m_stampSample->setObjectName(QStringLiteral("stampSample"));
    m_stampSample->setAutoFillBackground(true);
    auto* styleGrid = new QGridLayout(styleOptions);
    styleGrid->addWidget(new QLabel(QStringLiteral("Style Name:"), styleOptions), 0, 0);
    styleGrid->addWidget(m_styleName, 0, 1, 1, 2);
    styleGrid->addWidget(new QLabel(QStringLiteral("Background Color:"), styleOptions), 1, 0);
    styleGrid->addWidget(background, 1, 1, 1, 2, Qt::AlignLeft);
    styleGrid->addWidget(m_patternRules, 2, 0, 1, 3);
    styleGrid->addWidget(m_ownStamps, 3, 0);
    styleGrid->addWidget(m_stampFont, 3, 1);
    styleGrid->addWidget(m_stampColour, 3, 2);
    styleGrid->addWidget(m_stampSample, 4, 0, 1, 3);

    auto* left = new QVBoxLayout;
    left->addWidget(principle);
    auto* moves = new QHBoxLayout;
    moves->addWidget(moveUp);
    moves->addWidget(moveDown);
    moves->addStretch();
    left->addLayout(moves);
    left->addWidget(m_list, 1);
    auto* edits = new QHBoxLayout;
    edits->addWidget(add);
    edits->addWidget(remove);
    edits->addStretch();
    left->addLayout(edits);
    auto* file = new QHBoxLayout;
    file->addWidget(new QLabel(QStringLiteral("Filename:"), this));
    file->addWidget(m_fileName, 1);
    file->addWidget(browse);
    left->addLayout(file);
    left->addWidget(styleOptions);

    // The rule side.
    m_form = new CRuleForm(this);

    QPushButton* ok = button(1, "OK");
    QPushButton* cancel = button(2, "Cancel");
    ok->setDefault(true);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 2);
    columns->addWidget(m_form, 3);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(columns, 1);
    outer->addLayout(bottom);

    // Wiring.
    connect(moveUp, &QPushButton::clicked, this, &CStyleEditorDlg::MoveUp);
    connect(moveDown, &QPushButton::clicked, this, &CStyleEditorDlg::MoveDown);
    connect(add, &QPushButton::clicked, this, &CStyleEditorDlg::AddRule);
    connect(remove, &QPushButton::clicked, this, &CStyleEditorDlg::RemoveRules);
    connect(browse, &QPushButton::clicked, this, &CStyleEditorDlg::Browse);
    connect(background, &QPushButton::clicked, this, &CStyleEditorDlg::ChooseBackground);
    connect(m_form, &CRuleForm::FontRequested, this, &CStyleEditorDlg::ChooseFont);
    connect(m_form, &CRuleForm::FontColourRequested, this, &CStyleEditorDlg::ChooseFontColour);
    connect(m_form, &CRuleForm::Clicked, this, &CStyleEditorDlg::TakeControls);
    connect(ok, &QPushButton::clicked, this, &CStyleEditorDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CStyleEditorDlg::reject);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (m_updating == 0) {
            ShowRule();
        }
    });
    connect(m_list, &QTreeWidget::customContextMenuRequested, this,
            [this](QPoint at) { ShowRuleMenu(m_list->viewport()->mapToGlobal(at)); });
    connect(m_wrap, &QCheckBox::clicked, this, [this](bool on) {
        m_scheme->LineWrap = on;
        SchemeChanged();
    });
    connect(m_patternRules, &QCheckBox::clicked, this, [this](bool on) {
        m_scheme->PatternRules = on;
        m_form->SetPatternRules(on);
        const SStyleRule placeholder;
        const SStyleRule* rule = SelectedRule();
        m_form->ShowPatternError(rule != nullptr ? *rule : placeholder);
        SchemeChanged();
    });
    connect(m_ownStamps, &QCheckBox::clicked, this, &CStyleEditorDlg::SetOwnStamps);
    connect(m_stampFont, &QPushButton::clicked, this, &CStyleEditorDlg::ChooseStampFont);
    connect(m_stampColour, &QPushButton::clicked, this, &CStyleEditorDlg::ChooseStampColour);
    connect(m_styleName, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_updating == 0 && m_scheme) {
            m_scheme->Name = QStringToBytes(text);
        }
    });
    connect(m_form, &CRuleForm::NameEdited, this, [this](const QString& text) {
        SStyleRule* rule = m_updating == 0 ? SelectedRule() : nullptr;
        if (rule == nullptr) {
            return;
        }
        rule->SetName(QStringToBytes(text));
        ++m_updating;
        m_list->topLevelItem(SelectedRows().front())->setText(0, BytesToQString(rule->Name));
        --m_updating;
    });
    connect(m_form, &CRuleForm::CustomValuesEdited, this, [this](const QString& text) {
        SStyleRule* rule = m_updating == 0 ? SelectedRule() : nullptr;
        if (rule != nullptr && !text.isEmpty()) {
            rule->SetCustomValues(QStringToBytes(text));
            SchemeChanged();
        }
    });
    connect(m_form, &CRuleForm::PatternEdited, this, [this](const QString& text) {
        SStyleRule* rule = m_updating == 0 ? SelectedRule() : nullptr;
        if (rule != nullptr && !text.isEmpty()) {
            rule->RegEx_MatchValue = QStringToBytes(text);
            m_form->ShowPatternError(*rule);
            if (m_scheme->PatternRules) {
                SchemeChanged();
            }
        }
    });
}

// ---- opening and the list

void CStyleEditorDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_opened) {
        m_opened = true;
        Open();
    }
}

void CStyleEditorDlg::Open() {
    if (!m_scheme) {
        SetScheme(std::make_shared<CStyleScheme>());
    }
    m_list->setColumnWidth(0, std::max(0, m_list->viewport()->width() - 2));
    FillList();
    if (m_list->topLevelItemCount() > 0) {
        SelectRow(0);
    } else {
        ShowRule();
    }
    m_fileName->setText(PathText(m_scheme->GetPath()));
    m_form->SetShowDataSource(m_showDataSource);
    RefreshPreviewNow();
    if (m_scheme->GetPath().empty()) {
        // Once the dialog is on the screen, so the warning stands over it.
        QTimer::singleShot(0, this, [this] {
            m_ui.Inform(QStringLiteral("Warning"), QString::fromLatin1(kDefaultStyleWarning), this);
        });
    }
}

void CStyleEditorDlg::FillList() {
    ++m_updating;
    m_list->clear();
    m_styleName->setText(BytesToQString(m_scheme->Name));
    m_wrap->setChecked(m_scheme->LineWrap);
    ShowStyleOptions();
    for (std::size_t i = 0; i < m_scheme->RuleCount(); ++i) {
        new QTreeWidgetItem(m_list, {BytesToQString(m_scheme->Rule(i).Name)});
    }
    --m_updating;
    // Nothing is selected now; the panel shows the placeholder.
    ShowRule();
}

std::vector<int> CStyleEditorDlg::SelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        if (m_list->topLevelItem(i)->isSelected()) {
            rows.push_back(i);
        }
    }
    return rows;
}

SStyleRule* CStyleEditorDlg::SelectedRule() const {
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? nullptr : m_rules.Rule(static_cast<std::size_t>(rows.front()));
}

void CStyleEditorDlg::SelectRow(int row) {
    if (row < 0 || row >= m_list->topLevelItemCount()) {
        return;
    }
    m_list->clearSelection();
    m_list->setCurrentItem(m_list->topLevelItem(row), 0, QItemSelectionModel::ClearAndSelect);
    ShowRule();
}

void CStyleEditorDlg::ShowRule() {
    const SStyleRule placeholder;
    const SStyleRule* selected = SelectedRule();
    m_form->ShowRule(selected != nullptr ? *selected : placeholder);
    RefreshSample();
}

void CStyleEditorDlg::TakeControls() {
    SStyleRule* rule = SelectedRule();
    if (rule == nullptr) {
        return;
    }
    m_form->TakeInto(*rule);
    m_form->EnableFor(*rule);
    SchemeChanged();
}

void CStyleEditorDlg::ShowStyleOptions() {
    m_patternRules->setChecked(m_scheme->PatternRules);
    m_form->SetPatternRules(m_scheme->PatternRules);
    m_ownStamps->setChecked(m_scheme->Stamps.has_value());
    m_stampFont->setEnabled(m_scheme->Stamps.has_value());
    m_stampColour->setEnabled(m_scheme->Stamps.has_value());
    RefreshStampSample();
}

namespace {

// The font the console draws the style's stamps in (its stamp gutter's rule):
// the body rule's font, then the stamps' own face and size where given.
QFont StampFont(const CStyleScheme& scheme, const QFont& base) {
    QFont font = base;
    if (const SStyleRule* body = scheme.BodyRule()) {
        font = FontOf(body->CharFormat, base);
        font.setUnderline(false);
        font.setStrikeOut(false);
    }
    if (scheme.Stamps && !scheme.Stamps->FaceName.empty()) {
        font.setFamily(BytesToQString(scheme.Stamps->FaceName));
    }
    if (scheme.Stamps && scheme.Stamps->PointSize > 0) {
        font.setPointSize(scheme.Stamps->PointSize);
    }
    return font;
}

}  // namespace

void CStyleEditorDlg::RefreshStampSample() {
    if (!m_scheme || !m_scheme->Stamps) {
        m_stampSample->setVisible(false);
        return;
    }
    m_stampSample->setVisible(true);
    m_stampSample->setFont(StampFont(*m_scheme, font()));
    QPalette p = m_stampSample->palette();
    p.setColor(QPalette::Window, ColourOf(m_scheme->BackgroundColor));
    p.setColor(QPalette::WindowText, ColourOf(m_scheme->Stamps->Color));
    m_stampSample->setPalette(p);
    m_stampSample->setText(QStringLiteral("14:07:09.250 +0.125"));
}

void CStyleEditorDlg::SetOwnStamps(bool on) {
    if (!m_scheme) {
        return;
    }
    if (on && !m_scheme->Stamps) {
        // Starts as the console draws stamps without a font of their own.
        m_scheme->Stamps = SStampFormat{};
    } else if (!on) {
        m_scheme->Stamps.reset();
    }
    ShowStyleOptions();
}

void CStyleEditorDlg::ChooseStampFont() {
    if (!m_scheme || !m_scheme->Stamps) {
        return;
    }
    SStampFormat& stamps = *m_scheme->Stamps;
    const auto chosen =
        m_ui.ChooseFont(SFontChoice{StampFont(*m_scheme, font()), ColourOf(stamps.Color)}, this);
    if (!chosen) {
        return;
    }
    stamps.FaceName = QStringToBytes(chosen->font.family());
    stamps.PointSize = std::max(0, chosen->font.pointSize());
    stamps.Color = ColorRefOf(chosen->colour);
    RefreshStampSample();
}

void CStyleEditorDlg::ChooseStampColour() {
    if (!m_scheme || !m_scheme->Stamps) {
        return;
    }
    const auto colour = m_ui.ChooseColour(ColourOf(m_scheme->Stamps->Color), this);
    if (!colour) {
        return;
    }
    m_scheme->Stamps->Color = ColorRefOf(*colour);
    RefreshStampSample();
}

void CStyleEditorDlg::RefreshSample() {
    const SStyleRule placeholder;
    const SStyleRule* selected = SelectedRule();
    const SCharFormat& format = (selected != nullptr ? *selected : placeholder).CharFormat;
    m_form->Sample().SetBackground(ColourOf(m_scheme ? m_scheme->BackgroundColor : 0xFFFFFF));
    // Drawn as the console draws it: same fonts, same rise.
    m_form->Sample().ShowText("Sample", format);
}

// ---- the preview

void CStyleEditorDlg::SchemeChanged() {
    // Changes that come in a burst (typing) share one redraw.
    if (!m_previewTimer.isActive()) {
        m_previewTimer.start();
    }
}

void CStyleEditorDlg::RefreshPreviewNow() {
    m_previewTimer.stop();
    RefreshPreview();
}

void CStyleEditorDlg::RefreshPreview() {
    ++m_previewRefreshes;
    m_form->Preview().SetBackground(ColourOf(m_scheme ? m_scheme->BackgroundColor : 0xFFFFFF));
    if (m_store == nullptr || !m_scheme) {
        m_form->Preview().Clear();
        return;
    }
    STailOptions options;
    options.lines = kPreviewLines;
    options.showAllSources = m_previewAllSources;
    // More than the pane can show of a line that never breaks only costs time.
    options.maxChars = kPreviewMaxChars;
    CMemorySurface tail = RenderTail(*m_store, m_scheme.get(), options);
    // Line ends shown as breaks of their own, as the preview always showed them.
    std::string shown;
    for (auto& run : tail.runs) {
        const std::string piece =
            PreviewText(std::string_view(tail.text).substr(run.start, run.length));
        run.start = shown.size();
        run.length = piece.size();
        shown += piece;
    }
    tail.text = std::move(shown);
    m_form->Preview().ShowSurface(tail);
}

// ---- buttons

void CStyleEditorDlg::ChooseFontColour() {
    SStyleRule* rule = SelectedRule();
    // On the colour the rule has now, so that Cancel and OK agree on it.
    const auto colour = m_ui.ChooseColour(
        rule != nullptr ? ColourOf(rule->CharFormat.crTextColor) : QColor(Qt::black), this);
    if (!colour || rule == nullptr) {
        return;
    }
    rule->CharFormat.crTextColor = ColorRefOf(*colour);
    RefreshSample();
    SchemeChanged();
}

void CStyleEditorDlg::ChooseFont() {
    SStyleRule* rule = SelectedRule();
    if (rule == nullptr) {
        // Opens on no particular font; the answer has nowhere to go.
        m_ui.ChooseFont(std::nullopt, this);
        return;
    }
    const SFontChoice initial{FontOf(rule->CharFormat, font()),
                              ColourOf(rule->CharFormat.crTextColor)};
    const auto chosen = m_ui.ChooseFont(initial, this);
    if (!chosen) {
        return;
    }
    WriteFontInto(rule->CharFormat, chosen->font, chosen->colour);
    RefreshSample();
    SchemeChanged();
}

void CStyleEditorDlg::ChooseBackground() {
    const auto colour = m_ui.ChooseColour(ColourOf(m_scheme->BackgroundColor), this);
    if (!colour) {
        return;
    }
    m_scheme->BackgroundColor = ColorRefOf(*colour);
    RefreshSample();
    RefreshStampSample();
    SchemeChanged();
}

void CStyleEditorDlg::Browse() {
    const QString dataDirectory = PathText(m_dataDirectory);
    const QString path = m_ui.ChooseStyleFile(dataDirectory, this);
    if (path.isEmpty()) {
        return;
    }
    if (!SameDirectory(QFileInfo(path).absolutePath(), dataDirectory) &&
        !m_ui.AskYesNo(QStringLiteral("Continue?"), QString::fromLatin1(kOutsideDataDirectory),
                       this)) {
        return;
    }
    // The style shown before stays where it was, unchanged.
    SetScheme(std::make_shared<CStyleScheme>());
    m_scheme->Load(PathBytes(path), true);
    FillList();
    if (m_list->topLevelItemCount() > 0) {
        SelectRow(0);
    }
    m_fileName->setText(PathText(m_scheme->GetPath()));
    SchemeChanged();
}

namespace {

std::vector<std::size_t> Indexes(const std::vector<int>& rows) {
    return {rows.begin(), rows.end()};
}

}  // namespace

void CStyleEditorDlg::AddRule() {
    const std::vector<int> rows = SelectedRows();
    const auto from =
        rows.empty() ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(rows[0]));
    if (!m_rules.Add(from)) {
        return;
    }
    FillList();
    SelectRow(m_list->topLevelItemCount() - 1);
    m_form->RuleName().setFocus();
    m_list->scrollToItem(m_list->topLevelItem(m_list->topLevelItemCount() - 1));
    SchemeChanged();
}

void CStyleEditorDlg::RemoveRules() {
    if (m_rules.Remove(Indexes(SelectedRows())) == 0) {
        return;
    }
    FillList();
    SchemeChanged();
}

void CStyleEditorDlg::MoveUp() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        return;
    }
    if (const auto row = m_rules.MoveUp(static_cast<std::size_t>(rows.front()))) {
        FillList();
        SelectRow(static_cast<int>(*row));
        SchemeChanged();
    }
}

void CStyleEditorDlg::MoveDown() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        return;
    }
    if (const auto row = m_rules.MoveDown(static_cast<std::size_t>(rows.front()))) {
        FillList();
        SelectRow(static_cast<int>(*row));
        SchemeChanged();
    }
}

// ---- the rule clipboard

void CStyleEditorDlg::CopyRules() {
    m_rules.Copy(Indexes(SelectedRows()));
}

void CStyleEditorDlg::PasteRules() {
    if (!m_rules.CanPaste()) {
        return;
    }
    m_rules.Paste();  // one copy pastes once
    FillList();
    SchemeChanged();
}

void CStyleEditorDlg::ShowRuleMenu(QPoint globalPos) {
    const std::vector<SPopupChoice> items = {
        {kCopyRules, QStringLiteral("Copy Rule(s)"), !SelectedRows().empty()},
        {kPasteRules, QStringLiteral("Paste Rules(s)"), m_rules.CanPaste()},
    };
    switch (m_ui.TrackPopup(items, globalPos, this)) {
        case kCopyRules:
            if (items[0].enabled) {
                CopyRules();
            }
            break;
        case kPasteRules:
            if (items[1].enabled) {
                PasteRules();
            }
            break;
        default:
            break;
    }
}

// ---- keys, OK

bool CStyleEditorDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        RemoveRules();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CStyleEditorDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        m_ui.ShowHelp(kHelpTopic, this);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CStyleEditorDlg::accept() {
    if (!m_scheme) {
        QDialog::accept();
        return;
    }
    if (m_scheme->Name.empty()) {
        m_ui.Inform(QStringLiteral("Style Name"), QString::fromLatin1(kNameMissing), this);
        return;
    }
    // A style that could not be written is said so; the dialog closes as usual
    // and the changes stay in memory.
    if (!m_scheme->GetPath().empty() && !m_scheme->Save()) {
        m_ui.Inform(QStringLiteral("Error"),
                    QStringLiteral("The style could not be saved to %1.\n%2")
                        .arg(PathText(m_scheme->GetPath()), BytesToQString(m_scheme->LastError())),
                    this);
    }
    QDialog::accept();
}

}  // namespace quillpad
