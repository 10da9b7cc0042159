#!/usr/bin/python3
"""The page in headless Chromium, driven through its own fields and buttons:
its outputs against the native tool's, its failures, the patch report, its
memory on a 1 GiB pair, and that it asks for nothing beyond its own files.
Screenshots go to WEB_DIR/artifacts.

    test_web.py WEB_DIR NATIVE_ZORVIK
ZORVIK_WEB_BIG_MIB sets the size of the large pair (1024)."""
import json
import os
import random
import subprocess
import sys
import unittest
from pathlib import Path

from page_driver import APPLY, CREATE, INFO, PageDriver

WEB_DIR, ZORVIK = (os.path.abspath(arg) for arg in sys.argv[1:3])
BIG_MIB = int(os.environ.get('ZORVIK_WEB_BIG_MIB', '1024'))
PEAK_LIMIT_MIB = 300
ARTIFACTS = Path(WEB_DIR, 'artifacts')


def write(path, data):
    path.write_bytes(data)
    return path


def native(*args):
    subprocess.run([ZORVIK, '--yes', *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.page = PageDriver(WEB_DIR)
        cls.path = cls.page.path
        ARTIFACTS.mkdir(exist_ok=True)
        # The same two small files for every test, written once: a file chosen again under its name keeps the page's
        # File of it, which a file changed on the disk since could no longer be read through.
        rng = random.Random(18)
        original = bytearray(rng.randbytes(200_000))
        modified = bytearray(original) + rng.randbytes(3_000)
        for at in rng.sample(range(len(original)), 400):
            modified[at] ^= 0xFF
        modified[70_000:70_300] = b'\x07' * 300
        cls.original, cls.modified = write(cls.path('game.bin'), original), write(cls.path('game-new.bin'), modified)
        native('create', '-o', cls.path('good.ips'), cls.original, cls.modified)

    @classmethod
    def tearDownClass(cls):
        cls.page.close()

    def screenshot(self, name):
        self.page.driver.save_screenshot(str(ARTIFACTS / f'{name}.png'))

    def checked(self, run, saved=True):
        """A job that must end in the output the page named and asked about, or (saved unset) in an error."""
        if run.question:
            self.assertIn(run.output, run.question)
        if saved:
            self.assertIsNotNone(run.saved, run.text)
            self.assertEqual(run.output, os.path.basename(run.saved))
        else:
            self.assertIsNone(run.saved, run.text)
            self.assertIn('failed', self.page.element('result').get_attribute('class'))
            self.assertEqual([], self.page.stored_names())
        return run

    def run_job(self, *args, saved=True, **kwargs):
        return self.checked(self.page.run_job(*args, **kwargs), saved)

    def test_apply_and_create_match_the_native_tool(self):
        for smallest, flag in ((False, []), (True, ['--smallest'])):
            with self.subTest(smallest=smallest):
                expected = self.path('native.ips')
                native('create', *flag, '-o', expected, self.original, self.modified)
                run = self.run_job(CREATE, self.original, self.modified, smallest=smallest)
                self.assertEqual('game-new.ips', run.output)
                self.assertEqual(expected.read_bytes(), Path(run.saved).read_bytes())
        self.screenshot('create-en')
        patch = expected.rename(self.path('changes.ips'))
        native('apply', '-o', self.path('native.bin'), patch, self.original)
        run = self.run_job(APPLY, patch, self.original, language='ja')
        self.assertEqual('changes.bin', run.output)
        self.assertIn('は正常にﾊﾟｯﾁされました。', run.text)
        self.assertEqual(self.path('native.bin').read_bytes(), Path(run.saved).read_bytes())
        self.screenshot('apply-ja')

    def test_apply_writes_past_2_gib(self):
        far = 0x8000_0010
        patch = write(self.path('far.ips'), b'IPS32' + far.to_bytes(4, 'big') + (5).to_bytes(2, 'big') + b'hello' +
                      (100).to_bytes(4, 'big') + b'\0\0' + (3000).to_bytes(2, 'big') + b'r' + b'EEOF')
        native('apply', '-o', self.path('far-native.bin'), patch, self.original)
        run = self.run_job(APPLY, patch, self.original, download=False)
        self.assertEqual('far.bin', run.saved, run.text)
        expected = self.path('far-native.bin').read_bytes()
        for start, end in ((0, 200_000), (far - 8, far + 5)):
            self.assertEqual((len(expected), expected[start:end]), self.page.stored_bytes('far.bin', start, end))

    def test_a_broken_patch_fails_and_leaves_nothing(self):
        good = self.path('good.ips').read_bytes()
        cases = {'cut-short': (good[:len(good) // 2], 'FEOF not found'),
                 'not-IPS32': (b'PATCH' + good[5:], 'not an IPS')}
        for name, (patch, said) in cases.items():
            with self.subTest(name):
                run = self.run_job(APPLY, write(self.path(name + '.ips'), patch), self.original, saved=False)
                self.assertIn(said, run.text)
        self.screenshot('error-en')
        # A file that is gone from the disk once chosen cannot be read.
        gone = write(self.path('gone.bin'), self.original.read_bytes())
        self.page.choose(APPLY, self.path('good.ips'), gone)
        gone.unlink()
        self.checked(self.page.run_chosen(), saved=False)

    def test_inspect_reports_records_and_offsets(self):
        report = self.path('good.ips')
        expected = subprocess.run([ZORVIK, 'info', report], capture_output=True, text=True,
                                  env=dict(os.environ, LANG='C.UTF-8', LANGUAGE='')).stdout.strip()
        self.page.choose(INFO, report)
        self.page.element('start').click()
        self.page.wait_for(lambda d: self.page.element('report').is_displayed())
        self.assertEqual(expected.replace(f'{report.parent}/', ''), self.page.element('report').text)
        self.screenshot('info-en')

    def test_large_pair_in_flat_memory(self):
        size = BIG_MIB << 20
        original, modified = self.path('big.bin'), self.path('big-new.bin')
        for path in (original, modified):
            os.truncate(write(path, b''), size)
        with open(modified, 'r+b') as out:
            rng = random.Random(1)
            for _ in range(2000):
                out.seek(rng.randrange(size - 512))
                out.write(rng.randbytes(rng.randint(1, 512)))
        native('create', '-o', self.path('big-native.ips'), original, modified)
        self.page.reset_peaks()
        created = self.run_job(CREATE, original, modified, seconds=600)
        self.assertEqual(self.path('big-native.ips').read_bytes(), Path(created.saved).read_bytes())
        applied = self.run_job(APPLY, Path(created.saved).rename(self.path('big.ips')), original, seconds=600)
        self.assertEqual(0, subprocess.run(['cmp', '-s', modified, applied.saved]).returncode)
        for path in (original, modified, applied.saved):
            os.remove(path)
        peaks = self.page.renderer_peaks_mib()
        print(f'\n{BIG_MIB} MiB pair: create {created.seconds:.1f} s, apply {applied.seconds:.1f} s, '
              f'renderer peaks (VmHWM) {", ".join(f"{peak:.0f}" for peak in peaks)} MiB', file=sys.stderr)
        self.assertTrue(peaks)
        self.assertLess(max(peaks), PEAK_LIMIT_MIB)

    def test_memory_where_storage_is_missing(self):
        self.page.load('?storage=memory&limit=150000')
        try:
            self.assertIn('0.14 MiB', self.page.element('storage').text)
            run = self.run_job(CREATE, self.original, self.modified)
            self.assertEqual(self.path('good.ips').read_bytes(), Path(run.saved).read_bytes())
            # The copy of a 200,000-byte file does not fit in 150,000 bytes.
            run = self.run_job(APPLY, Path(run.saved).rename(self.path('memory.ips')), self.original, saved=False)
            self.assertIn("The browser's storage is full.", run.text)
        finally:
            self.page.load('')

    def test_zz_nothing_is_requested_beyond_the_page(self):
        requested = {json.loads(entry['message'])['message']['params']['request']['url']
                     for entry in self.page.driver.get_log('performance')
                     if '"Network.requestWillBeSent"' in entry['message']}
        own = {self.page.url + name for name in ('', 'page.js', 'page.css', 'catalog.js', 'worker.js')}
        self.assertTrue(own & requested)
        web = {url for url in requested if url.split(':')[0] in ('http', 'https', 'ws', 'wss')}
        self.assertEqual(set(), {url for url in web if url.split('?')[0] not in own})


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
