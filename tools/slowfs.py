#!/usr/bin/python3
# A read-only passthrough file system over BACKING whose every operation first
# waits as long as the number of seconds in DELAY_FILE says: a slow network
# volume, or with a wait longer than any run, one that never answers. The file
# is read again while an operation waits, so lowering the wait releases every
# operation already waiting. The kernel caches nothing, so each lookup comes
# here. A path through a folder named "denied" is refused (EACCES), one
# through "ioerr" fails as a device does (EIO), while the rest answers: what
# another user's folder and a failing share look like to the program.
# Usage: slowfs.py BACKING MOUNTPOINT DELAY_FILE
import errno
import os
import sys
import time

import fusepy

SLICE = 0.02
FAILING = {'denied': errno.EACCES, 'ioerr': errno.EIO}


class SlowPassthrough(fusepy.Operations):
    def __init__(self, backing, delay_file):
        self.backing = os.path.realpath(backing)
        self.delay_file = delay_file

    def delay(self):
        try:
            with open(self.delay_file) as f:
                return float(f.read().strip() or 0)
        except (OSError, ValueError):
            return 0.0

    def wait(self):
        start = time.monotonic()
        while True:
            left = start + self.delay() - time.monotonic()
            if left <= 0:
                return
            time.sleep(min(SLICE, left))

    def real(self, path):
        return os.path.join(self.backing, path.lstrip('/'))

    def __call__(self, op, *args):
        self.wait()
        path = args[0] if args and isinstance(args[0], str) else ''
        for part in path.split('/'):
            if part in FAILING:
                raise fusepy.FuseOSError(FAILING[part])
        try:
            return super().__call__(op, *args)
        except OSError as e:
            raise fusepy.FuseOSError(e.errno or errno.EIO)

    def getattr(self, path, fh=None):
        st = os.lstat(self.real(path))
        keys = ('st_mode', 'st_nlink', 'st_uid', 'st_gid', 'st_size', 'st_atime', 'st_mtime', 'st_ctime')
        return {k: getattr(st, k) for k in keys}

    def access(self, path, mode):
        if not os.access(self.real(path), mode):
            raise fusepy.FuseOSError(errno.EACCES)

    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(self.real(path))

    def readlink(self, path):
        return os.readlink(self.real(path))

    def statfs(self, path):
        st = os.statvfs(self.real(path))
        keys = ('f_bavail', 'f_bfree', 'f_blocks', 'f_bsize', 'f_favail', 'f_ffree', 'f_files', 'f_flag',
                'f_frsize', 'f_namemax')
        return {k: getattr(st, k) for k in keys}

    def open(self, path, flags):
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise fusepy.FuseOSError(errno.EROFS)
        return os.open(self.real(path), flags)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)


def main():
    if len(sys.argv) != 4:
        sys.exit('usage: slowfs.py BACKING MOUNTPOINT DELAY_FILE')
    backing, mountpoint, delay_file = sys.argv[1:]
    fusepy.FUSE(SlowPassthrough(backing, delay_file), mountpoint, foreground=True, nothreads=False, ro=True,
                attr_timeout=0, entry_timeout=0, negative_timeout=0)


if __name__ == '__main__':
    main()
