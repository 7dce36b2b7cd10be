#!/usr/bin/env python3
"""Computes the engine's known answers with tools independent of the project:
Python's hashlib for SHA-256 and the openssl command-line tool for AES-256-CBC.

Prints C++ constants used by tests/engine/KnownAnswerTest.cpp. Run it again
after changing an input below and paste the output into that file.
"""
import hashlib
import subprocess


def sha(b):
    return hashlib.sha256(b).digest()


def stretch(text, salt):
    d = sha(salt + text.encode("utf-16-le"))
    for i in range(50000):
        d = sha(d + i.to_bytes(4, "little"))
    return d


def pad(key):
    return sha(bytes(k ^ 0x36 for k in key))


def aes_cbc(key, iv, data, decrypt=False):
    args = ["openssl", "enc", "-aes-256-cbc", "-nopad", "-K", key.hex(), "-iv", iv.hex()]
    if decrypt:
        args.append("-d")
    return subprocess.run(args, input=data, capture_output=True, check=True).stdout


def locked_file(password, salt, token, iv64, payload):
    kh = pad(stretch(password, salt))
    sealed_token = aes_cbc(kh, iv64[:16], token)
    sealed_digest = aes_cbc(kh, iv64[:16], sha(token))
    header = (b"\x00\xff" + (1).to_bytes(2, "little") + salt + sealed_token + sealed_digest + iv64
              + len(payload).to_bytes(8, "little"))
    assert len(header) == 172
    k = stretch(password, sealed_digest)
    chain = iv64[:16]
    body = b""
    blocks = len(payload) // 16 + 1
    padded = payload + b"\x00" * (blocks * 16 - len(payload))
    for n in range(blocks):
        k = sha(k + n.to_bytes(4, "little"))
        c = aes_cbc(k, chain, padded[16 * n:16 * n + 16])
        body += c
        chain = c
    return header + body


salt = bytes(range(32))
print("// StretchSecret(text, salt 00 01 .. 1f)")
for text in ["", "password", "Corvastine 2026!", "p\u00e4ssw\u00f6rd"]:
    print(f'{{u8"{text}", "{stretch(text, salt).hex()}"}},')
print("// PadDigest")
for key in [bytes(32), bytes(range(32)), stretch("password", salt)]:
    print(f'{{"{key.hex()}", "{pad(key).hex()}"}},')
print("// locked file: password 'corvastine', salt 00..1f, token 20..3f, iv 40..7f")
token = bytes(range(32, 64))
iv64 = bytes(range(64, 128))
for payload in [b"", b"0123456789abcdef", b"The quick brown fox jumps over the lazy dog"]:
    print(f'{{"{payload.hex()}", "{locked_file("corvastine", salt, token, iv64, payload).hex()}"}},')
