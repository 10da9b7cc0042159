// The page: the dialog's two modes (apply a patch, create one) and the patch
// report, over the worker (worker.js), which does all the work. The page
// keeps what the user chose and shows what the worker tells; its texts are
// Japanese, and English from the catalog (catalog.js, made from po/en.po)
// where the browser's language is not Japanese or the switch says so.
'use strict';

// Marks a text for the catalogs (xgettext -kN_), as in the C++ sources.
function N_(text) {
  return text;
}

const TEXTS = {
  language: N_('表示言語'),
  promise: N_('このﾍﾟｰｼﾞは何も送信しません。ﾌｧｲﾙはこのﾌﾞﾗｳｻﾞの中だけで処理されます。'),
  applyMode: N_('IPSﾊﾟｯﾁ'),
  createMode: N_('IPSﾌｧｲﾙ作成'),
  infoMode: N_('IPSﾌｧｲﾙ情報'),
  patchFile: N_('IPSﾌｧｲﾙ'),
  targetFile: N_('ﾊﾟｯﾁするﾌｧｲﾙ'),
  originalFile: N_('変更前のﾌｧｲﾙ'),
  modifiedFile: N_('変更後のﾌｧｲﾙ'),
  apply: N_('適用'),
  create: N_('作成'),
  inspect: N_('調べる'),
  dropHint: N_('ﾌｧｲﾙはﾄﾞﾗｯｸﾞ&ﾄﾞﾛｯﾌﾟでも選べます。'),
  smallest: N_('最小のﾊﾟｯﾁを作成する (時間がかかります)'),
  outputName: N_('作成するﾌｧｲﾙの名前'),
  yes: N_('はい'),
  no: N_('いいえ'),
  download: N_('%s を保存'),
  storageFull: N_('ﾌﾞﾗｳｻﾞの保存領域がいっぱいです。'),
  noStorage: N_('ﾌﾞﾗｳｻﾞの保存領域を使えません。'),
  inStorage: N_('作成するﾌｧｲﾙは、ﾌﾞﾗｳｻﾞの非公開の保存領域に書き込まれます。'),
  inMemory: N_('このﾌﾞﾗｳｻﾞには非公開の保存領域がないため、作成するﾌｧｲﾙはﾒﾓﾘｰに置かれます (%s MiB まで)。'),
  starting: N_('準備中...'),
  workerFailed: N_('内部ｴﾗｰ: %s'),
};

// ERROR_DISK_FULL, as the worker hands the system's error behind a failure.
const DISK_FULL = 112;
const APPLY = 0, CREATE = 1, INFO = 2;

const page = {
  language: /^ja\b/i.test(navigator.language || '') ? 'ja' : 'en',
  mode: APPLY,
  files: [[null, null], [null, null], [null, null]],  // per mode: first, second
  outputEdited: false,
  running: false,
  ready: false,
  memoryLimit: 0,
  memory: false,
  pending: null,   // the job whose question is awaited
  request: null,   // the job waiting for the user's yes
  download: null,  // the object URL offered
};

// The worker sees the page's query (?storage=memory&limit=BYTES).
const worker = new Worker('worker.js' + location.search);

function $(id) {
  return document.getElementById(id);
}

function t(text) {
  return page.language === 'en' && ZORVIK_CATALOG[text] !== undefined ? ZORVIK_CATALOG[text] : text;
}

function format(text, value) {
  return t(text).replace('%s', value);
}

function showTexts() {
  document.documentElement.lang = page.language;
  $('language').value = page.language;
  document.querySelectorAll('[data-text]').forEach((element) => {
    element.textContent = t(TEXTS[element.dataset.text]);
  });
  const labels = [[TEXTS.patchFile, TEXTS.targetFile, TEXTS.apply],
                  [TEXTS.originalFile, TEXTS.modifiedFile, TEXTS.create],
                  [TEXTS.patchFile, null, TEXTS.inspect]][page.mode];
  $('first-label').textContent = t(labels[0]);
  $('second-label').textContent = labels[1] ? t(labels[1]) : '';
  $('start').textContent = t(labels[2]);
  if (page.ready)
    $('storage').textContent = page.memory ? format(TEXTS.inMemory, (page.memoryLimit / 1048576).toLocaleString('en', {maximumFractionDigits: 2})) : t(TEXTS.inStorage);
  else
    $('status').textContent = t(TEXTS.starting);
}

// Controls as the state says: the only place that enables or hides them.
function bindControls() {
  const busy = page.running || page.request !== null || !page.ready;
  document.querySelectorAll('#job input, #job button, #modes input').forEach((control) => {
    control.disabled = busy;
  });
  $('second-field').hidden = page.mode === INFO;
  document.querySelectorAll('.create-only').forEach((element) => { element.hidden = page.mode !== CREATE; });
  document.querySelectorAll('.job-only').forEach((element) => { element.hidden = page.mode === INFO; });
  $('confirm').hidden = page.request === null;
  const chosen = page.files[page.mode];
  $('first-chosen').textContent = describe(chosen[0]);
  $('second-chosen').textContent = describe(chosen[1]);
}

// A chosen file's name and size. Taking its size also fixes what the File
// stands for: a file changed or removed on the disk after that cannot be read
// through it, rather than being read as it has become.
function describe(file) {
  return file ? `${file.name} (${file.size.toLocaleString()} B)` : '';
}

function setMode(mode) {
  page.mode = mode;
  page.outputEdited = false;
  $('output').value = '';
  $('first').value = '';
  $('second').value = '';
  $('report').hidden = true;
  clearResult();
  showTexts();
  bindControls();
  askName();
}

function clearResult() {
  $('result').hidden = true;
  $('download').hidden = true;
  if (page.download !== null) {
    URL.revokeObjectURL(page.download);
    page.download = null;
  }
}

function chooseFile(index, file) {
  page.files[page.mode][index] = file;
  clearResult();
  bindControls();
  if (page.mode === INFO)
    return;
  page.outputEdited = false;
  askName();
}

// The derived name comes from the program's own rule (jobs/paths).
function askName() {
  const [first, second] = page.files[page.mode];
  if (page.mode !== INFO && first && second && !page.outputEdited)
    worker.postMessage({type: 'name', mode: page.mode, first: first.name, second: second.name});
}

function jobRequest(confirmed) {
  const [first, second] = page.files[page.mode];
  return {type: 'job', mode: page.mode, files: [first, second], output: $('output').value,
          smallest: $('smallest').checked, confirmed: confirmed, language: page.language};
}

function start(event) {
  event.preventDefault();
  const [first, second] = page.files[page.mode];
  if (page.running || !first || (page.mode !== INFO && (!second || $('output').value === '')))
    return;
  clearResult();
  page.running = true;
  if (page.mode === INFO) {
    worker.postMessage({type: 'inspect', file: first, language: page.language});
  } else {
    page.pending = jobRequest(false);
    worker.postMessage(page.pending);
  }
  bindControls();
}

function answer(yes) {
  const request = page.request;
  page.request = null;
  if (yes) {
    request.confirmed = true;
    worker.postMessage(request);
  } else {
    page.running = false;
  }
  bindControls();
}

function showResult(text, failed) {
  $('result').hidden = false;
  $('result').className = failed ? 'failed' : 'done';
  $('result-text').textContent = text;
}

function onFinished(message) {
  $('progress').value = 0;
  $('status').textContent = '';
  if (message.storageError !== undefined) {
    showResult(t(message.storageError === 'QuotaExceededError' ? TEXTS.storageFull : TEXTS.noStorage), true);
    return;
  }
  if (message.text === null)
    return;
  let text = message.text;
  if (!message.succeeded && message.systemError === DISK_FULL)
    text += '\n' + t(TEXTS.storageFull);
  showResult(text, !message.succeeded);
}

function onEnd(message) {
  page.running = false;
  if (message.output !== null) {
    page.download = URL.createObjectURL(message.output.file);
    const link = $('download');
    link.href = page.download;
    link.download = message.output.name;
    link.textContent = format(TEXTS.download, message.output.name);
    link.hidden = false;
  }
  bindControls();
}

worker.onmessage = (event) => {
  const message = event.data;
  switch (message.type) {
  case 'ready':
    page.ready = true;
    page.memory = message.memory;
    page.memoryLimit = message.memoryLimit;
    $('status').textContent = '';
    showTexts();
    bindControls();
    break;
  case 'name':
    if (!page.outputEdited)
      $('output').value = message.name;
    break;
  case 'question':
    page.request = page.pending;
    $('question').textContent = message.text;
    bindControls();
    break;
  case 'progress':
    $('progress').value = message.percent;
    if (message.status !== null)
      $('status').textContent = message.status;
    break;
  case 'finished':
    onFinished(message);
    break;
  case 'end':
    // A job stopped by its question ends there: the question waits for the user.
    if (page.request === null)
      onEnd(message);
    break;
  case 'report':
    page.running = false;
    $('report').hidden = false;
    $('report').className = message.wellFormed ? 'done' : 'failed';
    $('report').textContent = message.text;
    bindControls();
    break;
  case 'failed':
    page.running = false;
    page.request = null;
    showResult(format(TEXTS.workerFailed, message.text), true);
    bindControls();
    break;
  }
};

// A file dropped on a field goes there; dropped elsewhere, as in the
// dialog: in apply mode a patch (".ips") to the first field, anything else
// to the second; in create mode the first free field.
function dropTarget(event, file) {
  const field = event.target.closest && event.target.closest('.field');
  if (field && field.id === 'first-field')
    return 0;
  if (field && field.id === 'second-field')
    return 1;
  if (page.mode === INFO)
    return 0;
  if (page.mode === APPLY)
    return /\.ips$/i.test(file.name) ? 0 : 1;
  return page.files[CREATE][0] && !page.files[CREATE][1] ? 1 : 0;
}

function onDrop(event) {
  event.preventDefault();
  if (page.running || page.request !== null || !page.ready)
    return;
  for (const file of event.dataTransfer.files)
    chooseFile(dropTarget(event, file), file);
}

$('language').addEventListener('change', () => {
  page.language = $('language').value;
  showTexts();
});
document.querySelectorAll('#modes input').forEach((radio) => {
  radio.addEventListener('change', () => setMode(Number(radio.value)));
});
$('first').addEventListener('change', () => chooseFile(0, $('first').files[0] || null));
$('second').addEventListener('change', () => chooseFile(1, $('second').files[0] || null));
$('output').addEventListener('input', () => { page.outputEdited = true; });
$('job').addEventListener('submit', start);
$('yes').addEventListener('click', () => answer(true));
$('no').addEventListener('click', () => answer(false));
document.addEventListener('dragover', (event) => event.preventDefault());
document.addEventListener('drop', onDrop);

showTexts();
bindControls();
