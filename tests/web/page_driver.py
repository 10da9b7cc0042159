"""The page in headless Chromium, as the browser tests and the web bench drive
it: a local server on 127.0.0.1 for the built page, a browser that downloads
into a folder, and the page's own fields and buttons."""
import functools
import http.server
import subprocess
import tempfile
import threading
import time
from pathlib import Path
from typing import NamedTuple, Optional

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

APPLY, CREATE, INFO = 0, 1, 2


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class Run(NamedTuple):
    text: str                # the result or error shown
    saved: Optional[str]     # the downloaded output (its name alone with download unset), None when none was offered
    question: str            # the confirmation asked
    output: str              # the output's name in its field
    seconds: float           # from the confirmation to the result


class PageDriver:
    def __init__(self, web_dir):
        self.work = tempfile.TemporaryDirectory(prefix='zorvik-web-')
        self.downloads = self.path('downloads')
        self.downloads.mkdir()
        # Bound before the browser starts, so the first load finds it listening.
        self.server = http.server.ThreadingHTTPServer(('127.0.0.1', 0),
                                                      functools.partial(QuietHandler, directory=web_dir))
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.url = f'http://127.0.0.1:{self.server.server_address[1]}/'
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        for argument in ('--headless=new', '--no-sandbox', '--window-size=900,1000',
                         f'--user-data-dir={self.work.name}/profile'):
            options.add_argument(argument)
        options.add_experimental_option('prefs', {'download.default_directory': str(self.downloads),
                                                  'download.prompt_for_download': False})
        options.set_capability('goog:loggingPrefs', {'performance': 'ALL'})
        self.driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
        self.driver.execute_cdp_cmd('Browser.setDownloadBehavior',
                                    {'behavior': 'allow', 'downloadPath': str(self.downloads)})
        self.load('')

    def close(self):
        self.driver.quit()
        self.server.shutdown()
        self.server.server_close()
        self.work.cleanup()

    def load(self, query):
        self.driver.get(self.url + query)
        self.wait_for(lambda d: self.element('storage').text != '')

    def wait_for(self, condition, seconds=60):
        return WebDriverWait(self.driver, seconds, poll_frequency=0.02).until(condition)

    def path(self, name):
        return Path(self.work.name, name)

    def element(self, id):
        return self.driver.find_element(By.ID, id)

    def choose(self, mode, first, second=None, language='en'):
        self.driver.find_element(By.CSS_SELECTOR, f'#modes input[value="{mode}"]').click()
        self.driver.execute_script('arguments[0].value = arguments[1]; arguments[0].dispatchEvent(new Event("change"))',
                                   self.element('language'), language)
        self.element('first').send_keys(str(first))
        if second is not None:
            self.element('second').send_keys(str(second))
            self.wait_for(lambda d: self.element('output').get_attribute('value') != '')

    def run_job(self, mode, first, second, smallest=False, language='en', seconds=60, download=True):
        """Chooses a job's files and runs it (see run_chosen)."""
        for old in self.downloads.iterdir():
            old.unlink()
        self.choose(mode, first, second, language)
        if mode == CREATE and self.element('smallest').is_selected() != smallest:
            self.element('smallest').click()
        return self.run_chosen(seconds, download)

    def run_chosen(self, seconds=60, download=True):
        """Starts the job chosen, says yes to its question, and downloads its output when one is offered (and
        download is set)."""
        output = self.element('output').get_attribute('value')
        self.element('start').click()
        self.wait_for(lambda d: self.element('yes').is_displayed() or self.element('result').is_displayed())
        question = ''
        if self.element('yes').is_displayed():
            question = self.element('question').text
            self.element('yes').click()
        started = time.monotonic()
        self.wait_for(lambda d: self.element('result').is_displayed() and self.element('start').is_enabled(), seconds)
        run = Run(self.element('result-text').text, None, question, output, time.monotonic() - started)
        if not self.element('download').is_displayed():
            return run
        saved = self.downloads / self.element('download').get_attribute('download')
        if download:
            self.element('download').click()
            self.wait_for(lambda d: saved.exists() and not any(self.downloads.glob('*.crdownload')), seconds)
        return run._replace(saved=str(saved) if download else saved.name)

    def stored_names(self):
        """The names in the page's origin-private file system."""
        return self.driver.execute_async_script('''
            const done = arguments[arguments.length - 1];
            navigator.storage.getDirectory().then((root) => Array.fromAsync(root.keys()))
                .then(done, (e) => done(String(e)));''')

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
        """The browser's renderer processes (a dedicated worker runs in its page's): those under chromedriver."""
        listed = subprocess.run(['ps', '-e', '-o', 'pid=,ppid=,args='], capture_output=True, text=True, check=True)
        processes = [line.split(maxsplit=2) for line in listed.stdout.splitlines()]
        under = {str(self.driver.service.process.pid)}
        while more := {pid for pid, parent, _ in processes if parent in under} - under:
            under |= more
        return [int(pid) for pid, _, args in processes if pid in under and '--type=renderer' in args]

    def reset_peaks(self):
        for pid in self.renderers():
            Path(f'/proc/{pid}/clear_refs').write_text('5')

    def renderer_peaks_mib(self):
        """VmHWM of each renderer process, since reset_peaks."""
        return [int(line.split()[1]) / 1024 for pid in self.renderers()
                for line in Path(f'/proc/{pid}/status').read_text().splitlines() if line.startswith('VmHWM:')]
