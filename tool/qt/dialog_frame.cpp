#include "tool/qt/dialog_frame.h"

#include <QDialog>
#include <QFont>

namespace dravel {

QStringList DialogFontFallbacks() {
    return {QStringLiteral("SimSun"), QStringLiteral("NSimSun"), QStringLiteral("AR PL UMing CN"),
            QStringLiteral("AR PL UMing TW"), QStringLiteral("AR PL UMing HK")};
}

void InstallDialogFontSubstitutes() {
    static const bool installed = [] {
        QFont::insertSubstitutions(QString::fromUtf8(kDialogFontFamily), DialogFontFallbacks());
        return true;
    }();
    (void)installed;
}

void ApplyDialogFrame(QDialog* dialog) {
    InstallDialogFontSubstitutes();
    QFont font(QString::fromUtf8(kDialogFontFamily), kDialogFontPointSize);
    QStringList families{QString::fromUtf8(kDialogFontFamily)};
    families += DialogFontFallbacks();
    font.setFamilies(families);
    dialog->setFont(font);

    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
    dialog->setSizeGripEnabled(false);
    dialog->setFixedSize(dialog->size());
}

} // namespace dravel
