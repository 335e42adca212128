#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// Header only: the logic libraries never include it, the windows of both
// programs do.
namespace widgets {

// Folders that may hold Qt's own translations: translations/ beside the
// program, where the Windows folder has them, then Qt's installed folder (on
// Debian from qt6-translations-l10n).
inline QStringList qtTranslationFolders()
{
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
}

// Installs Qt's Japanese texts ("はい", "元に戻す", the standard dialogs)
// whatever the system's language: every caption of the programs is
// Japanese. True when a translation was found; a missing file is no error,
// Qt's texts then stay in English.
inline bool installQtJapanese(QCoreApplication &app)
{
    // qtbase_ja.qm as Qt installs it; qt_ja.qm where a deployment gathered
    // the modules' catalogs into one.
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    for (const QString &folder : qtTranslationFolders()) {
        for (const char *catalog : {"qtbase", "qt"}) {
            auto *translator = new QTranslator(&app);
            if (translator->load(japanese, QString::fromLatin1(catalog), QStringLiteral("_"),
                                 folder) &&
                QCoreApplication::installTranslator(translator))
                return true;
            delete translator;
        }
    }
    return false;
}

} // namespace widgets
