#pragma once

#include <QDialog>
#include <QLabel>
#include <functional>
#include <string>

class QPushButton;
class TMessageService;

// A label showing a web address: blue and underlined, red while the mouse is
// over it; a press with any button opens the address in the user's browser.
class THyperLinkLabel : public QLabel {
    Q_OBJECT
public:
    // Opens a web address; false when no browser could be started.
    using TOpener = std::function<bool(const std::string& url)>;

    THyperLinkLabel(const QString& target, QWidget* parent = nullptr);

    std::string Target() const { return target_; }
    // The address handed to the browser: the web scheme and the target.
    std::string Url() const { return "https://" + target_; }
    void SetOpener(TOpener opener) { opener_ = std::move(opener); }
    void SetMessages(TMessageService* messages) { messages_ = messages; }
    bool Hovered() const { return hovered_; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void SetHovered(bool hovered);

    std::string target_;
    TOpener opener_;
    TMessageService* messages_ = nullptr;
    bool hovered_ = false;
};

// The About box: the program's name, version, maker and home page, and the
// terms of use.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(TMessageService* messages = nullptr, QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* Label1 = nullptr;
    THyperLinkLabel* lblHomePage = nullptr;
    QLabel* Label3 = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* btnOK = nullptr;
};

// Shows the About box modally.
void ShowAboutBox(TMessageService* messages = nullptr, QWidget* parent = nullptr);
