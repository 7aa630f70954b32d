#pragma once
// Modal dialogs of the window, behind one interface so that tests never wait on a dialog.

#include <QString>
#include <exception>

namespace vemilo::widgets {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A message box with the text, one OK button and the caption "Vemilo".
    virtual void message(const QString& text) = 0;
    // The error display: error icon, caption "Vemilo", the text as given (full stop already applied).
    virtual void error(const QString& text) = 0;
    // A folder picker; the chosen folder, or an empty text when cancelled.
    virtual QString chooseFolder(const QString& title) = 0;
    // Closes every dialog still open (the main window is closing): each returns as if cancelled
    // or acknowledged, so that nothing keeps the program running.
    virtual void closeAll() {}
};

// The dialogs in use: Qt's own unless a test installed others.
Dialogs& dialogs();
// Installs replacement dialogs (nullptr restores Qt's); returns the previous ones.
Dialogs* setDialogs(Dialogs* replacement);

// Appends "." unless the message already ends in a character whose code is at most that of ".".
QString withFullStop(const QString& message);

// Shows an error through the error display.
void showErrorDisplay(const QString& message);

// Runs a handler; an error it raises goes to the error display and the program goes on. Handlers
// are wrapped where Qt calls them, so that no exception ever unwinds through Qt's own frames.
template <typename Handler>
void guarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        showErrorDisplay(QString::fromUtf8(error.what()));
    }
}

}  // namespace vemilo::widgets
