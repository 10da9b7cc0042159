#!/usr/bin/env python3
"""Writes the page's catalog, catalog.js, from po/en.po: each text with its
English translation, as one object that the page and the worker look texts
up in (ZORVIK_CATALOG). Fuzzy and untranslated entries are left out, so the
page shows those texts as they are.
    catalog.py EN_PO CATALOG_JS"""
import json
import re
import sys

# The <inttypes.h> macros that xgettext keeps by name, as the wasm32 C
# library spells them: 64-bit numbers are long long there.
SYSTEM_DEPENDENT = {'PRIu64': 'llu', 'PRIX64': 'llX', 'PRId64': 'lld', 'PRIx64': 'llx'}


def unquote(line):
    return json.loads(line)


def entries(lines):
    """The (flags, msgid, msgstr) of each entry."""
    entry, field, flags = {}, None, ''
    for line in lines + ['']:
        line = line.strip()
        if not line:
            if 'msgid' in entry:
                yield flags, entry['msgid'], entry.get('msgstr', '')
            entry, field, flags = {}, None, ''
        elif line.startswith('#,'):
            flags = line
        elif line.startswith('#'):
            continue
        elif line.startswith('"'):
            entry[field] += unquote(line)
        else:
            field, rest = line.split(' ', 1)
            entry[field] = unquote(rest)


def system_form(text):
    return re.sub(r'<(PRI[a-zA-Z0-9]+)>', lambda m: SYSTEM_DEPENDENT[m.group(1)], text)


def main():
    source, target = sys.argv[1:3]
    with open(source, encoding='utf-8') as po:
        lines = po.read().splitlines()
    catalog = {system_form(msgid): system_form(msgstr) for flags, msgid, msgstr in entries(lines)
               if msgid and msgstr and 'fuzzy' not in flags}
    with open(target, 'w', encoding='utf-8') as out:
        out.write('// Made from po/en.po by web/catalog.py: the texts and their English translations.\n')
        out.write('var ZORVIK_CATALOG = ' + json.dumps(catalog, ensure_ascii=False, indent=0) + ';\n')


if __name__ == '__main__':
    main()
