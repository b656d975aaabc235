"""Writing an output file so that nothing is lost: the rules every writer of the package
follows, the same as the C++ writers'.

- An output that is one of the run's input files (the same file, by device and inode,
  whatever the names) is refused before anything is written.
- A symbolic link is written through: its target gets the new contents and the link stays.
- An existing file that the user may not write, or whose write permission bits are all
  cleared (even for a user whom the system lets write anything), is refused; a folder is
  refused.
- A regular file is written under a temporary name in its own folder, flushed to the
  device, and renamed onto the final name only when complete; the new file keeps the
  permissions of the one it replaces. A failed or interrupted write removes the temporary
  and leaves any earlier file as it was.
- A device or a pipe is written in place (renaming a file onto it would replace it); a
  pipe without a reader is refused instead of waiting for one.

Failures raise OutputError (an OSError) with a one-line message naming the file.
"""
import errno
import os
import stat
import tempfile


class OutputError(OSError):
    """An output that may not or could not be written; str() is a one-line message."""

    def __str__(self):
        return self.args[0] if self.args else "output not written"


def _why(e):
    return e.strerror or str(e)


def output_target(path, inputs=()):
    """The file that writing `path` changes (a link's final target), after the checks above.
    Raises OutputError when the output may not be written."""
    path = os.fspath(path)
    if not path:
        raise OutputError("no output file name")
    target = os.path.realpath(path) if os.path.islink(path) else path
    try:
        st = os.stat(target)
    except FileNotFoundError:
        return target
    except OSError as e:
        raise OutputError("%s: %s" % (path, _why(e))) from None
    for inp in inputs:
        try:
            si = os.stat(inp)
        except OSError:
            continue
        if (si.st_dev, si.st_ino) == (st.st_dev, st.st_ino):
            raise OutputError("%s: the output is the input file %s; nothing written" % (path, os.fspath(inp)))
    if stat.S_ISDIR(st.st_mode):
        raise OutputError("%s: is a folder; nothing written" % path)
    if stat.S_ISREG(st.st_mode) and (not os.access(target, os.W_OK) or not st.st_mode & 0o222):
        raise OutputError("%s: exists and may not be written; nothing written" % path)
    return target


def _write_all(fd, data):
    view = memoryview(data).cast("B")
    while view:
        view = view[os.write(fd, view):]


def _write_special(path, target, data):
    # A pipe opened for writing without a reader fails at once (ENXIO) instead of blocking.
    try:
        fd = os.open(target, os.O_WRONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    except OSError as e:
        if e.errno == errno.ENXIO:
            raise OutputError("%s: a pipe with no reader; nothing written" % path) from None
        raise OutputError("%s: %s; nothing written" % (path, _why(e))) from None
    try:
        os.set_blocking(fd, True)
        _write_all(fd, data)
    except OSError as e:
        raise OutputError("%s: %s; the output is incomplete" % (path, _why(e))) from None
    finally:
        os.close(fd)


def write_output(path, data, inputs=()):
    """Writes the bytes `data` as the file `path` by the rules above; `inputs` are the files
    the output must not be. Raises OutputError, leaving any earlier file as it was."""
    path = os.fspath(path)
    target = output_target(path, inputs)
    try:
        st = os.stat(target)
    except FileNotFoundError:
        st = None
    if st is not None and not stat.S_ISREG(st.st_mode):
        _write_special(path, target, data)
        return
    folder = os.path.dirname(os.path.abspath(target))
    try:
        fd, tmp = tempfile.mkstemp(prefix=".halvex-", suffix=".part", dir=folder)
    except OSError as e:
        raise OutputError("%s: cannot create a file in %s: %s; nothing written" % (path, folder, _why(e))) from None
    try:
        try:
            if st is not None:
                mode = stat.S_IMODE(st.st_mode)  # the permissions of the file replaced
            else:
                umask = os.umask(0)
                os.umask(umask)
                mode = 0o666 & ~umask  # as an ordinary new file, not mkstemp's 0600
            os.fchmod(fd, mode)
            _write_all(fd, data)
            os.fsync(fd)
        finally:
            os.close(fd)
        os.replace(tmp, target)
    except BaseException as e:
        try:
            os.remove(tmp)
        except OSError:
            pass
        if isinstance(e, OSError) and not isinstance(e, OutputError):
            raise OutputError("%s: %s; nothing written" % (path, _why(e))) from None
        raise
