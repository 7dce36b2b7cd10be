#!/usr/bin/env python3
"""Writes the locked-file vectors whose payloads have several gzip members,
or something after the last member, into locked/ (see README.md). Uses
Python's hashlib, zlib and the cryptography package only, not the project.

The payloads are built so that member boundaries fall at awkward places: a
member that begins in the last byte of a 16-byte cipher block, one that
begins one byte into a block.
"""
import hashlib
import os
import zlib

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

PASSWORD = "corvastine-vectors"
HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "locked")


def sha(b):
    return hashlib.sha256(b).digest()


def stretch(text, salt):
    d = sha(salt + text.encode("utf-16-le"))
    for i in range(50000):
        d = sha(d + i.to_bytes(4, "little"))
    return d


def pad(key):
    return sha(bytes(k ^ 0x36 for k in key))


def cbc(key, iv, data):
    e = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    return e.update(data) + e.finalize()


def locked_file(password, payload, size_field=None, seed=b"vectors"):
    salt = sha(seed + b"salt")
    token = sha(seed + b"token")
    iv64 = sha(seed + b"iv1") + sha(seed + b"iv2")
    kh = pad(stretch(password, salt))
    sealed_token = cbc(kh, iv64[:16], token)
    sealed_digest = cbc(kh, iv64[:16], sha(token))
    size = len(payload) if size_field is None else size_field
    header = (b"\x00\xff" + (1).to_bytes(2, "little") + salt + sealed_token + sealed_digest + iv64
              + size.to_bytes(8, "little"))
    k = stretch(password, sealed_digest)
    chain = iv64[:16]
    blocks = len(payload) // 16 + 1
    padded = payload + b"\x00" * (blocks * 16 - len(payload))
    body = b""
    for n in range(blocks):
        k = sha(k + n.to_bytes(4, "little"))
        c = cbc(k, chain, padded[16 * n:16 * n + 16])
        body += c
        chain = c
    return header + body


def member(text):
    c = zlib.compressobj(6, zlib.DEFLATED, 31)
    return c.compress(text) + c.flush()


def member_ending_at(residue, start, stem):
    """A member of some text whose end, counted from start, is residue mod 16."""
    for extra in range(2000):
        text = stem + b"." * extra + b"\n"
        m = member(text)
        if (start + len(m)) % 16 == residue:
            return text, m
    raise SystemExit("no member length found")


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


# Three members: the second begins in the last byte of a cipher block, the
# third one byte into a block.
t1, m1 = member_ending_at(15, 0, b"The first member of a payload written in parts.\n" * 3)
t2, m2 = member_ending_at(1, len(m1), bytes(range(256)) * 2)
t3 = b"The third and last member.\n"
m3 = member(t3)
write("multi-member.bin.corvastine", locked_file(PASSWORD, m1 + m2 + m3))
write(os.path.join("plain", "multi-member.bin"), t1 + t2 + t3)

# A whole member followed by the two bytes of a gzip magic, or one zero byte.
hello = member(b"hello, world\n")
write("member-then-magic.txt.corvastine", locked_file(PASSWORD, hello + b"\x1f\x8b"))
write("member-then-zero.txt.corvastine", locked_file(PASSWORD, hello + b"\x00"))

# A payload size 16 less than the stream needs (the body holds all of it).
write("payload-size-16-short.bin.corvastine", locked_file(PASSWORD, m1 + m2 + m3, len(m1 + m2 + m3) - 16))
