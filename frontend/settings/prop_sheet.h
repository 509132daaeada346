// The frame of every settings dialog: pages in tabs over one settings model, with OK and
// Cancel. A page shows the model's values when it comes to the front and puts its fields back
// into the model when it is left or OK is pressed; OK then stores the model. Cancel drops it.
#pragma once

#include <QDialog>
#include <QUrl>
#include <QString>
#include <QWidget>

#include <functional>

class QHBoxLayout;
class QTabWidget;
class SettingsModel;

class PropPage : public QWidget {
    Q_OBJECT

public:
    // name: the page's object name, which says what it holds ("connectionPage"); title: the
    // text of its tab, kept as its window title.
    PropPage(const char* name, const QString& title, SettingsModel& model);

    // The page comes to the front: its fields show the model's values.
    virtual void load() {}
    // The page is left, or OK is pressed on it: false keeps the user on the page (after
    // telling why); true once the fields are in the model.
    virtual bool save() { return true; }
    // OK has stored the model.
    virtual void stored() {}

protected:
    SettingsModel& model_;
};

class PropSheet : public QDialog {
    Q_OBJECT

public:
    PropSheet(QWidget* parent, const QString& caption, SettingsModel& model);

    // The sheet owns its pages.
    void addPage(PropPage* page);
    // Shows the pages from the first, its first field in focus, modal for its owner window but
    // without a loop of its own; done(stored) follows once it has closed (true when OK stored the
    // model), and the sheet is then deleted. The sheet must have been made with new.
    void start(std::function<void(bool stored)> done = {});
    // A window the sheet opens beside rather than over (the set-up help at first start): both
    // share the screen, and the other window stays usable while the sheet runs.
    void setBeside(QWidget* window) { beside_ = window; }
    // A help page shown in the sheet itself, at its right: where the window system places the
    // windows (Wayland), the only way to keep the help beside the sheet rather than under it.
    void showHelpPanel(const QUrl& page);

private:
    void enter(int index);
    void setTab(int index);
    void changeTo(int index);
    void ok();
    PropPage* page(int index) const;

    SettingsModel& model_;
    QTabWidget* tabs_;
    QHBoxLayout* body_;  // the tabs, and the help panel where there is one
    int current_ = 0;
    QWidget* beside_ = nullptr;
};
