#include "ui_common/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <cstdio>

namespace vemla {

TTranslations::TTranslations(TLanguage language) {
    auto translator = std::make_unique<QTranslator>();
    const bool loaded = language == TLanguage::English
                            ? translator->load(QStringLiteral(":/i18n/vemla_en.qm"))
                            : translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"),
                                               QStringLiteral("_"),
                                               QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!loaded || !QCoreApplication::installTranslator(translator.get())) {
        AllLoaded = false;
        return;
    }
    Installed.push_back(std::move(translator));
}

TTranslations::~TTranslations() {
    for (const std::unique_ptr<QTranslator>& translator : Installed)
        QCoreApplication::removeTranslator(translator.get());
}

std::unique_ptr<TTranslations> InstallTranslations() {
    auto translations = std::make_unique<TTranslations>(CurrentLanguage());
    if (translations->Loaded() || CurrentLanguage() != TLanguage::English) return translations;
    std::fprintf(stderr, "vemla: the English texts (:/i18n/vemla_en.qm) did not load; the "
                         "Russian texts are used\n");
    SetLanguage(TLanguage::Russian);
    translations.reset(); // one set installed at a time
    return std::make_unique<TTranslations>(TLanguage::Russian);
}

} // namespace vemla
