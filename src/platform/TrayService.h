#pragma once

#include <QObject>
#include <string>

class QMenu;

// The notification-area icon: present exactly while the program is in the
// tray, its tooltip the current hint, its menu the main window's popup menu.
class TTrayService : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void SetHint(const std::string& hint) = 0;
    virtual std::string Hint() const = 0;
    virtual void SetIconVisible(bool visible) = 0;
    virtual bool IconVisible() const = 0;
    // Whether a tray host is there to show the icon at all.
    virtual bool HostAvailable() const = 0;
    virtual void SetPopupMenu(QMenu* menu) = 0;
    // A passing notice that waits for nobody (a balloon or the desktop's
    // notification); nothing where no tray host is there to show it.
    virtual void ShowNotice(const std::string& title, const std::string& text) = 0;

signals:
    // The icon's default command (a double click, a host's Activate), or a
    // tray host gone for good while in the tray: show the main window again.
    void restoreRequested();
    // A tray host has come where there was none: a minimised window joins
    // the tray now.
    void hostAppeared();
};
