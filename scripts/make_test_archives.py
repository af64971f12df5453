#!/usr/bin/env python3
"""Writes the malformed brush archives of tests/data, each named after what is wrong with it.

Run from anywhere: python3 scripts/make_test_archives.py. The layout is written here from
scratch (header, records, key table), independently of the C++ writer.
"""
import hashlib
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data")
MIB = 1024 * 1024


def record(key, plain=b"", rtype=1, unpacked=None, stored=None, stored_size=None, checksum=None,
           key_length=None, offset=None):
    """One record; any field given overrides the value derived from plain."""
    data = zlib.compress(plain, 9) if stored is None else stored
    return {
        "key": key.encode("latin-1") if isinstance(key, str) else key,
        "key_length": key_length,
        "type": rtype,
        "unpacked": len(plain) if unpacked is None else unpacked,
        "stored": data,
        "stored_size": len(data) if stored_size is None else stored_size,
        "checksum": hashlib.md5(plain).digest() if checksum is None else checksum,
        "offset": offset,
    }


def archive(records, count=None, table_offset=None, truncate=None):
    out = bytearray(b"VNDb" + struct.pack("<ii", 0, 0))
    offsets = []
    for r in records:
        offsets.append(len(out))
        out += struct.pack("<Hiid", r["type"], r["unpacked"], r["stored_size"], 45292.0)
        out += r["checksum"] + struct.pack("<H", 0) + bytes(8) + r["stored"]
    table = len(out)
    for r, at in zip(records, offsets):
        length = len(r["key"]) if r["key_length"] is None else r["key_length"]
        out += struct.pack("<i", length) + r["key"]
        out += struct.pack("<i", at if r["offset"] is None else r["offset"])
    struct.pack_into("<ii", out, 4, len(records) if count is None else count,
                     table if table_offset is None else table_offset)
    return bytes(out[:truncate] if truncate is not None else out)


def image(fmt=5, pattern=(0, 0), visible=(0, 0), patterns=0, size=(4, 4), count=1, texels=None,
          texel_bytes=None):
    head = struct.pack("<B8i", fmt, pattern[0], pattern[1], visible[0], visible[1], patterns,
                       size[0], size[1], count)
    if texels is None:
        texels = bytes([0x80]) * (texel_bytes if texel_bytes is not None else size[0] * size[1] * 4 * count)
    return head + texels


def main():
    files = {}
    good = record("good", b"hello archive")

    # ---- archive structure ----
    files["record-count-too-large.dat"] = archive([good], count=0x7FFFFFFF)
    files["record-count-negative.dat"] = archive([good], count=-1)
    files["key-length-too-large.dat"] = archive([record("good", b"x", key_length=0x7FFFFFF0)])
    files["key-length-past-end.dat"] = archive([record("good", b"x", key_length=9)])
    files["table-offset-past-end.dat"] = archive([good], table_offset=1 << 30)
    files["table-offset-negative.dat"] = archive([good], table_offset=-12)
    files["record-offset-past-end.dat"] = archive([record("good", b"x", offset=1 << 30)])
    files["record-offset-negative.dat"] = archive([record("good", b"x", offset=-44)])
    files["header-truncated.dat"] = b"VNDb\x01\x00\x00\x00"
    # The record header runs past the end: the table comes first and the file ends 10 bytes into it.
    body = struct.pack("<i", 4) + b"good" + struct.pack("<i", 24)
    files["record-header-truncated.dat"] = b"VNDb" + struct.pack("<ii", 1, 12) + body + bytes(10)

    # ---- record data ----
    files["stored-size-past-end.dat"] = archive([record("good", b"hello", stored_size=0x7FFFFF00)])
    files["stored-size-negative.dat"] = archive([record("good", b"hello", stored_size=-5)])
    files["unpacked-size-above-cap.dat"] = archive([record("big", bytes(64 * MIB + 1))])
    files["unpacked-size-negative.dat"] = archive([record("good", b"hello", unpacked=-5)])
    files["unpacked-size-larger-than-stream.dat"] = archive([record("good", b"hello", unpacked=64 * MIB)])
    files["stream-longer-than-unpacked-size.dat"] = archive(
        [record("good", bytes(MIB), unpacked=100, checksum=hashlib.md5(bytes(100)).digest())])
    files["stream-not-zlib.dat"] = archive([record("good", b"hello", stored=b"this is not a zlib stream")])
    files["stream-truncated.dat"] = archive([record("good", b"hello archive " * 20,
                                                    stored=zlib.compress(b"hello archive " * 20)[:-6])])
    packer = zlib.compressobj(9, zlib.DEFLATED, 15, 9, zlib.Z_DEFAULT_STRATEGY, zdict=b"hello")
    files["stream-needs-dictionary.dat"] = archive(
        [record("good", b"hello hello", stored=packer.compress(b"hello hello") + packer.flush())])

    # ---- image records (key "image", type 1) ----
    files["image-texels-one-byte-short.dat"] = archive([record("image", image(texel_bytes=4 * 4 * 4 - 1))])
    files["image-header-short.dat"] = archive([record("image", image()[:20])])
    files["image-format-unknown.dat"] = archive([record("image", image(fmt=11))])
    files["image-format-255.dat"] = archive([record("image", image(fmt=255))])
    files["image-texture-size-overflow.dat"] = archive(
        [record("image", image(size=(0x7FFFFFFF, 0x7FFFFFFF), count=1, texel_bytes=64))])
    files["image-texture-count-overflow.dat"] = archive(
        [record("image", image(size=(65536, 65536), count=0x7FFFFFFF, texel_bytes=64))])
    files["image-huge-texture-without-texels.dat"] = archive(
        [record("image", image(size=(16384, 16384), count=1, texel_bytes=0))])
    files["image-pattern-grid-overflow.dat"] = archive(
        [record("image", image(pattern=(1, 1), visible=(1, 1), size=(0x7FFFFFFF, 0x7FFFFFFF), count=0))])
    files["image-pattern-count-too-large.dat"] = archive(
        [record("image", image(pattern=(2, 2), visible=(2, 2), patterns=100, size=(4, 4), count=1))])

    os.makedirs(OUT, exist_ok=True)
    for name, data in sorted(files.items()):
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    print(f"{len(files)} files in {os.path.normpath(OUT)}")


if __name__ == "__main__":
    main()
