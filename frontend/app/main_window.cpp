#include "frontend/app/main_window.h"

#include "frontend/dialogs/center_on_screen.h"

#include "frontend/icons/icons.h"
#include "frontend/mail/folder_tree.h"
#include "frontend/mail/item_list.h"
#include "frontend/mail/item_viewer.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QWindow>

#include <algorithm>
#include <QFrame>
#include <QLabel>
#include <QStatusBar>

// The views' frame: lays its children out like the main window's client area: the band along
// the top, the tree on the left quarter, the list on the rest.
class ViewsFrame : public QWidget {
public:
    ViewsFrame(QWidget* parent, views::HeaderCache& cache, const std::function<void(int)>& command)
        : QWidget(parent) {
        band = new QFrame(this);
        band->setObjectName(QStringLiteral("band"));
        band->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        band->setFixedHeight(6);
        list = new views::ItemList(cache, command, this);
        tree = new views::FolderTree(*list, command, this);
    }

    QFrame* band;
    views::FolderTree* tree;
    views::ItemList* list;

protected:
    // layoutViews: W x H client area, band height Ht, tree width W / 4.
    void resizeEvent(QResizeEvent*) override {
        int w = width();
        int h = height();
        int ht = band->height();
        int tw = static_cast<int>(w * 0.25);
        band->setGeometry(0, 0, w, ht);
        tree->setGeometry(0, ht, tw, h - ht);
        list->setGeometry(tw, ht, w - tw, h - ht);
    }
};

MainWindow::MainWindow(Hooks hooks) : hooks_(std::move(hooks)) {
    setWindowTitle(QStringLiteral("Tarnwick"));
    setWindowIcon(programIcon(ProgramIcon::Program));
    setObjectName(QStringLiteral("TARNWICKCLASS"));
    resize(720, 460);
    clock_.start();
    refreshTimer_.setSingleShot(true);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { runRefresh(); });
    // Another window of ours, or none (another program's), took the focus.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focus) {
        if (focus != windowHandle()) inFront_ = false;
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) inFront_ = false;
    });
}

MainWindow::~MainWindow() = default;

bool MainWindow::isClosed() const {
    return !isVisible() || isMinimized();
}

bool MainWindow::inFront() const {
    return !isClosed() && views_ && (isActiveWindow() || inFront_);
}

void MainWindow::createViews() {
    if (isMinimized()) return;
    if (views_) destroyViews();
    views_ = new ViewsFrame(this, headerCache_, hooks_.command);
    setCentralWidget(views_);
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("status"));
    statusLeft_ = new QLabel(bar);
    statusLeft_->setObjectName(QStringLiteral("status0"));
    statusLeft_->setFixedWidth(200);
    statusRight_ = new QLabel(bar);
    statusRight_->setObjectName(QStringLiteral("status1"));
    bar->addWidget(statusLeft_);
    bar->addWidget(statusRight_, 1);
    setStatusBar(bar);
    views_->tree->fill();
}

views::FolderTree* MainWindow::folderTree() const {
    return views_ ? views_->tree : nullptr;
}

views::ItemList* MainWindow::itemList() const {
    return views_ ? views_->list : nullptr;
}

void MainWindow::refreshViews() {
    if (!views_ || refreshTimer_.isActive()) return;
    std::int64_t delay = pacer_.delayAt(clock_.elapsed());
    if (delay == 0) runRefresh();
    else refreshTimer_.start(static_cast<int>(std::min<std::int64_t>(delay, 60000)));
}

void MainWindow::runRefresh() {
    refreshTimer_.stop();
    if (!views_) return;
    std::int64_t began = clock_.elapsed();
    views_->tree->refresh();
    std::int64_t ended = clock_.elapsed();
    pacer_.refreshed(ended, ended - began);
}

int MainWindow::selectedAccountIndex() const {
    return views_ ? views_->tree->selectedAccountIndex() : -1;
}

void MainWindow::viewRememberedItem() {
    if (views_ && views_->list->rememberedRow()) views::viewItem(views_->list->rememberedRow()->path, this);
}

void MainWindow::deleteRememberedItem() {
    if (!views_ || !views_->list->rememberedRow()) return;
    views::MailRow row = *views_->list->rememberedRow();
    views_->list->forgetRow();
    views::confirmAndDelete(row, this);
    // The question's loop may have closed the views meanwhile.
    runRefresh();
}

void MainWindow::destroyViews() {
    refreshTimer_.stop();
    if (!views_) return;
    views_->list->storeLayout();
    delete takeCentralWidget();
    views_ = nullptr;
    setStatusBar(nullptr);
    statusLeft_ = statusRight_ = nullptr;
}

void MainWindow::setStatusParts(const QString& lastCheck, const QString& status) {
    if (!statusLeft_) return;
    statusLeft_->setText(lastCheck);
    statusRight_->setText(status);
}

QString MainWindow::statusPart(int part) const {
    QLabel* l = part == 0 ? statusLeft_ : statusRight_;
    return l ? l->text() : QString();
}

void MainWindow::openWindow(const std::optional<Placement>& placement) {
    ownStateChange_ = true;
    hide();
    if (placement) resize(placement->right - placement->left, placement->bottom - placement->top);
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    ownStateChange_ = false;
}

void MainWindow::closeWindow(bool hideIt) {
    inFront_ = false;
    ownStateChange_ = true;
    if (hideIt) hide();
    else showMinimized();
    ownStateChange_ = false;
}

Placement MainWindow::currentPlacement() const {
    QRect r = normalGeometry().isValid() ? normalGeometry() : geometry();
    Placement p;
    p.showCmd = isMinimized() ? 2 : 1;   // SW_SHOWMINIMIZED : SW_SHOWNORMAL
    p.left = r.left();
    p.top = r.top();
    p.right = r.left() + r.width();
    p.bottom = r.top() + r.height();
    return p;
}

void MainWindow::centerWindow() {
    centerOnScreen(this);
    update();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();   // the shutdown question decides
    if (hooks_.closeRequested) hooks_.closeRequested();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) inFront_ = isActiveWindow();
    if (event->type() != QEvent::WindowStateChange || ownStateChange_) return;
    if (isMinimized()) {
        if (hooks_.minimized) hooks_.minimized();
    } else if (!views_ && isVisible()) {
        if (hooks_.restored) hooks_.restored();
    }
}
