// The worker's side of the page, put before the compiled program (--pre-js).
// It takes the page's requests one at a time, mounts the files they name
// (platform/web/files.js), calls the program (worker.cpp) and posts back what
// the page shows. Requests:
//   {type: 'name', mode, first, second}: the output's derived name
//   {type: 'job', mode, files: [File, File], output, smallest, confirmed, language}
//   {type: 'inspect', file, language}: the patch report
// Answers: 'ready', 'name', 'progress', 'question', 'finished', 'end' (the job
// is over: the output File or Blob and its name, or null), 'report'.

var Module = typeof Module != 'undefined' ? Module : {};

// The module is inside this script (SINGLE_FILE); it is compiled from there
// rather than fetched from its data: URL, which a policy that forbids every
// request would refuse.
Module['instantiateWasm'] = function(imports, receive) {
  WebAssembly.instantiate(tryParseAsDataURI(wasmBinaryFile), imports).then(function(result) {
    receive(result.instance, result.module);
  });
  return {};
};

// The output's size in memory where the origin-private file system is
// missing: the whole output is then held by the worker. The page's address
// may ask for memory and another limit, to try that out
// (?storage=memory&limit=BYTES).
var ZORVIK_MEMORY_LIMIT = Number((/[?&]limit=(\d+)/.exec(self.location.search) || [0, 512 * 1024 * 1024])[1]);

var zorvikLines = null;
Module['print'] = Module['printErr'] = function(line) {
  if (zorvikLines)
    zorvikLines.push(line);
  else
    console.log(line);
};

// The program names the files by where they are mounted; the page by their
// own names.
function ZorvikShown(text) {
  return text === null ? null : text.replace(/\/(in\/[12]|out)\//g, '');
}

function ZorvikPost(message) {
  if (message.text !== undefined)
    message.text = ZorvikShown(message.text);
  postMessage(message);
}

// Whether the origin-private file system gives synchronous access here.
function zorvikHasStorage() {
  return !!(self.navigator && navigator.storage && navigator.storage.getDirectory &&
            self.FileSystemFileHandle && FileSystemFileHandle.prototype.createSyncAccessHandle);
}

var zorvikStorage = {
  memory: !zorvikHasStorage() || /[?&]storage=memory\b/.test(self.location.search),
  last: null,  // the name of the last output kept in storage, removed when the next job starts

  folder: function() {
    return navigator.storage.getDirectory();
  },

  // A store for an output named name: in storage, or in memory.
  open: async function(name) {
    if (this.memory)
      return {store: new ZORVIKFS.MemoryStore(ZORVIK_MEMORY_LIMIT), name: name};
    await this.forgetLast();
    var folder = await this.folder();
    var file = await folder.getFileHandle(name, {create: true});
    var store = await file.createSyncAccessHandle();
    this.last = name;
    return {store: store, name: name, file: file};
  },

  // What the output became: its bytes as a File (or Blob), or null once
  // removed.
  close: async function(opened, kept) {
    if (this.memory)
      return kept ? opened.store.blob() : null;
    opened.store.close();
    if (kept)
      return opened.file.getFile();
    await this.remove(opened.name);
    return null;
  },

  remove: async function(name) {
    try {
      await (await this.folder()).removeEntry(name);
    } catch (e) {
      // already gone
    }
    if (this.last === name)
      this.last = null;
  },

  forgetLast: async function() {
    if (this.last !== null)
      await this.remove(this.last);
  },

  // Outputs left by an earlier visit.
  clear: async function() {
    if (!zorvikHasStorage())
      return;
    var folder = await this.folder();
    var names = [];
    for await (var name of folder.keys())
      names.push(name);
    for (var name of names)
      await this.remove(name);
  },
};

function zorvikCall(name, returns, types, values) {
  return Module.ccall(name, returns, types, values);
}

function zorvikName(request) {
  var dest = Module._malloc(260);
  zorvikCall('ZorvikOutputName', 'number', ['number', 'string', 'string', 'number'],
             [request.mode, request.first, request.second, dest]);
  var name = Module.UTF8ToString(dest);
  Module._free(dest);
  postMessage({type: 'name', name: name});
}

async function zorvikJob(request) {
  var inputs = ZORVIKFS.mountInputs(request.files);
  var output = ZORVIKFS.OUTPUT_FOLDER + '/' + request.output;
  var opened = null;
  var made = null;
  try {
    opened = request.confirmed ? await zorvikStorage.open(request.output) : {store: null};
  } catch (e) {
    ZORVIKFS.unmountInputs(inputs);
    postMessage({type: 'finished', succeeded: false, text: null, storageError: String(e && e.name)});
    postMessage({type: 'end', output: null});
    return;
  }
  ZORVIKFS.mountOutput(opened.store);
  try {
    zorvikCall('ZorvikRunJob', null, ['number', 'string', 'string', 'string', 'number', 'number'],
               [request.mode, inputs[0], inputs[1], output, request.smallest ? 1 : 0, request.confirmed ? 1 : 0]);
  } finally {
    var kept = ZORVIKFS.unmountOutput() === request.output;
    ZORVIKFS.unmountInputs(inputs);
    if (opened.store)
      made = await zorvikStorage.close(opened, kept);
  }
  postMessage({type: 'end', output: made ? {name: request.output, file: made} : null});
}

function zorvikInspect(request) {
  var inputs = ZORVIKFS.mountInputs([request.file]);
  zorvikLines = [];
  var wellFormed = zorvikCall('ZorvikInspect', 'number', ['string'], [inputs[0]]);
  var text = zorvikLines.join('\n');
  zorvikLines = null;
  ZORVIKFS.unmountInputs(inputs);
  postMessage({type: 'report', wellFormed: !!wellFormed, text: ZorvikShown(text)});
}

// Requests wait for the program to start, and then for each other.
var zorvikQueue = new Promise(function(resolve) {
  Module['onRuntimeInitialized'] = resolve;
}).then(function() {
  return zorvikStorage.clear();
}).then(function() {
  postMessage({type: 'ready', memory: zorvikStorage.memory, memoryLimit: ZORVIK_MEMORY_LIMIT});
});

self.onmessage = function(event) {
  var request = event.data;
  zorvikQueue = zorvikQueue.then(function() {
    self.zorvikLanguage = request.language;
    if (request.type === 'name')
      return zorvikName(request);
    if (request.type === 'job')
      return zorvikJob(request);
    if (request.type === 'inspect')
      return zorvikInspect(request);
  }).catch(function(e) {
    postMessage({type: 'failed', text: String(e)});
  });
};
