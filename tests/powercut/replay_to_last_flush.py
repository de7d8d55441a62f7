#!/usr/bin/env python3
"""The disk a power cut leaves when the drive's write cache is lost with it.

Usage: replay_to_last_flush.py BEFORE.img WRITES.log OUT.img

QEMU's write-logging block driver (blklogwrites) records every write the
guest made to a disk, in the order they completed, and each cache flush; its
header counts the entries up to the last flush that completed. A drive with a
volatile cache may have lost everything after that flush when the power went,
so OUT.img is BEFORE.img (the disk as it was when the guest booted) with
exactly those counted writes applied: what a file system can rely on having
on the platter. Prints how many writes it applied and how many it dropped.
"""
import shutil
import struct
import sys

MAGIC = 0x6A736677736872
FLUSH, FUA, DISCARD, MARK = 1, 2, 4, 8


def main(before, log_path, out):
    shutil.copyfile(before, out)
    with open(log_path, "rb") as log, open(out, "r+b") as disk:
        magic, version, counted, sector = struct.unpack("<QQQI", log.read(28))
        if magic != MAGIC or version != 1:
            sys.exit("%s is no write log" % log_path)
        at = 1  # log sectors: the header, then each entry and its data
        applied = entries = 0
        while True:
            log.seek(at * sector)
            head = log.read(32)
            if len(head) < 32:
                break
            first, count, flags, _ = struct.unpack("<QQQQ", head)
            if entries >= counted:
                # Written after the last flush: lost with the cache. The log
                # has garbage past its end, so only entries that look sane
                # are counted as dropped.
                if flags & ~(FLUSH | FUA | DISCARD | MARK):
                    break
                entries += 1
                at += 1 + (0 if flags & DISCARD else count)
                continue
            at += 1
            if not flags & DISCARD and count:
                log.seek(at * sector)
                disk.seek(first * sector)
                disk.write(log.read(count * sector))
                applied += 1
                at += count
            entries += 1
        print("%d writes up to the last flush applied, %d entries after it dropped" % (applied, entries - counted))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
