#pragma once
// What the core needs from its surroundings. The main window implements it with its panes,
// message boxes and event loop; the command-line tool and the tests provide their own.

#include <string>

namespace vemilo {

class Host {
public:
    virtual ~Host() = default;

    // Appends one line at the foot of the log pane.
    virtual void LogLine(const std::string& text) = 0;

    // Clears, or appends one line to, the information pane of a side (0 = file 1, 1 = file 2).
    virtual void clearInfo(int side) = 0;
    virtual void appendInfo(int side, const std::string& text) = 0;

    // A modal message box with one OK button; returns when it has been closed.
    virtual void showMessage(const std::string& text) = 0;

    // Lets the window handle what is pending. Any handler may run inside this call, loading files
    // into slots or changing options, so callers must not hold references that a handler may change.
    virtual void processPendingEvents() = 0;

    // The progress bar, 0 to 100.
    virtual int progress() const = 0;
    virtual void setProgress(int percent) = 0;

    // The comparison options as the controls hold them at the moment of the call.
    virtual bool zeroSkip() const = 0;
    virtual bool matchPoint() const = 0;
    virtual bool detailDisplay() const = 0;
    virtual std::string matchLengthText() const = 0;
    virtual std::string differenceLimitText() const = 0;
};

}  // namespace vemilo
