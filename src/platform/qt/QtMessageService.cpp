#include "platform/qt/QtMessageService.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringDecoder>

namespace {
// The length of the well-formed UTF-8 sequence at bytes[i], 0 where there is none.
std::size_t Utf8Length(const std::string& bytes, std::size_t i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
        return 1;
    }
    const std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (n == 0 || lead >= 0xF8 || i + n > bytes.size()) {
        return 0;
    }
    char32_t code = lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return n;
}
}  // namespace

QString DisplayText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError()) {
        return s;
    }
    // A translated message may carry a name in another encoding: the
    // message's own text stays UTF-8 around the name's Latin-1 bytes.
    QString out;
    out.reserve(qsizetype(bytes.size()));
    std::size_t run = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        if (const std::size_t n = Utf8Length(bytes, i)) {
            i += n;
            continue;
        }
        out += QString::fromUtf8(bytes.data() + run, qsizetype(i - run));
        out += QChar(static_cast<unsigned char>(bytes[i]));
        run = ++i;
    }
    out += QString::fromUtf8(bytes.data() + run, qsizetype(bytes.size() - run));
    return out;
}

namespace {
void Show(QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
}  // namespace

void TQtMessageService::ShowError(const std::string& text) {
    Show(QMessageBox::Critical, QCoreApplication::translate("TQtMessageService", "Error"),
         DisplayText(text));
}

void TQtMessageService::ShowWarning(const std::string& text) {
    Show(QMessageBox::Warning, QCoreApplication::translate("TQtMessageService", "Warning"),
         DisplayText(text));
}

void TQtMessageService::ReportException(const std::string& what) {
    Show(QMessageBox::Critical, title_, DisplayText(ExceptionReportText(what)));
}
