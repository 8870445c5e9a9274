#include "core/language.h"

#include "core/debugtrace.h"
#include "core/settings.h"
#include "core/strings.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <algorithm>
#include <iterator>
#include <memory>

namespace trq {

namespace {

constexpr LanguageInfo kLanguages[] = {
    {Language::English, "en", "English", QLocale::English, 0},
    {Language::German, "de", "Deutsch", QLocale::German, 1000},
};

const QString kSection = QStringLiteral("Common");
const QString kKey = QStringLiteral("Language");

Language current = Language::English;

// Installed on the application; replaced when the language changes.
std::unique_ptr<QTranslator> ownTranslation;
std::unique_ptr<QTranslator> qtTranslation;

} // namespace

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

std::optional<Language> storedLanguage() {
    return languageFromCode(Settings::value(kSection, kKey));
}

void storeLanguage(std::optional<Language> language) {
    Settings::setValue(kSection, kKey,
                       language ? QLatin1String(languageInfo(*language).code) : QString());
}

Language configuredLanguage() {
    if (const std::optional<Language> stored = storedLanguage())
        return *stored;
    for (const QString& name : QLocale::system().uiLanguages())
        for (const LanguageInfo& l : kLanguages)
            if (QLocale(name).language() == l.locale)
                return l.language;
    return Language::English;
}

void applyLanguage(Language language) {
    auto drop = [](std::unique_ptr<QTranslator>& t) {
        if (t)
            QCoreApplication::removeTranslator(t.get());
        t.reset();
    };
    drop(ownTranslation);
    drop(qtTranslation);
    current = language;
    StringTable::setLanguageOffset(languageInfo(language).stringOffset);
    if (language == Language::English)
        return;
    const QString code = QLatin1String(languageInfo(language).code);
    ownTranslation = std::make_unique<QTranslator>();
    if (ownTranslation->load(QStringLiteral(":/i18n/powertrq_%1.qm").arg(code)))
        QCoreApplication::installTranslator(ownTranslation.get());
    else
        trace(QStringLiteral("no translation for ") + code);
    // Qt's own texts (standard buttons, file dialogs) come with Qt's
    // translation package; without it they stay English.
    qtTranslation = std::make_unique<QTranslator>();
    if (qtTranslation->load(QStringLiteral("qtbase_") + code,
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTranslation.get());
    else
        trace(QStringLiteral("no Qt translation for ") + code);
}

Language currentLanguage() {
    return current;
}

} // namespace trq
