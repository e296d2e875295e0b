#pragma once

#include <string>

// Modal message boxes and the general error report. The program shows real
// boxes; tests record what would have been shown.
class TMessageService {
public:
    virtual ~TMessageService() = default;
    // Modal box with the error icon, caption "Error" and one "OK" button.
    virtual void ShowError(const std::string& text) = 0;
    // Modal box with the warning icon, caption "Warning" and one "OK" button.
    virtual void ShowWarning(const std::string& text) = 0;
    // The report of an exception that escaped a command: its text after
    // ExceptionReportText, the application's title as caption, the error icon.
    virtual void ReportException(const std::string& what) = 0;
};

// An exception's text as the error report shows it: a full stop is appended
// when the last character sorts after ".".
std::string ExceptionReportText(const std::string& what);
