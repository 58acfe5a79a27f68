#!/usr/bin/env python3
"""Writes the seed corpora of the unit-level fuzz targets (run from tests/fuzz)."""
import os
import struct


def le32(*words):
    return b"".join(struct.pack("<I", w & 0xFFFFFFFF) for w in words)


def put(target, name, data):
    folder = os.path.join("corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# fuzz_multihash: byte 0 picks the entry that matches, then the message.
two = le32(2, 0, 20) + bytes(range(20)) + le32(1, 20) + bytes(range(20, 40))
put("fuzz_multihash", "two_entries_second_matches", b"\x01" + two)
put("fuzz_multihash", "two_entries_none_matches", b"\xff" + two)
put("fuzz_multihash", "length_past_end", b"\x00" + le32(3, 0, 0xFFFFFFF0) + le32(1, 1) + b"A")
put("fuzz_multihash", "short_tail", b"\x00" + le32(2, 0, 0) + b"12345678")
put("fuzz_multihash", "count_only", b"\x00" + le32(5) + b"x")

# fuzz_utf8: mode byte (bit 0: units to UTF-8; bit 1: negative room), capacity, data.
put("fuzz_utf8", "utf8_mixed", b"\x00\x40" + "aé\u0800\uffff".encode("utf-8"))
put("fuzz_utf8", "utf8_tight", b"\x00\x03" + b"abcd")
put("fuzz_utf8", "utf8_overlong3", b"\x00\x10" + b"\xe0\x80\x80")
put("fuzz_utf8", "utf8_four_byte", b"\x00\x10" + "\U0001f600".encode("utf-8"))
put("fuzz_utf8", "utf8_surrogate", b"\x00\x10" + b"\xed\xa0\x80")
put("fuzz_utf8", "units_mixed", b"\x01\x06" + struct.pack("<4H", 0x41, 0xE9, 0x800, 0xD800))
put("fuzz_utf8", "units_truncated", b"\x01\x02" + struct.pack("<H", 0x800))
put("fuzz_utf8", "units_negative_room", b"\x03\x05" + struct.pack("<2H", 0x41, 0x42))

# fuzz_cfgread: mode byte (low 2 bits: read all, lookup, write binary, write
# string; bit 7 adds 256 to the room), room, data.
cfg = (b"ConfigDirectory:s:0:/var/lib/keys\n"
       b"K:b:3:01:ab:ff\n"
       b"Trace:b:4:00:00:00:01\n"
       b"Empty:b:0\n"
       b"Odd:x:1:zz\n"
       b"Neg:b:-1:01\n")
put("fuzz_cfgread", "read_all", b"\x00\x40" + cfg)
put("fuzz_cfgread", "read_all_small_room", b"\x00\x02" + cfg)
put("fuzz_cfgread", "long_line", b"\x80\xff" + b"N:s:0:" + b"v" * 320 + b"\nM:s:0:w\n")
put("fuzz_cfgread", "long_name", b"\x00\x40" + b"n" * 80 + b":s:0:v\n")
put("fuzz_cfgread", "lookup", b"\x01\x20" + b"Trace\n" + cfg)
put("fuzz_cfgread", "write_binary", b"\x02\x00" + bytes([3]) + b"Key" + bytes([0, 0xAB, 0xFF]))
put("fuzz_cfgread", "write_string", b"\x03\x00" + bytes([4]) + b"Path" + b"/tmp/a b:c\r")

# fuzz_decode_digest: capacity byte (0: the client's 512), marker/type byte, text.
marker = b"\xff\xfe\xfe\xff"
hexrec = lambda rec: rec.hex().upper().encode()
put("fuzz_decode_digest", "cifs", b"\x00\x00" + marker + b"\x07" + hexrec(bytes(range(32))))
put("fuzz_decode_digest", "afp", b"\x00\x00" + marker + b"\x0a" + hexrec(bytes(range(36))))
put("fuzz_decode_digest", "hedra", b"\x00\x00" + marker + b"\x09" + hexrec(bytes(8) + le32(3) + b"\x01\x02\x03" + bytes(4)))
pelu = bytes(4) + le32(16) + bytes(range(36)) + le32(4) + bytes(36) + le32(2) + bytes(36)
esc = b"".join(b"\xf3" + bytes([c + 1]) if c in (0, 0xF3) else bytes([c]) for c in pelu)
put("fuzz_decode_digest", "vesk_pelu", b"\x00\x00" + marker + b"\x0b" + esc)
put("fuzz_decode_digest", "vesk_pelu_small_buffer", b"\x28\x00" + marker + b"\x0b" + esc)
put("fuzz_decode_digest", "with_marker_cifs", b"\x00\x80" + hexrec(bytes(range(32))))
