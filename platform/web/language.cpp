#include "platform/language.h"

#include <emscripten.h>

// The page chooses the language (the browser's, or the one its switch
// names) and hands it to the worker with each piece of work; the English
// texts come from catalog.js, which the build makes from po/en.po. The
// translation of each text is made once per language and kept for the run,
// so that what Translated returns stays valid like a constant.
EM_JS(const char *, TranslationOf, (const char *text), {
    var language = self.zorvikLanguage === 'en' ? 'en' : 'ja';
    var made = self.zorvikTranslations || (self.zorvikTranslations = {en: new Map(), ja: new Map()});
    var known = made[language].get(text);
    if (known !== undefined)
        return known;
    var translation = language === 'en' ? ZORVIK_CATALOG[UTF8ToString(text)] : undefined;
    known = translation === undefined ? text : allocateUTF8(translation);
    made[language].set(text, known);
    return known;
});

void UseUserLanguage()
{
}

const char *Translated(const char *text)
{
    return TranslationOf(text);
}
