// The program's own help window: the help pages in a QTextBrowser when the desktop has nothing
// to open them with, and the day's log in the same window. Links to other sites still go to the
// desktop's browser.
#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QTextBrowser;

class HelpWindow : public QDialog {
    Q_OBJECT

public:
    // logPath answers the path of the day's log when it is to be shown.
    HelpWindow(std::function<std::string()> logPath, QWidget* parent = nullptr);

    // A file: address, with an anchor or without; a page that is not there says so.
    void showPage(const std::string& url);
    void showLog();

    QTextBrowser* browser() const { return browser_; }

private:
    void present();

    std::function<std::string()> logPath_;
    QTextBrowser* browser_;
    std::string lastPage_;
};
