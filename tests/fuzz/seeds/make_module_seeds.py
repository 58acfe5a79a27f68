#!/usr/bin/env python3
"""Writes the seed corpora of fuzz_server and fuzz_client (run from tests/fuzz).

The seeds are whole, mostly successful exchanges with the password the two
targets' records are made from, so that fuzzing starts past the matches."""
import hashlib
import os
import struct
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore")
    import crypt

PW = b"Secret1"


def le32(*words):
    return b"".join(struct.pack("<I", w & 0xFFFFFFFF) for w in words)


def frame(*messages):
    out = b""
    for m in messages:
        via_x = isinstance(m, tuple)
        data = m[0] if via_x else m
        out += struct.pack("<H", len(data) | (0x8000 if via_x else 0)) + data
    return out


def put(target, name, data):
    folder = os.path.join("corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


sha1 = lambda b: hashlib.sha1(b).digest()
md5 = lambda b: hashlib.md5(b).digest()
OPEN, VERSION = le32(0xFFFFFFFF, 0), le32(1)
SALT = bytes([0x5A]) + bytes(range(1, 16))

# fuzz_server: source, modifier, "Password Flags" word, then the client's messages.
S = {"value": 0, "plain": 1, "sha1": 2, "md5": 3, "crypt": 4, "salted": 5, "salted_bare": 6, "galt": 7,
     "other": 8, "nothing": 9}


def server(source, messages, modifier=0, flags=0):
    return bytes([S[source], modifier]) + le32(flags) + frame(*messages)


for source in ("value", "plain", "sha1", "md5", "crypt", "salted", "galt", "nothing"):
    put("fuzz_server", f"direct_plain_{source}", server(source, [le32(1, 0), PW]))
put("fuzz_server", "current_value_wrong_salted", server("value", [OPEN, VERSION, le32(8, 0), bytes(20)]))
put("fuzz_server", "current_sha1_sync", server("sha1", [OPEN, VERSION, le32(2, 1), sha1(PW), (b"Newer1\0",)]))
put("fuzz_server", "current_md5", server("md5", [OPEN, VERSION, le32(3, 0), md5(PW)]))
put("fuzz_server", "current_salted_sync", server("salted", [OPEN, VERSION, le32(8, 1), sha1(PW + SALT), (b"Newer1\0",)]))
put("fuzz_server", "current_salted_bare", server("salted_bare", [OPEN, VERSION, le32(8, 0), sha1(PW)]))
ct = crypt.crypt(PW.decode(), "ab").encode()
put("fuzz_server", "current_crypt", server("crypt", [OPEN, VERSION, le32(4, 1), ct + b"\0", (b"Newer1\0",)]))
multi = le32(2, 0, 20) + sha1(PW) + le32(1, 20) + sha1(PW.upper())
put("fuzz_server", "current_sha1_multihash", server("sha1", [OPEN, VERSION, le32(2, 2), multi], modifier=2, flags=4))
put("fuzz_server", "multihash_without_uppercase", server("sha1", [OPEN, VERSION, le32(2, 2), multi]))
put("fuzz_server", "other_type_byte", server("other", [le32(0x33, 0), sha1(PW)], modifier=0x33))
chal = bytes(range(16))
chap = bytes([7, 0, 0, 0]) + chal + bytes(16) + le32(16) + md5(bytes([7]) + PW + chal) + bytes(16) + le32(16)
put("fuzz_server", "direct_chap", server("value", [le32(5, 0), chap]))
put("fuzz_server", "direct_chap_long_fields", server("plain", [le32(5, 0), chap[:36] + le32(0xFFFF) + chap[40:72] + le32(0xFFFF)]))
put("fuzz_server", "direct_mschap_zero", server("value", [le32(6, 0), bytes(91)]))
put("fuzz_server", "direct_cifs_zero", server("value", [le32(7, 0), bytes(32)]))
put("fuzz_server", "direct_hedra_zero", server("value", [le32(9, 0), bytes(8) + le32(8) + bytes(12)]))
put("fuzz_server", "direct_afp_zero", server("value", [le32(10, 0), bytes(36)]))
put("fuzz_server", "direct_pelu_zero", server("value", [le32(11, 0), bytes(144)]))
put("fuzz_server", "current_galt", server("galt", [OPEN, VERSION, le32(12, 0), bytes(20)]))
put("fuzz_server", "bad_version", server("value", [OPEN, le32(2)]))
put("fuzz_server", "header_four_bytes", server("plain", [le32(1), PW]))
put("fuzz_server", "oversized_answer", server("value", [le32(1, 0), bytes(16400)]))

# fuzz_client: mode (0 plain, 1 plain with type 1, 2 encoded digest, 3 finished
# answer), type byte, then the server's messages (for modes 2 and 3 the first
# one is what the client is handed).
def record(status, flags, hash_id, extra_len):
    return le32(status, flags, hash_id, extra_len)


put("fuzz_client", "salted_sync", b"\x00\x00" + frame(record(1, 2, 8, 16), bytes(range(16)), le32(1), le32(1)))
put("fuzz_client", "sha1_uppercase", b"\x01\x00" + frame(record(1, 4, 2, 0), le32(1)))
put("fuzz_client", "md5_fail", b"\x00\x00" + frame(record(1, 0, 3, 0), le32(0)))
put("fuzz_client", "crypt", b"\x00\x00" + frame(record(1, 2, 4, 2), b"ab", le32(1), le32(0)))
put("fuzz_client", "galt", b"\x00\x00" + frame(record(1, 6, 12, 20), bytes(range(20)), le32(1), le32(1)))
put("fuzz_client", "status_zero", b"\x00\x00" + frame(record(0, 0, 8, 0)))
put("fuzz_client", "status_error", b"\x00\x00" + frame(record(-1636, 0, 8, 0)))
put("fuzz_client", "plain_hash_refused", b"\x00\x00" + frame(record(1, 0, 1, 0)))
put("fuzz_client", "short_record", b"\x00\x00" + frame(le32(1, 2)))
put("fuzz_client", "huge_extra", b"\x00\x00" + frame(record(1, 0, 8, 0xFFFFFFF0), bytes(16)))
put("fuzz_client", "finished_chap", b"\x03\x05" + frame(bytes(76), le32(1)))
put("fuzz_client", "encoded_cifs", b"\x02\x07" + frame(bytes(range(32)).hex().upper().encode(), le32(1)))
