#pragma once

#include <QLocale>
#include <QTranslator>
#include <memory>

namespace ui {

// Qt's own texts (file dialogs, standard buttons) in the workstation's language, from the
// translations Qt ships (Debian: qt6-translations-l10n). Null when none is installed for that
// language: those texts then stay in English. The captions the tool sets itself are not Qt's
// and stay as they are.
std::unique_ptr<QTranslator> loadQtTranslations(const QLocale& locale);

} // namespace ui
