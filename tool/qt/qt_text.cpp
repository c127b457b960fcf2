#include "tool/qt/qt_dialog_view.h"

namespace dravel {

QString ToQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQString(const QString& text) { return text.toUtf8().toStdString(); }

void ShowMessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                    MessageIcon icon) {
    const QMessageBox::Icon shown = icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                    : icon == MessageIcon::Error     ? QMessageBox::Critical
                                                                     : QMessageBox::NoIcon;
    QMessageBox box(shown, ToQString(caption), ToQString(text), QMessageBox::Ok, parent);
    box.exec();
}

} // namespace dravel
