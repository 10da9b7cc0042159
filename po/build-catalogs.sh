#!/bin/sh
# Builds the command-line tool's catalogs from the texts that the build
# extracted, and fails on a text that English lacks.
#   build-catalogs.sh POT EN_PO LOCALE_DIR
# English (LOCALE_DIR/en): EN_PO merged with POT must translate every text,
# none fuzzy, with the same placeholders (msgfmt --check), and no translation
# may take more bytes than its text, as buffers are sized to the texts.
# Japanese (LOCALE_DIR/ja): the texts themselves, so that gettext finds a
# catalog for a Japanese locale.
set -eu
pot=$1 english=$2 locale=$3
work=$(dirname "$pot")
rm -f "$locale/en/LC_MESSAGES/zorvik.mo" "$locale/ja/LC_MESSAGES/zorvik.mo"
mkdir -p "$locale/en/LC_MESSAGES" "$locale/ja/LC_MESSAGES"

msgmerge --quiet --output-file="$work/en.po" "$english" "$pot"
statistics=$(msgfmt --check --statistics --output-file="$work/en.mo" "$work/en.po" 2>&1) ||
    { echo "$statistics" >&2; exit 1; }
echo "en.po: $statistics"
case $statistics in
*fuzzy* | *untranslated*)
    echo "$english lacks translations: run make po, translate its new or fuzzy entries and build again." >&2
    exit 1
    ;;
esac
msgexec --input="$work/en.po" sh -c '[ -z "$MSGEXEC_MSGID" ] ||
    [ "$(wc -c)" -le "$(printf %s "$MSGEXEC_MSGID" | wc -c)" ] ||
    { printf "%s\n" "'"$english"': the translation is longer than its text:" "$MSGEXEC_MSGID" >&2; exit 1; }'

msgen "$pot" | msgfmt --output-file="$locale/ja/LC_MESSAGES/zorvik.mo" -
mv "$work/en.mo" "$locale/en/LC_MESSAGES/zorvik.mo"
