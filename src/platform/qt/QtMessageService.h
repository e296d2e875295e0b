#pragma once

#include <QString>

#include "platform/MessageService.h"

class QWidget;

// Message boxes as Qt shows them. Texts from the core are bytes; they are
// shown as UTF-8 where they are, byte for byte as Latin-1 elsewhere.
class TQtMessageService : public TMessageService {
public:
    explicit TQtMessageService(QString applicationTitle) : title_(std::move(applicationTitle)) {}
    void ShowError(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    void ReportException(const std::string& what) override;

private:
    QString title_;
};

// Text bytes from files and settings for display: UTF-8 where they are UTF-8,
// each other byte as one Latin-1 character, so no name is ever hidden.
QString DisplayText(const std::string& bytes);
