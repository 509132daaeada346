#include "frontend/app/main_window.h"

#include "frontend/icons/icons.h"
#include "frontend/mail/folder_tree.h"
#include "frontend/mail/item_list.h"
#include "frontend/mail/item_viewer.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

MainWindow::MainWindow() {
    setWindowTitle(QStringLiteral("Tarnwick"));
    setWindowIcon(programIcon(ProgramIcon::Program));
    setObjectName(QStringLiteral("TARNWICKCLASS"));
    // Wide enough for the tree and every column of the list at its default width; a smaller
    // screen shrinks it (keepOnScreen).
    resize(900, 500);
    clock_.start();
    refreshTimer_.setSingleShot(true);
    noticeTimer_.setSingleShot(true);
    connect(&noticeTimer_, &QTimer::timeout, this, [this] {
        if (!statusRight_) return;
        statusRight_->setText(status_);
        statusRight_->setToolTip(status_);
    });
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { runRefresh(); });
    // Another window of ours, or none (another program's), took the focus.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focus) {
        if (focus != windowHandle()) inFront_ = false;
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) inFront_ = false;
    });
}

bool MainWindow::isClosed() const {
    return !isVisible() || isMinimized();
}

bool MainWindow::inFront() const {
    return !isClosed() && viewsOpen() && (isActiveWindow() || inFront_);
}

// The band along the top, below it the tree and the list side by side in a splitter the user
// can drag. The tree starts with a quarter of the width and keeps that share as the window
// grows or shrinks, until the user moves the handle.
void MainWindow::createViews() {
    if (isMinimized()) return;
    if (views_) destroyViews();
    views_ = new QWidget(this);
    auto* band = new QFrame(views_);
    band->setObjectName(QStringLiteral("band"));
    band->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    band->setFixedHeight(6);
    auto* splitter = new QSplitter(Qt::Horizontal, views_);
    splitter->setObjectName(QStringLiteral("viewsSplitter"));
    splitter->setChildrenCollapsible(false);
    list_ = new views::ItemList(headerCache_, splitter);
    tree_ = new views::FolderTree(*list_, splitter);
    splitter->insertWidget(0, tree_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    // Relative weights: the splitter shares its first width out in this proportion.
    splitter->setSizes({1000, 3000});
    auto* layout = new QVBoxLayout(views_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(band);
    layout->addWidget(splitter, 1);
    setCentralWidget(views_);
    // The list's menu acts after its own event, on the row it remembered.
    connect(list_, &views::ItemList::viewRequested, this, &MainWindow::viewRememberedItem, Qt::QueuedConnection);
    connect(list_, &views::ItemList::deleteRequested, this, &MainWindow::deleteRememberedItem, Qt::QueuedConnection);
    connect(tree_, &views::FolderTree::propertiesRequested, this, &MainWindow::accountPropertiesRequested);
    connect(tree_, &views::FolderTree::mailProgramStarted, this, &MainWindow::mailProgramStarted);
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("status"));
    statusLeft_ = new QLabel(bar);
    statusLeft_->setObjectName(QStringLiteral("status0"));
    statusLeft_->setFixedWidth(200);
    statusRight_ = new QLabel(bar);
    statusRight_->setObjectName(QStringLiteral("status1"));
    // A long status (a failure with the log's path) is cut at the window's edge, and shown
    // whole as the field's tip; it never widens the window past the screen.
    statusRight_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(statusLeft_);
    bar->addWidget(statusRight_, 1);
    setStatusBar(bar);
    viewsShown_ = true;
    tree_->fill();
    if (!pendingNotice_.isEmpty()) showNotice(pendingNotice_);
}

void MainWindow::hideViews() {
    refreshTimer_.stop();
    if (!viewsOpen()) return;
    list_->storeLayout();
    views_->hide();
    statusBar()->hide();
    viewsShown_ = false;
}

void MainWindow::showViews() {
    if (!views_) {
        createViews();
        return;
    }
    if (isMinimized()) return;
    views_->show();
    statusBar()->show();
    viewsShown_ = true;
    tree_->fill();
    if (!pendingNotice_.isEmpty()) showNotice(pendingNotice_);
}

void MainWindow::refreshViews() {
    if (!viewsOpen() || refreshTimer_.isActive()) return;
    std::int64_t delay = pacer_.delayAt(clock_.elapsed());
    if (delay == 0) runRefresh();
    else refreshTimer_.start(static_cast<int>(std::min<std::int64_t>(delay, 60000)));
}

void MainWindow::runRefresh() {
    refreshTimer_.stop();
    if (!viewsOpen()) return;
    std::int64_t began = clock_.elapsed();
    tree_->refresh();
    std::int64_t ended = clock_.elapsed();
    pacer_.refreshed(ended, ended - began);
}

int MainWindow::selectedAccountIndex() const {
    return viewsOpen() ? tree_->selectedAccountIndex() : -1;
}

void MainWindow::viewRememberedItem() {
    if (viewsOpen() && list_->rememberedRow()) views::viewItem(list_->rememberedRow()->path, this);
}

void MainWindow::deleteRememberedItem() {
    if (!viewsOpen() || !list_->rememberedRow()) return;
    views::MailRow row = *list_->rememberedRow();
    list_->forgetRow();
    views::confirmAndDelete(row, this);
    // The question's loop may have closed the views meanwhile.
    runRefresh();
}

void MainWindow::destroyViews() {
    refreshTimer_.stop();
    if (!views_) return;
    if (viewsShown_) list_->storeLayout();
    delete takeCentralWidget();
    views_ = nullptr;
    viewsShown_ = false;
    tree_ = nullptr;
    list_ = nullptr;
    setStatusBar(nullptr);
    statusLeft_ = statusRight_ = nullptr;
}

void MainWindow::setStatusParts(const QString& lastCheck, const QString& status) {
    if (!viewsOpen()) return;
    statusLeft_->setText(lastCheck);
    status_ = status;
    const QString& shown = noticeTimer_.isActive() ? notice_ : status_;
    statusRight_->setText(shown);
    statusRight_->setToolTip(shown);
}

// The notice takes the status field's place for its time; the status comes back after it.
void MainWindow::showNotice(const QString& text) {
    pendingNotice_ = text;
    if (!viewsOpen()) return;
    notice_ = pendingNotice_;
    pendingNotice_.clear();
    noticeTimer_.start(kNoticeMs);
    statusRight_->setText(notice_);
    statusRight_->setToolTip(notice_);
}

QString MainWindow::statusPart(int part) const {
    QLabel* l = part == 0 ? statusLeft_ : statusRight_;
    return l && viewsOpen() ? l->text() : QString();
}

void MainWindow::openWindow(const std::optional<Placement>& placement) {
    ownStateChange_ = true;
    hide();
    if (placement) resize(placement->right - placement->left, placement->bottom - placement->top);
    requested_ = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    setWindowState(requested_);
    ownStateChange_ = false;
}

void MainWindow::closeWindow(bool hideIt) {
    inFront_ = false;
    ownStateChange_ = true;
    if (hideIt) hide();
    else showMinimized();
    requested_ = windowState() | Qt::WindowMinimized;
    ownStateChange_ = false;
}

Placement MainWindow::currentPlacement() const {
    QRect r = normalGeometry().isValid() ? normalGeometry() : geometry();
    Placement p;
    p.showCmd = isMinimized() ? 2 : 1;  // SW_SHOWMINIMIZED : SW_SHOWNORMAL
    p.left = r.left();
    p.top = r.top();
    p.right = r.left() + r.width();
    p.bottom = r.top() + r.height();
    return p;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();  // the shutdown question decides
    emit closeRequested();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) inFront_ = isActiveWindow();
    if (event->type() != QEvent::WindowStateChange || ownStateChange_) return;
    // The window system reports states late, and a report of a state we set ourselves may
    // come after we set another: what counts is where the reports settle.
    QMetaObject::invokeMethod(this, &MainWindow::stateSettled, Qt::QueuedConnection);
}

// Minimised or restored by the user: a state other than the one we asked for last.
void MainWindow::stateSettled() {
    bool minimisedByUs = requested_.testFlag(Qt::WindowMinimized);
    if (isMinimized()) {
        if (!minimisedByUs) emit minimized();
    } else if (isVisible() && (minimisedByUs || !viewsOpen())) {
        emit restored();
    }
}
