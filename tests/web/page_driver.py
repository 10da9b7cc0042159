"""The page in headless Chromium, as the browser tests and the web bench drive
it: a local server on 127.0.0.1 for the built page, a browser that downloads
into a folder, and the page's own fields and buttons."""
import os
import socket
import subprocess
import sys
import tempfile
import time
from typing import NamedTuple, Optional

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

APPLY, CREATE, INFO = 0, 1, 2


def free_port():
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


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


class Run(NamedTuple):
    text: str                # the result or error shown
    saved: Optional[str]     # the downloaded output, None when none was offered
    question: str            # the confirmation asked
    output: str              # the output's name in its field
    seconds: float           # from the confirmation to the result


class PageDriver:
    def __init__(self, web_dir):
        self.work = tempfile.TemporaryDirectory(prefix='zorvik-web-')
        self.downloads = os.path.join(self.work.name, 'downloads')
        os.mkdir(self.downloads)
        port = free_port()
        self.url = f'http://127.0.0.1:{port}/'
        self.server = subprocess.Popen([sys.executable, '-m', 'http.server', str(port), '--bind', '127.0.0.1',
                                        '--directory', web_dir], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        for argument in ('--headless=new', '--no-sandbox', '--window-size=900,1000',
                         f'--user-data-dir={self.work.name}/profile'):
            options.add_argument(argument)
        options.add_experimental_option('prefs', {'download.default_directory': self.downloads,
                                                  'download.prompt_for_download': False})
        options.set_capability('goog:loggingPrefs', {'performance': 'ALL'})
        self.driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
        self.driver.execute_cdp_cmd('Browser.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': self.downloads})
        for _ in range(50):
            try:
                self.load('')
                break
            except Exception:
                time.sleep(0.1)

    def close(self):
        self.driver.quit()
        self.server.terminate()
        self.server.wait()
        self.work.cleanup()

    def load(self, query):
        self.driver.get(self.url + query)
        self.wait_for(lambda d: self.element('storage').text != '')

    def wait_for(self, condition, seconds=60):
        return WebDriverWait(self.driver, seconds, poll_frequency=0.02).until(condition)

    def path(self, name):
        return os.path.join(self.work.name, name)

    def element(self, id):
        return self.driver.find_element(By.ID, id)

    def set_mode(self, mode, language='en'):
        self.driver.find_element(By.CSS_SELECTOR, f'#modes input[value="{mode}"]').click()
        self.driver.execute_script('arguments[0].value = arguments[1]; arguments[0].dispatchEvent(new Event("change"))',
                                   self.element('language'), language)

    def choose(self, mode, first, second=None, language='en'):
        self.set_mode(mode, language)
        self.element('first').send_keys(first)
        if second is not None:
            self.element('second').send_keys(second)
            self.wait_for(lambda d: self.element('output').get_attribute('value') != '')

    def start(self):
        """Starts the job chosen and says yes to its question; returns the question."""
        self.element('start').click()
        self.wait_for(lambda d: self.element('yes').is_displayed() or self.element('result').is_displayed())
        if not self.element('yes').is_displayed():
            return ''
        question = self.element('question').text
        self.element('yes').click()
        return question

    def run_job(self, mode, first, second, smallest=False, language='en', seconds=60, download=True):
        """Runs a job through the page and downloads its output when one is offered (and download is set)."""
        for name in os.listdir(self.downloads):
            os.remove(os.path.join(self.downloads, name))
        self.choose(mode, first, second, language)
        if mode == CREATE and self.element('smallest').is_selected() != smallest:
            self.element('smallest').click()
        output = self.element('output').get_attribute('value')
        question = self.start()
        started = time.monotonic()
        self.wait_for(lambda d: self.element('result').is_displayed() and self.element('start').is_enabled(), seconds)
        took = time.monotonic() - started
        text = self.element('result-text').text
        if not self.element('download').is_displayed():
            return Run(text, None, question, output, took)
        name = self.element('download').get_attribute('download')
        if not download:
            return Run(text, name, question, output, took)
        self.element('download').click()
        saved = os.path.join(self.downloads, name)
        self.wait_for(lambda d: os.path.exists(saved) and not any(n.endswith('.crdownload')
                                                                   for n in os.listdir(self.downloads)), seconds)
        return Run(text, saved, question, output, took)

    def stored_names(self):
        """The names in the page's origin-private file system."""
        return self.driver.execute_async_script('''
            const done = arguments[arguments.length - 1];
            (async () => {
                const names = [];
                for await (const name of (await navigator.storage.getDirectory()).keys()) names.push(name);
                return names;
            })().then(done, (e) => done(String(e)));''')

    def stored_bytes(self, name, start, end):
        """The size of the stored output name and its bytes from start to end, read back through the page."""
        size, text = self.driver.execute_async_script('''
            const [name, start, end, done] = arguments;
            (async () => {
                const file = await (await (await navigator.storage.getDirectory()).getFileHandle(name)).getFile();
                const bytes = new Uint8Array(await file.slice(start, end).arrayBuffer());
                return [file.size, Array.from(bytes, (b) => String.fromCharCode(b)).join('')];
            })().then(done, (e) => done([-1, String(e)]));''', name, start, end)
        return size, text.encode('latin-1')

    def renderers(self):
        """The browser's renderer processes (a dedicated worker runs in its page's)."""
        for pid in descendants(self.driver.service.process.pid):
            try:
                with open(f'/proc/{pid}/cmdline', 'rb') as cmdline:
                    if b'--type=renderer' in cmdline.read():
                        yield pid
            except OSError:
                pass

    def reset_peaks(self):
        for pid in self.renderers():
            with open(f'/proc/{pid}/clear_refs', 'w') as clear:
                clear.write('5')

    def renderer_peaks_mib(self):
        """VmHWM of each renderer process, since reset_peaks."""
        peaks = []
        for pid in self.renderers():
            with open(f'/proc/{pid}/status') as status:
                peaks += [int(line.split()[1]) / 1024 for line in status if line.startswith('VmHWM:')]
        return peaks
