#pragma once
// Where the core reports: the log, the two information panes, message boxes, the progress bar,
// and the moments at which the window may handle what is pending. The main window implements it
// with its panes, the command-line tool with its streams, the tests with a recorder.

#include <string>

namespace vemilo {

class Reporter {
public:
    virtual ~Reporter() = default;

    // Appends one line at the foot of the log; clears the whole log.
    virtual void logLine(const std::string& text) = 0;
    virtual void clearLog() = 0;

    // Clears, or appends one line to, the information pane of a side (0 = file 1, 1 = file 2).
    virtual void clearInfo(int side) = 0;
    virtual void appendInfo(int side, const std::string& text) = 0;

    // A modal message box with one OK button; returns when it has been closed.
    virtual void showMessage(const std::string& text) = 0;

    // Lets the window handle what is pending. Any handler may run inside this call, loading files
    // into slots or changing options, so callers must not hold references that a handler may change.
    virtual void processPendingEvents() = 0;

    // True once the user has asked to end the program: long work stops at its next pause.
    virtual bool stopRequested() const { return false; }

    // False when no line logged or shown is kept (a folder run that reports verdicts only): the
    // core then spares itself building them.
    virtual bool keepsText() const { return true; }

    // The progress bar, 0 to 100.
    virtual int progress() const = 0;
    virtual void setProgress(int percent) = 0;
};

// Logs a printf-formatted line, formatted only when the reporter keeps it.
void logFormatted(Reporter& reporter, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace vemilo
