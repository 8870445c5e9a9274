#pragma once

#include <QLocale>
#include <QString>

#include <optional>
#include <span>

namespace trq {

// The languages the program speaks. English is the texts' own language;
// every other one is a translation loaded at start.
enum class Language { English, German };

struct LanguageInfo {
    Language language;
    const char* code;       // the settings' and the command line's value
    const char* nativeName; // as the language menu shows it
    QLocale::Language locale;
};

// Every language, English first.
std::span<const LanguageInfo> languages();
const LanguageInfo& languageInfo(Language language);
std::optional<Language> languageFromCode(const QString& code);

// The stored choice; without one, the system's language when it is one of
// ours, else English.
Language configuredLanguage();

// Makes the program speak the language from now on: the string table's
// offset, the program's translation and Qt's own (dialog buttons and the
// like). Texts already on screen keep theirs.
void applyLanguage(Language language);
Language currentLanguage();

} // namespace trq
