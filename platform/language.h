// The language of the texts: the command-line tool on Linux shows them in the
// user's language, from the gettext catalogs in po/; the Windows programs
// show them as they are.
#ifndef ZORVIK_PLATFORM_LANGUAGE_H
#define ZORVIK_PLATFORM_LANGUAGE_H

// Marks a text constant where it is defined, so that xgettext -kN_ takes it
// into the catalogs; the text itself stays as it is.
#define N_(text) text

// Chooses the language that Translated gives for the rest of the run from
// the user's locale as gettext reads it (LANGUAGE, LC_ALL, LC_MESSAGES,
// LANG): Japanese where gettext finds the Japanese catalog, English
// everywhere else, the C and POSIX locales included. Called once, first
// thing in the command-line tool, before any other thread runs. Does
// nothing on Windows.
void UseUserLanguage();

// text, a constant marked with N_ (a format before it is formatted), in the
// chosen language: its translation from the catalogs, or text itself where
// there is none, before UseUserLanguage (as in the unit tests) and always on
// Windows.
const char *Translated(const char *text);

#endif
