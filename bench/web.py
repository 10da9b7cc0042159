#!/usr/bin/python3
"""Times creation and application of one pair in the page (headless Chromium,
tests/web/page_driver.py) against the native zorvik tool, as rows of a table.
The page's time runs from the confirmation to the result shown (the output is
then whole in the browser's storage; the download that follows is not timed);
the tool's is the whole command. Each round runs every command once; the
shortest of the rounds counts. Every output is compared with the tool's.

    web.py WEB_DIR ZORVIK ORIGINAL MODIFIED LABEL [ROUNDS]"""
import filecmp
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'web'))
from page_driver import APPLY, CREATE, PageDriver  # noqa: E402


def timed(*command):
    started = time.monotonic()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - started


def main():
    web_dir, zorvik, original, modified, label = sys.argv[1:6]
    rounds = int(sys.argv[6]) if len(sys.argv) > 6 else 3
    page = PageDriver(web_dir)
    try:
        patch, copy = page.path('native.ips'), page.path('native-copy.bin')
        best = {}
        for _ in range(rounds):
            times = {
                'native create': timed(zorvik, '--yes', 'create', '-o', patch, original, modified),
                'native apply': timed(zorvik, '--yes', 'apply', '-o', copy, patch, original),
            }
            created = page.run_job(CREATE, original, modified, seconds=600)
            if created.saved is None or not filecmp.cmp(created.saved, patch, shallow=False):
                sys.exit(f'the page made another patch: {created.text}')
            mine = page.path('page.ips')
            os.replace(created.saved, mine)
            applied = page.run_job(APPLY, mine, original, seconds=600)
            if applied.saved is None or not filecmp.cmp(applied.saved, copy, shallow=False):
                sys.exit(f'the page made another copy: {applied.text}')
            os.remove(applied.saved)
            times.update({'page create': created.seconds, 'page apply': applied.seconds})
            best = {key: min(value, best.get(key, value)) for key, value in times.items()}
        for work in ('create', 'apply'):
            native, web = best['native ' + work] * 1000, best['page ' + work] * 1000
            print(f'| {work + ", " + label:<30} | {native:8.0f} | {web:8.0f} | {web / native:6.2f}x |')
    finally:
        page.close()


if __name__ == '__main__':
    main()
