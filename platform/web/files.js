// The browser's files as emscripten's file system, so that the POSIX layer
// (posix/files.cpp, stream.cpp, output.cpp) works on them unchanged:
//
// - The user's files are mounted read-only at /in/1 and /in/2 (WORKERFS):
//   each read takes the slice it needs of the File object, synchronously
//   (FileReaderSync), so no file is ever copied whole into memory. A File
//   that can no longer be read (moved, deleted, changed on disk) fails the
//   read with EIO, which the engine reports as an unreadable file.
//
// - The output folder /out (OUTFS) holds at most one new file, the job's
//   output under its temporary name and then under its final name. Its bytes
//   live in a store that the worker opened before the job: a
//   FileSystemSyncAccessHandle of the origin-private file system, or a store
//   in memory of a fixed limit where that is missing. Opening a store is
//   asynchronous in the browser and the job is not, hence one store made
//   ready per job; renaming and deleting the file are done here, on the
//   folder's names, and the worker gives the store its fate afterwards
//   (offered for download, or removed).
//
// A store has the methods of a FileSystemSyncAccessHandle that are used:
// read(view, {at}), write(view, {at}), truncate(size), getSize(), flush().
// A store that runs out of room throws a QuotaExceededError, which reaches
// the program as ENOSPC, a full disk.

mergeInto(LibraryManager.library, {
  // Called by no one: -sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE names it, so that
  // the build takes in the file systems for the worker's script.
  zorvik_files__deps: ['$ZORVIKFS', '$OUTFS'],
  zorvik_files: function() {},

  // Positioned reads and writes and ftruncate as emscripten 3.1.6 has them
  // take only the low 32 bits of the offset, as a signed number: everything
  // at 2 GiB and beyond failed. These take all of it (exactly up to 2^53).
  // Replacing the library's functions also replaces the wrapper that turns
  // its errors into results, hence the catch.
  // transfer is SYSCALLS.doReadv or SYSCALLS.doWritev.
  $zorvikPositioned__deps: ['$SYSCALLS', '$FS'],
  $zorvikPositioned: function(transfer, fd, iov, iovcnt, offset, pnum) {
    try {
      var num = transfer(SYSCALLS.getStreamFromFD(fd), iov, iovcnt, offset);
      {{{ makeSetValue('pnum', 0, 'num', 'i32') }}};
      return 0;
    } catch (e) {
      if (!(e instanceof FS.ErrnoError))
        throw e;
      return e.errno;
    }
  },
  fd_pwrite__deps: ['$zorvikPositioned'],
  fd_pwrite: function(fd, iov, iovcnt, {{{ defineI64Param('offset') }}}, pnum) {
    {{{ receiveI64ParamAsI32s('offset') }}}
    return zorvikPositioned(SYSCALLS.doWritev, fd, iov, iovcnt, offset_high * 0x100000000 + (offset_low >>> 0), pnum);
  },
  fd_pread__deps: ['$zorvikPositioned'],
  fd_pread: function(fd, iov, iovcnt, {{{ defineI64Param('offset') }}}, pnum) {
    {{{ receiveI64ParamAsI32s('offset') }}}
    return zorvikPositioned(SYSCALLS.doReadv, fd, iov, iovcnt, offset_high * 0x100000000 + (offset_low >>> 0), pnum);
  },
  __syscall_ftruncate64__deps: ['$FS'],
  __syscall_ftruncate64: function(fd, low, high) {
    try {
      FS.ftruncate(fd, high * 0x100000000 + (low >>> 0));
      return 0;
    } catch (e) {
      if (!(e instanceof FS.ErrnoError))
        throw e;
      return -e.errno;
    }
  },

  $ZORVIKFS__deps: ['$FS', '$WORKERFS'],
  $ZORVIKFS: {
    INPUT_ROOT: '/in',
    OUTPUT_FOLDER: '/out',

    // Mounts files[i] (a File, or null) at /in/(i + 1)/its name; returns
    // the paths, '' for none.
    mountInputs: function(files) {
      ZORVIKFS.guardInputReads();
      return files.map(function(file, i) {
        if (!file)
          return '';
        var folder = ZORVIKFS.INPUT_ROOT + '/' + (i + 1);
        FS.mkdirTree(folder);
        FS.mount(WORKERFS, {files: [file]}, folder);
        return folder + '/' + file.name;
      });
    },

    unmountInputs: function(paths) {
      paths.forEach(function(path) {
        if (!path)
          return;
        ZORVIKFS.discard(FS.lookupPath(path).node);
        FS.unmount(PATH.dirname(path));
      });
    },

    // WORKERFS's reads, with three changes. The browser's own errors would
    // end the program: a read that fails is EIO instead. Each call of
    // FileReaderSync costs about as much as reading a MiB, so the file is
    // read in slices of SLICE bytes, from which the program's reads are
    // served. And each slice arrives in an ArrayBuffer of its own, which a
    // worker busy in one long call would not free before its garbage
    // collector runs, which may be hundreds of MiB later: a slice that is
    // done with is transferred to a port whose other end is closed, which
    // frees it at once.
    SLICE: 4 << 20,
    discard: null,

    guardInputReads: function() {
      if (WORKERFS.stream_ops.read.guarded)
        return;
      var reader = new FileReaderSync();
      var channel = new MessageChannel();
      channel.port2.close();
      ZORVIKFS.discard = function(node) {
        if (node.slice)
          channel.port1.postMessage(null, [node.slice.bytes.buffer]);
        node.slice = null;
      };
      function slice(node, position) {
        ZORVIKFS.discard(node);
        var bytes = reader.readAsArrayBuffer(node.contents.slice(position, position + ZORVIKFS.SLICE));
        node.slice = {at: position, bytes: new Uint8Array(bytes)};
      }
      WORKERFS.stream_ops.read = function(stream, buffer, offset, length, position) {
        var node = stream.node, done = 0;
        try {
          while (done < length && position + done < node.size) {
            var at = position + done;
            if (!node.slice || at < node.slice.at || at >= node.slice.at + node.slice.bytes.length)
              slice(node, at);
            if (node.slice.bytes.length === 0)
              break;
            var from = at - node.slice.at;
            var part = node.slice.bytes.subarray(from, Math.min(node.slice.bytes.length, from + length - done));
            buffer.set(part, offset + done);
            done += part.length;
          }
        } catch (e) {
          ZORVIKFS.discard(node);
          throw new FS.ErrnoError({{{ cDefine('EIO') }}});
        }
        return done;
      };
      WORKERFS.stream_ops.read.guarded = true;
    },

    // Mounts the output folder with store for its one file.
    mountOutput: function(store) {
      FS.mkdirTree(ZORVIKFS.OUTPUT_FOLDER);
      FS.mount(OUTFS, {store: store}, ZORVIKFS.OUTPUT_FOLDER);
    },

    // The name the output's file has when the folder is let go, or null
    // when there is none (never made, or removed).
    unmountOutput: function() {
      var root = FS.lookupPath(ZORVIKFS.OUTPUT_FOLDER).node;
      var name = null;
      Object.keys(root.contents).forEach(function(key) {
        if (root.contents[key].store)
          name = key;
      });
      FS.unmount(ZORVIKFS.OUTPUT_FOLDER);
      return name;
    },

    // A store in memory that holds at most limit bytes.
    MemoryStore: function(limit) {
      var bytes = new Uint8Array(0), size = 0;
      function reserve(end) {
        if (end > limit)
          throw new DOMException('The output is larger than the memory allowed for it.', 'QuotaExceededError');
        if (end <= bytes.length)
          return;
        var larger = new Uint8Array(Math.min(limit, Math.max(end, 2 * bytes.length, 1 << 20)));
        larger.set(bytes.subarray(0, size));
        bytes = larger;
      }
      this.read = function(view, at) {
        var n = Math.max(0, Math.min(view.length, size - at.at));
        view.set(bytes.subarray(at.at, at.at + n));
        return n;
      };
      this.write = function(view, at) {
        reserve(at.at + view.length);
        bytes.set(view, at.at);
        size = Math.max(size, at.at + view.length);
        return view.length;
      };
      this.truncate = function(length) {
        reserve(length);
        if (length < size)
          bytes.fill(0, length, size);
        size = length;
      };
      this.getSize = function() { return size; };
      this.flush = function() {};
      this.close = function() {};
      this.blob = function() { return new Blob([bytes.subarray(0, size)]); };
    },
  },

  $OUTFS__deps: ['$FS'],
  $OUTFS: {
    DIR_MODE: {{{ cDefine('S_IFDIR') }}} | 511 /* 0777 */,

    mount: function(mount) {
      OUTFS.store = mount.opts.store;
      OUTFS.taken = false;
      return OUTFS.createNode(null, '/', OUTFS.DIR_MODE);
    },

    createNode: function(parent, name, mode) {
      var node = FS.createNode(parent, name, mode, 0);
      node.node_ops = OUTFS.node_ops;
      node.stream_ops = OUTFS.stream_ops;
      node.timestamp = Date.now();
      if (FS.isDir(mode))
        node.contents = {};
      if (parent)
        parent.contents[name] = node;
      return node;
    },

    // The store's own errors as the system's: a full store is a full disk.
    call: function(work) {
      try {
        return work();
      } catch (e) {
        if (e instanceof FS.ErrnoError)
          throw e;
        throw new FS.ErrnoError(e && e.name === 'QuotaExceededError' ? {{{ cDefine('ENOSPC') }}}
                                                                    : {{{ cDefine('EIO') }}});
      }
    },

    // The bytes of an emscripten heap view, as the stores take them.
    bytesOf: function(buffer, offset, length) {
      return new Uint8Array(buffer.buffer, buffer.byteOffset + offset, length);
    },

    release: function(node) {
      if (!node.store)
        return;
      OUTFS.call(function() { node.store.truncate(0); });
      node.store = null;
      OUTFS.taken = false;
    },

    node_ops: {
      getattr: function(node) {
        var size = node.store ? OUTFS.call(function() { return node.store.getSize(); }) : 4096;
        return {
          dev: 2, ino: node.id, mode: node.mode, nlink: 1, uid: 0, gid: 0, rdev: 0, size: size,
          atime: new Date(node.timestamp), mtime: new Date(node.timestamp), ctime: new Date(node.timestamp),
          blksize: 4096, blocks: Math.ceil(size / 4096),
        };
      },
      setattr: function(node, attr) {
        if (attr.mode !== undefined)
          node.mode = attr.mode;
        if (attr.timestamp !== undefined)
          node.timestamp = attr.timestamp;
        if (attr.size !== undefined && node.store) {
          OUTFS.call(function() { node.store.truncate(attr.size); });
          node.timestamp = Date.now();
        }
      },
      lookup: function(parent, name) {
        throw new FS.ErrnoError({{{ cDefine("ENOENT") }}});
      },
      // Only files, and only one: the store is the room there is.
      mknod: function(parent, name, mode, dev) {
        if (!FS.isFile(mode))
          throw new FS.ErrnoError({{{ cDefine('EPERM') }}});
        if (!OUTFS.store || OUTFS.taken)
          throw new FS.ErrnoError({{{ cDefine('ENOSPC') }}});
        OUTFS.call(function() { OUTFS.store.truncate(0); });
        var node = OUTFS.createNode(parent, name, mode);
        node.store = OUTFS.store;
        OUTFS.taken = true;
        return node;
      },
      rename: function(node, newDir, newName) {
        var replaced = newDir.contents[newName];
        if (replaced) {
          OUTFS.release(replaced);
          FS.destroyNode(replaced);
        }
        delete node.parent.contents[node.name];
        node.name = newName;
        node.parent = newDir;
        newDir.contents[newName] = node;
      },
      unlink: function(parent, name) {
        OUTFS.release(parent.contents[name]);
        delete parent.contents[name];
      },
      rmdir: function(parent, name) {
        throw new FS.ErrnoError({{{ cDefine('EPERM') }}});
      },
      readdir: function(node) {
        return ['.', '..'].concat(Object.keys(node.contents));
      },
      symlink: function(parent, newName, oldPath) {
        throw new FS.ErrnoError({{{ cDefine('EPERM') }}});
      },
      readlink: function(node) {
        throw new FS.ErrnoError({{{ cDefine('EINVAL') }}});
      },
    },

    stream_ops: {
      read: function(stream, buffer, offset, length, position) {
        var store = stream.node.store;
        if (!store)
          throw new FS.ErrnoError({{{ cDefine('EISDIR') }}});
        return OUTFS.call(function() { return store.read(OUTFS.bytesOf(buffer, offset, length), {at: position}); });
      },
      write: function(stream, buffer, offset, length, position) {
        var store = stream.node.store;
        if (!store)
          throw new FS.ErrnoError({{{ cDefine('EISDIR') }}});
        stream.node.timestamp = Date.now();
        return OUTFS.call(function() { return store.write(OUTFS.bytesOf(buffer, offset, length), {at: position}); });
      },
      llseek: function(stream, offset, whence) {
        var position = offset;
        if (whence === {{{ cDefine('SEEK_CUR') }}})
          position += stream.position;
        else if (whence === {{{ cDefine('SEEK_END') }}} && stream.node.store)
          position += OUTFS.call(function() { return stream.node.store.getSize(); });
        if (position < 0)
          throw new FS.ErrnoError({{{ cDefine('EINVAL') }}});
        return position;
      },
      fsync: function(stream) {
        if (stream.node.store)
          OUTFS.call(function() { stream.node.store.flush(); });
        return 0;
      },
    },
  },
});
