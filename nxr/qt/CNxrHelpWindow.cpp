#include "nxr/qt/CNxrHelpWindow.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillpad {

CNxrHelpWindow::CNxrHelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_browser(new QTextBrowser(this)),
      m_back(new QToolButton(this)),
      m_forward(new QToolButton(this)),
      m_find(new QLineEdit(this)),
      m_status(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Quillpad Help"));
    // Closing the last console window ends the program, help or no help.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(820, 640);

    auto* back = new QAction(QStringLiteral("Back"), this);
    back->setShortcut(QKeySequence::Back);
    back->setEnabled(false);
    auto* forward = new QAction(QStringLiteral("Forward"), this);
    forward->setShortcut(QKeySequence::Forward);
    forward->setEnabled(false);
    m_back->setDefaultAction(back);
    m_forward->setDefaultAction(forward);
    connect(back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);

    m_find->setPlaceholderText(QStringLiteral("Find"));
    m_find->setClearButtonEnabled(true);
    auto* findNext = new QToolButton(this);
    findNext->setText(QStringLiteral("Next"));
    auto* findPrevious = new QToolButton(this);
    findPrevious->setText(QStringLiteral("Previous"));
    connect(m_find, &QLineEdit::returnPressed, this, [this] { FindFromField(false); });
    connect(findNext, &QToolButton::clicked, this, [this] { FindFromField(false); });
    connect(findPrevious, &QToolButton::clicked, this, [this] { FindFromField(true); });
    connect(m_find, &QLineEdit::textChanged, m_status, &QLabel::clear);

    auto* focusFind = new QAction(this);
    focusFind->setShortcut(QKeySequence::Find);
    connect(focusFind, &QAction::triggered, this, [this] {
        m_find->setFocus();
        m_find->selectAll();
    });
    auto* next = new QAction(this);
    next->setShortcut(QKeySequence::FindNext);
    connect(next, &QAction::triggered, this, [this] { FindFromField(false); });
    auto* previous = new QAction(this);
    previous->setShortcut(QKeySequence::FindPrevious);
    connect(previous, &QAction::triggered, this, [this] { FindFromField(true); });
    addActions({back, forward, focusFind, next, previous});

    m_browser->setOpenExternalLinks(true);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_back);
    bar->addWidget(m_forward);
    bar->addStretch(1);
    bar->addWidget(m_status);
    bar->addWidget(m_find);
    bar->addWidget(findPrevious);
    bar->addWidget(findNext);
    auto* column = new QVBoxLayout(this);
    column->addLayout(bar);
    column->addWidget(m_browser, 1);
}

CNxrHelpWindow* CNxrHelpWindow::Instance() {
    static QPointer<CNxrHelpWindow> window;
    if (window.isNull()) {
        window = new CNxrHelpWindow;
        // A window without a parent outlives nothing: it goes with the
        // application's event loop, not after QApplication is gone.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                         QCoreApplication::instance(), [] { delete window.data(); });
    }
    return window;
}

bool CNxrHelpWindow::Open(const QUrl& url) {
    if (url.isLocalFile() && !QFileInfo(url.toLocalFile()).isReadable()) {
        return false;
    }
    // Asked for from a modal dialog (F1 in it), the window becomes one of
    // the dialog's: on its own it would be blocked and stay behind it.
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog != nullptr && dialog != m_dialog && !isAncestorOf(dialog)) {
        LeaveDialog();
        const QRect place = geometry();
        setParent(dialog, Qt::Window);
        setGeometry(place);
        m_dialog = dialog;
        connect(dialog, &QDialog::finished, this, &CNxrHelpWindow::LeaveDialog);
    }
    // A window left open behind the console comes to the front again.
    show();
    raise();
    activateWindow();
    m_browser->setSource(url);
    // Find starts from the topic shown, not from the top of the guide.
    m_browser->setTextCursor(m_browser->cursorForPosition(QPoint(0, 0)));
    return !m_browser->document()->isEmpty();
}

void CNxrHelpWindow::LeaveDialog() {
    if (m_dialog.isNull()) {
        return;
    }
    disconnect(m_dialog, nullptr, this, nullptr);
    m_dialog.clear();
    const bool shown = isVisible();
    const QRect place = geometry();
    setParent(nullptr, Qt::Window);
    setGeometry(place);
    if (shown) {
        show();
        raise();
        activateWindow();
    }
}

void CNxrHelpWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool CNxrHelpWindow::FindText(const QString& text, bool backward) {
    if (text.isEmpty()) {
        return false;
    }
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (m_browser->find(text, flags)) {
        return true;
    }
    // Round from the other end, once.
    const QTextCursor before = m_browser->textCursor();
    m_browser->moveCursor(backward ? QTextCursor::End : QTextCursor::Start);
    if (m_browser->find(text, flags)) {
        return true;
    }
    m_browser->setTextCursor(before);
    return false;
}

QString CNxrHelpWindow::FindStatus() const {
    return m_status->text();
}

void CNxrHelpWindow::FindFromField(bool backward) {
    m_status->setText(FindText(m_find->text(), backward) ? QString() : QStringLiteral("Not found"));
}

}  // namespace quillpad
