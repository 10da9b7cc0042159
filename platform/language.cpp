#include "language.h"

#ifdef _WIN32

void UseUserLanguage()
{
}

const char *Translated(const char *text)
{
    return text;
}

#else
#  include "exe_dir.h"

#  include <libintl.h>
#  include <locale.h>
#  include <stdlib.h>
#  include <string.h>

static const char kDomain[] = "zorvik";

void UseUserLanguage()
{
    setlocale(LC_ALL, "");
    // ZORVIK_LOCALE_DIR leads from the executable's folder to the catalogs:
    // from bin/ where it is installed, from cli/ in the build tree.
    char catalogs[MAX_PATH];
    BuildExeDirPath(catalogs, sizeof catalogs, ZORVIK_LOCALE_DIR);
    bindtextdomain(kDomain, catalogs);
    // The texts are UTF-8, like the names shown in them, whatever the
    // locale's character set.
    bind_textdomain_codeset(kDomain, "UTF-8");
    // A catalog's header is never empty: an empty one means that gettext
    // found no catalog of ours for the user's languages, or looked for none,
    // as in the C locale. English then, from LANGUAGE, which gettext reads
    // in every locale but C.
    if (dgettext(kDomain, "")[0] == '\0') {
        setenv("LANGUAGE", "en", 1);
        if (strcmp(setlocale(LC_MESSAGES, NULL), "C") == 0)
            setlocale(LC_MESSAGES, "C.UTF-8");
    }
}

const char *Translated(const char *text)
{
    return dgettext(kDomain, text);
}

#endif
