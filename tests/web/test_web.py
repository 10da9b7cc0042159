#!/usr/bin/python3
"""The page in headless Chromium, driven through its own fields and buttons:
its outputs against the native tool's, its failures, the patch report, its
memory on a 1 GiB pair, and that it asks for nothing beyond its own files.
Screenshots go to WEB_DIR/artifacts.

    test_web.py WEB_DIR NATIVE_ZORVIK
ZORVIK_WEB_BIG_MIB sets the size of the large pair (1024)."""
import os
import random
import socket
import subprocess
import sys
import json
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

WEB_DIR, ZORVIK = (os.path.abspath(arg) for arg in sys.argv[1:3])
BIG_MIB = int(os.environ.get('ZORVIK_WEB_BIG_MIB', '1024'))
PEAK_LIMIT_MIB = 300
APPLY, CREATE, INFO = 0, 1, 2


def free_port():
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


def write(path, data):
    with open(path, 'wb') as out:
        out.write(data)
    return path


def read(path):
    with open(path, 'rb') as source:
        return source.read()


def native(*args):
    subprocess.run([ZORVIK, '--yes', *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def descendants(root):
    """The processes under root, by their parents."""
    parents = {}
    for entry in os.listdir('/proc'):
        if entry.isdigit():
            try:
                with open(f'/proc/{entry}/stat') as stat:
                    parents[int(entry)] = int(stat.read().rsplit(')', 1)[1].split()[1])
            except OSError:
                pass
    found, todo = set(), [root]
    while todo:
        pid = todo.pop()
        for child, parent in parents.items():
            if parent == pid and child not in found:
                found.add(child)
                todo.append(child)
    return found


def renderers(driver):
    """The renderer processes of the driver's browser (a dedicated worker runs in its page's)."""
    for pid in descendants(driver.service.process.pid):
        try:
            with open(f'/proc/{pid}/cmdline', 'rb') as cmdline:
                if b'--type=renderer' in cmdline.read():
                    yield pid
        except OSError:
            pass


def reset_peaks(driver):
    for pid in renderers(driver):
        with open(f'/proc/{pid}/clear_refs', 'w') as clear:
            clear.write('5')


def renderer_peaks_mib(driver):
    """VmHWM of each renderer process since reset_peaks."""
    peaks = []
    for pid in renderers(driver):
        with open(f'/proc/{pid}/status') as status:
            peaks += [int(line.split()[1]) / 1024 for line in status if line.startswith('VmHWM:')]
    return peaks


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix='zorvik-web-')
        cls.downloads = os.path.join(cls.work.name, 'downloads')
        os.mkdir(cls.downloads)
        cls.artifacts = os.path.join(WEB_DIR, 'artifacts')
        os.makedirs(cls.artifacts, exist_ok=True)
        port = free_port()
        cls.url = f'http://127.0.0.1:{port}/'
        cls.server = subprocess.Popen([sys.executable, '-m', 'http.server', str(port), '--bind', '127.0.0.1',
                                       '--directory', WEB_DIR], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        for argument in ('--headless=new', '--no-sandbox', '--window-size=900,1000',
                         f'--user-data-dir={cls.work.name}/profile'):
            options.add_argument(argument)
        options.add_experimental_option('prefs', {'download.default_directory': cls.downloads,
                                                  'download.prompt_for_download': False})
        options.set_capability('goog:loggingPrefs', {'performance': 'ALL'})
        cls.driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
        cls.driver.execute_cdp_cmd('Browser.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': cls.downloads})
        for _ in range(50):
            try:
                cls.driver.get(cls.url)
                break
            except Exception:
                time.sleep(0.1)
        cls.wait_for(cls, lambda d: d.find_element(By.ID, 'storage').text != '')

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.terminate()
        cls.server.wait()
        cls.work.cleanup()

    def wait_for(self, condition, seconds=60):
        return WebDriverWait(self.driver, seconds, poll_frequency=0.05).until(condition)

    def path(self, name):
        return os.path.join(self.work.name, name)

    def element(self, id):
        return self.driver.find_element(By.ID, id)

    def choose(self, mode, first, second=None, language='en'):
        self.driver.find_element(By.CSS_SELECTOR, f'#modes input[value="{mode}"]').click()
        select = self.element('language')
        self.driver.execute_script('arguments[0].value = arguments[1]; arguments[0].dispatchEvent(new Event("change"))',
                                   select, language)
        self.element('first').send_keys(first)
        if second is not None:
            self.element('second').send_keys(second)
            self.wait_for(lambda d: self.element('output').get_attribute('value') != '')

    def run_job(self, mode, first, second, smallest=False, confirm=True, language='en', seconds=60):
        """Runs a job through the page; returns the result text and the downloaded file's path (or None)."""
        for name in os.listdir(self.downloads):
            os.remove(os.path.join(self.downloads, name))
        self.choose(mode, first, second, language)
        if mode == CREATE and self.element('smallest').is_selected() != smallest:
            self.element('smallest').click()
        output = self.element('output').get_attribute('value')
        self.element('start').click()
        asked = self.wait_for(lambda d: self.element('yes').is_displayed() or self.element('result').is_displayed())
        if asked and self.element('yes').is_displayed():
            self.assertIn(output, self.element('question').text)
            self.element('yes' if confirm else 'no').click()
        self.wait_for(lambda d: self.element('result').is_displayed() and self.element('start').is_enabled(), seconds)
        text = self.element('result-text').text
        if not self.element('download').is_displayed():
            return text, None
        self.assertEqual(output, self.element('download').get_attribute('download'))
        self.element('download').click()
        saved = os.path.join(self.downloads, output)
        self.wait_for(lambda d: os.path.exists(saved) and not any(n.endswith('.crdownload')
                                                                   for n in os.listdir(self.downloads)), seconds)
        return text, saved

    def stored_names(self):
        return self.driver.execute_async_script('''
            const done = arguments[arguments.length - 1];
            (async () => {
                const names = [];
                for await (const name of (await navigator.storage.getDirectory()).keys()) names.push(name);
                return names;
            })().then(done, (e) => done(String(e)));''')

    def screenshot(self, name):
        self.driver.save_screenshot(os.path.join(self.artifacts, name + '.png'))

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
                text, saved = self.run_job(CREATE, original, modified, smallest=smallest)
                self.assertIsNotNone(saved, text)
                self.assertEqual(read(expected), read(saved))
                self.assertEqual('game-new.ips', os.path.basename(saved))
        self.screenshot('create-en')
        patch = write(self.path('changes.ips'), read(expected))
        native('apply', '-o', self.path('native.bin'), patch, original)
        text, saved = self.run_job(APPLY, patch, original, language='ja')
        self.assertIsNotNone(saved, text)
        self.assertEqual('changes.bin', os.path.basename(saved))
        self.assertEqual(read(self.path('native.bin')), read(saved))
        self.screenshot('apply-ja')

    def test_a_broken_patch_fails_and_leaves_nothing(self):
        original, modified = self.small_pair()
        native('create', '-o', self.path('good.ips'), original, modified)
        good = read(self.path('good.ips'))
        cases = {'cut short': (good[:len(good) // 2], 'FEOF not found'),
                 'not IPS32': (b'PATCH' + good[5:], 'not an IPS')}
        for name, (patch, said) in cases.items():
            with self.subTest(name):
                broken = write(self.path(name.replace(' ', '-') + '.ips'), patch)
                text, saved = self.run_job(APPLY, broken, original)
                self.assertIsNone(saved)
                self.assertIn(said, text)
                self.assertIn('failed', self.element('result').get_attribute('class'))
                self.assertEqual([], self.stored_names())
        self.screenshot('error-en')
        # A file that is gone from the disk once chosen cannot be read.
        gone = write(self.path('gone.bin'), read(original))
        self.choose(APPLY, self.path('good.ips'), gone)
        os.remove(gone)
        self.element('start').click()
        self.wait_for(lambda d: self.element('yes').is_displayed() or self.element('result').is_displayed())
        if self.element('yes').is_displayed():
            self.element('yes').click()
        self.wait_for(lambda d: self.element('result').is_displayed() and self.element('start').is_enabled())
        self.assertIn('failed', self.element('result').get_attribute('class'))
        self.assertFalse(self.element('download').is_displayed())
        self.assertEqual([], self.stored_names())

    def test_inspect_reports_records_and_offsets(self):
        original, modified = self.small_pair()
        native('create', '-o', self.path('report.ips'), original, modified)
        expected = subprocess.run([ZORVIK, 'info', self.path('report.ips')], capture_output=True, text=True,
                                  env=dict(os.environ, LANG='C.UTF-8', LANGUAGE='')).stdout.strip()
        self.choose(INFO, self.path('report.ips'))
        self.element('start').click()
        self.wait_for(lambda d: self.element('report').is_displayed())
        shown = self.element('report').text
        self.assertEqual(expected.replace(self.path(''), ''), shown)
        self.screenshot('info-en')

    def test_memory_where_storage_is_missing(self):
        original, modified = self.small_pair()
        native('create', '-o', self.path('memory-native.ips'), original, modified)
        self.driver.get(self.url + '?storage=memory&limit=150000')
        try:
            self.wait_for(lambda d: '0.14 MiB' in self.element('storage').text)
            text, saved = self.run_job(CREATE, original, modified)
            self.assertIsNotNone(saved, text)
            self.assertEqual(read(self.path('memory-native.ips')), read(saved))
            # The copy of a 200,000-byte file does not fit in 150,000 bytes.
            patch = write(self.path('memory.ips'), read(saved))
            text, saved = self.run_job(APPLY, patch, original)
            self.assertIsNone(saved)
            self.assertIn("The browser's storage is full.", text)
        finally:
            self.driver.get(self.url)
            self.wait_for(lambda d: d.find_element(By.ID, 'storage').text != '')

    def test_screens_in_both_languages(self):
        buttons = {}
        for mode, name in ((APPLY, 'apply'), (CREATE, 'create')):
            for language in ('ja', 'en'):
                self.driver.find_element(By.CSS_SELECTOR, f'#modes input[value="{mode}"]').click()
                self.driver.execute_script(
                    'arguments[0].value = arguments[1]; arguments[0].dispatchEvent(new Event("change"))',
                    self.element('language'), language)
                buttons[name, language] = self.element('start').text
                self.screenshot(f'{name}-mode-{language}')
        self.assertEqual({('apply', 'ja'): '適用', ('apply', 'en'): 'Apply', ('create', 'ja'): '作成',
                          ('create', 'en'): 'Create'}, buttons)

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
        reset_peaks(self.driver)
        started = time.monotonic()
        text, saved = self.run_job(CREATE, original, modified, seconds=600)
        created = time.monotonic() - started
        self.assertIsNotNone(saved, text)
        self.assertEqual(read(self.path('big-native.ips')), read(saved))
        patch = write(self.path('big.ips'), read(saved))
        started = time.monotonic()
        text, copy = self.run_job(APPLY, patch, original, seconds=600)
        applied = time.monotonic() - started
        self.assertIsNotNone(copy, text)
        self.assertEqual(0, subprocess.run(['cmp', '-s', modified, copy]).returncode)
        for path in (original, modified, copy):
            os.remove(path)
        peaks = renderer_peaks_mib(self.driver)
        print(f'\n{BIG_MIB} MiB pair: create {created:.1f} s, apply {applied:.1f} s (with the download), '
              f'renderer peaks (VmHWM) {", ".join(f"{peak:.0f}" for peak in peaks)} MiB', file=sys.stderr)
        self.assertTrue(peaks)
        self.assertLess(max(peaks), PEAK_LIMIT_MIB)

    def test_zz_nothing_is_requested_beyond_the_page(self):
        requested = set()
        for entry in self.driver.get_log('performance'):
            if '"Network.requestWillBeSent"' in entry['message']:
                requested.add(json.loads(entry['message'])['message']['params']['request']['url'])
        own = {self.url + name for name in ('', 'page.js', 'page.css', 'catalog.js', 'worker.js')}
        self.assertTrue(own & requested)
        self.assertEqual(set(), {url for url in requested
                                 if url.split('?')[0] not in own and url.split(':')[0] in ('http', 'https', 'ws', 'wss')})


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
