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
import time
import unittest

from page_driver import APPLY, CREATE, INFO, PageDriver

WEB_DIR, ZORVIK = (os.path.abspath(arg) for arg in sys.argv[1:3])
BIG_MIB = int(os.environ.get('ZORVIK_WEB_BIG_MIB', '1024'))
PEAK_LIMIT_MIB = 300


def write(path, data):
    with open(path, 'wb') as out:
        out.write(data)
    return path


def read(path):
    with open(path, 'rb') as source:
        return source.read()


def native(*args):
    subprocess.run([ZORVIK, '--yes', *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.page = PageDriver(WEB_DIR)
        cls.artifacts = os.path.join(WEB_DIR, 'artifacts')
        os.makedirs(cls.artifacts, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        cls.page.close()

    def path(self, name):
        return self.page.path(name)

    def element(self, id):
        return self.page.element(id)

    def screenshot(self, name):
        self.page.driver.save_screenshot(os.path.join(self.artifacts, name + '.png'))

    def run_job(self, *args, **kwargs):
        """A job that must end in the output the page named and asked about, or in an error."""
        run = self.page.run_job(*args, **kwargs)
        if run.question:
            self.assertIn(run.output, run.question)
        if run.saved is not None:
            self.assertEqual(run.output, os.path.basename(run.saved))
        else:
            self.assertIn('failed', self.element('result').get_attribute('class'))
            self.assertEqual([], self.page.stored_names())
        return run

    def small_pair(self):
        """The same two files for every test, written once: a file chosen again under its name keeps the page's
        File of it, which a file changed on the disk since could no longer be read through."""
        if os.path.exists(self.path('game.bin')):
            return self.path('game.bin'), self.path('game-new.bin')
        rng = random.Random(18)
        original = bytearray(rng.randbytes(200_000))
        modified = bytearray(original) + rng.randbytes(3_000)
        for at in rng.sample(range(len(original)), 400):
            modified[at] ^= 0xFF
        modified[70_000:70_300] = b'\x07' * 300
        return write(self.path('game.bin'), original), write(self.path('game-new.bin'), modified)

    def test_apply_and_create_match_the_native_tool(self):
        original, modified = self.small_pair()
        for smallest, flag in ((False, []), (True, ['--smallest'])):
            with self.subTest(smallest=smallest):
                expected = self.path('native.ips')
                native('create', *flag, '-o', expected, original, modified)
                run = self.run_job(CREATE, original, modified, smallest=smallest)
                self.assertIsNotNone(run.saved, run.text)
                self.assertEqual('game-new.ips', run.output)
                self.assertEqual(read(expected), read(run.saved))
        self.screenshot('create-en')
        patch = write(self.path('changes.ips'), read(expected))
        native('apply', '-o', self.path('native.bin'), patch, original)
        run = self.run_job(APPLY, patch, original, language='ja')
        self.assertIsNotNone(run.saved, run.text)
        self.assertEqual('changes.bin', run.output)
        self.assertIn('は正常にﾊﾟｯﾁされました。', run.text)
        self.assertEqual(read(self.path('native.bin')), read(run.saved))
        self.screenshot('apply-ja')

    def test_apply_writes_past_2_gib(self):
        original, _ = self.small_pair()
        far = 0x8000_0010
        patch = write(self.path('far.ips'), b'IPS32' + far.to_bytes(4, 'big') + (5).to_bytes(2, 'big') + b'hello' +
                      (100).to_bytes(4, 'big') + b'\0\0' + (3000).to_bytes(2, 'big') + b'r' + b'EEOF')
        native('apply', '-o', self.path('far-native.bin'), patch, original)
        run = self.run_job(APPLY, patch, original, download=False)
        self.assertEqual('far.bin', run.saved, run.text)
        expected = read(self.path('far-native.bin'))
        for start, end in ((0, 200_000), (far - 8, far + 5)):
            self.assertEqual((len(expected), expected[start:end]), self.page.stored_bytes('far.bin', start, end))

    def test_a_broken_patch_fails_and_leaves_nothing(self):
        original, modified = self.small_pair()
        native('create', '-o', self.path('good.ips'), original, modified)
        good = read(self.path('good.ips'))
        cases = {'cut short': (good[:len(good) // 2], 'FEOF not found'),
                 'not IPS32': (b'PATCH' + good[5:], 'not an IPS')}
        for name, (patch, said) in cases.items():
            with self.subTest(name):
                broken = write(self.path(name.replace(' ', '-') + '.ips'), patch)
                run = self.run_job(APPLY, broken, original)
                self.assertIsNone(run.saved)
                self.assertIn(said, run.text)
        self.screenshot('error-en')
        # A file that is gone from the disk once chosen cannot be read.
        gone = write(self.path('gone.bin'), read(original))
        self.page.choose(APPLY, self.path('good.ips'), gone)
        os.remove(gone)
        self.page.start()
        self.page.wait_for(lambda d: self.element('result').is_displayed() and self.element('start').is_enabled())
        self.assertIn('failed', self.element('result').get_attribute('class'))
        self.assertFalse(self.element('download').is_displayed())
        self.assertEqual([], self.page.stored_names())

    def test_inspect_reports_records_and_offsets(self):
        original, modified = self.small_pair()
        native('create', '-o', self.path('report.ips'), original, modified)
        expected = subprocess.run([ZORVIK, 'info', self.path('report.ips')], capture_output=True, text=True,
                                  env=dict(os.environ, LANG='C.UTF-8', LANGUAGE='')).stdout.strip()
        self.page.choose(INFO, self.path('report.ips'))
        self.element('start').click()
        self.page.wait_for(lambda d: self.element('report').is_displayed())
        self.assertEqual(expected.replace(self.path(''), ''), self.element('report').text)
        self.screenshot('info-en')

    def test_large_pair_in_flat_memory(self):
        size = BIG_MIB << 20
        original, modified = self.path('big.bin'), self.path('big-new.bin')
        for path in (original, modified):
            with open(path, 'wb') as out:
                out.truncate(size)
        with open(modified, 'r+b') as out:
            rng = random.Random(1)
            for _ in range(2000):
                out.seek(rng.randrange(size - 512))
                out.write(rng.randbytes(rng.randint(1, 512)))
        native('create', '-o', self.path('big-native.ips'), original, modified)
        self.page.reset_peaks()
        created = self.run_job(CREATE, original, modified, seconds=600)
        self.assertIsNotNone(created.saved, created.text)
        self.assertEqual(read(self.path('big-native.ips')), read(created.saved))
        patch = write(self.path('big.ips'), read(created.saved))
        applied = self.run_job(APPLY, patch, original, seconds=600)
        self.assertIsNotNone(applied.saved, applied.text)
        self.assertEqual(0, subprocess.run(['cmp', '-s', modified, applied.saved]).returncode)
        for path in (original, modified, applied.saved):
            os.remove(path)
        peaks = self.page.renderer_peaks_mib()
        print(f'\n{BIG_MIB} MiB pair: create {created.seconds:.1f} s, apply {applied.seconds:.1f} s, '
              f'renderer peaks (VmHWM) {", ".join(f"{peak:.0f}" for peak in peaks)} MiB', file=sys.stderr)
        self.assertTrue(peaks)
        self.assertLess(max(peaks), PEAK_LIMIT_MIB)

    def test_memory_where_storage_is_missing(self):
        original, modified = self.small_pair()
        native('create', '-o', self.path('memory-native.ips'), original, modified)
        self.page.load('?storage=memory&limit=150000')
        try:
            self.assertIn('0.14 MiB', self.element('storage').text)
            run = self.run_job(CREATE, original, modified)
            self.assertIsNotNone(run.saved, run.text)
            self.assertEqual(read(self.path('memory-native.ips')), read(run.saved))
            # The copy of a 200,000-byte file does not fit in 150,000 bytes.
            run = self.run_job(APPLY, write(self.path('memory.ips'), read(run.saved)), original)
            self.assertIsNone(run.saved)
            self.assertIn("The browser's storage is full.", run.text)
        finally:
            self.page.load('')

    def test_zz_nothing_is_requested_beyond_the_page(self):
        requested = set()
        for entry in self.page.driver.get_log('performance'):
            if '"Network.requestWillBeSent"' in entry['message']:
                requested.add(json.loads(entry['message'])['message']['params']['request']['url'])
        own = {self.page.url + name for name in ('', 'page.js', 'page.css', 'catalog.js', 'worker.js')}
        self.assertTrue(own & requested)
        self.assertEqual(set(), {url for url in requested
                                 if url.split('?')[0] not in own and url.split(':')[0] in ('http', 'https', 'ws', 'wss')})


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
