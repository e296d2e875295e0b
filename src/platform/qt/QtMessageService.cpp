#include "platform/qt/QtMessageService.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringDecoder>

QString DisplayText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError()) {
        return s;
    }
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

namespace {
void Show(QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
}  // namespace

void TQtMessageService::ShowError(const std::string& text) {
    Show(QMessageBox::Critical, QStringLiteral("Error"), DisplayText(text));
}

void TQtMessageService::ShowWarning(const std::string& text) {
    Show(QMessageBox::Warning, QStringLiteral("Warning"), DisplayText(text));
}

void TQtMessageService::ReportException(const std::string& what) {
    Show(QMessageBox::Critical, title_, DisplayText(ExceptionReportText(what)));
}
