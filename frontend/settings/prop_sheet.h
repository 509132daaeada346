// The sheet framework of every settings dialog: a PropSheet shows its pages either as tabs
// with OK and Cancel, or as a wizard with Back, Next and Finish; each PropPage is told when it
// becomes active, when it is left, when OK or Finish is pressed and when one of its buttons is
// and answers whether its input is valid and whether it stored its values.
#pragma once

#include <QString>
#include <QWidget>

#include <vector>

class PropSheet;
class QDialog;

// Wizard buttons a page enables when it becomes active.
constexpr int PSWIZB_BACK = 1;
constexpr int PSWIZB_NEXT = 2;
constexpr int PSWIZB_FINISH = 4;

class PropPage : public QWidget {
    Q_OBJECT

public:
    // name: the page's object name, which says what it holds ("connectionPage").
    PropPage(const char* name, const QString& title);

    const QString& title() const { return title_; }

    // The page becomes active (first time or again): fill the controls.
    virtual void activate() = 0;
    // Right after activate.
    virtual void activated() {}
    // OK pressed, for every page that has been active: non-zero when stored.
    virtual int apply() = 0;
    // The page is left, and before OK or Finish: non-zero when its input is valid.
    virtual int validate() = 0;
    // The wizard's Finish pressed on this page.
    virtual void finish() {}

    // The sheet showing the page (set by PropSheet::show), or null.
    PropSheet* sheet() const { return sheet_; }

protected:
    // Enables the wizard's Back, Next and Finish buttons (PSWIZB_* flags).
    void setWizardButtons(int flags);

private:
    friend class PropSheet;
    QString title_;
    PropSheet* sheet_ = nullptr;
};

class PropSheet {
public:
    PropSheet(QWidget* parent, const QString& caption);

    // The sheet does not own its pages; they outlive show.
    void addPage(PropPage* page);
    // Shows the pages modally, from the first; answers 1 for OK or Finish, 0 for Cancel.
    int show(bool wizard);

    // While showing: the dialog, the index of the current page, and making a page current.
    QDialog* dialog() const { return dialog_; }
    int currentIndex() const;
    void setWizardButtons(int flags);

    const std::vector<PropPage*>& pages() const { return pages_; }

private:
    template <class Dialog>
    int run();

    QWidget* parent_;
    QString caption_;
    std::vector<PropPage*> pages_;
    QDialog* dialog_ = nullptr;
};
