#include "core/language.h"

#include "core/debugtrace.h"
#include "core/settings.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include <algorithm>
#include <iterator>

namespace trq {

namespace {

constexpr LanguageInfo kLanguages[] = {
    {Language::English, "en", "English", QLocale::English},
    {Language::German, "de", "Deutsch", QLocale::German},
};

Language current = Language::English;

// Children of the application, so they go with it; replaced when the
// language changes.
QPointer<QTranslator> ownTranslation;
QPointer<QTranslator> qtTranslation;

// A translation installed on the application, or nothing when it is missing.
QTranslator* install(const QString& file, const QString& folder) {
    auto* t = new QTranslator(QCoreApplication::instance());
    if (t->load(file, folder) && QCoreApplication::installTranslator(t))
        return t;
    trace(QStringLiteral("no translation ") + file);
    delete t;
    return nullptr;
}

} // namespace

std::span<const LanguageInfo> languages() {
    return kLanguages;
}

const LanguageInfo& languageInfo(Language language) {
    return *std::find_if(std::begin(kLanguages), std::end(kLanguages),
                         [language](const LanguageInfo& l) { return l.language == language; });
}

std::optional<Language> languageFromCode(const QString& code) {
    for (const LanguageInfo& l : kLanguages)
        if (code.compare(QLatin1String(l.code), Qt::CaseInsensitive) == 0)
            return l.language;
    return std::nullopt;
}

Language configuredLanguage() {
    if (const std::optional<Language> stored = Settings::instance().language())
        return *stored;
    for (const QString& name : QLocale::system().uiLanguages())
        for (const LanguageInfo& l : kLanguages)
            if (QLocale(name).language() == l.locale)
                return l.language;
    return Language::English;
}

void applyLanguage(Language language) {
    for (QPointer<QTranslator>* t : {&ownTranslation, &qtTranslation})
        delete t->data(); // a deleted translator removes itself
    current = language;
    if (language == Language::English)
        return;
    const QString code = QLatin1String(languageInfo(language).code);
    ownTranslation = install(QStringLiteral("powertrq_") + code, QStringLiteral(":/i18n"));
    // Qt's own texts (standard buttons, file dialogs) come with Qt's
    // translation package; without it they stay English.
    qtTranslation = install(QStringLiteral("qtbase_") + code,
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

Language currentLanguage() {
    return current;
}

} // namespace trq
