#include "tool/qt/dialog_frame.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace dravel {

void InstallQtTranslations() {
    QCoreApplication* app = QCoreApplication::instance();
    static const QString kName = QStringLiteral("dravel-qtbase-zh_CN");
    if (app == nullptr || app->findChild<QTranslator*>(kName, Qt::FindDirectChildrenOnly)) return;
    auto* translator = new QTranslator(app); // the application owns it
    translator->setObjectName(kName);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}

} // namespace dravel
