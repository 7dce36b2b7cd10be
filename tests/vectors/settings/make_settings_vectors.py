#!/usr/bin/env python3
"""Known answers for the settings store, computed without the project's code:
the word scrambler and the password and answer digest texts (Python's
hashlib), written to scrambler.txt and digests.txt.

With --check, also reads every config-*.xml here (files the project wrote),
unscrambles the ones named "*-scrambled.xml" with the fixed settings key,
parses them with ElementTree and compares the settings with the matching
"*.values" file. Exits non-zero on any difference.
"""
import bisect
import hashlib
import pathlib
import sys
import xml.etree.ElementTree as ET

HERE = pathlib.Path(__file__).resolve().parent
SETTINGS_KEY = b"fetchhostmachinetag"
SETTINGS_BLOCK_WORDS = 1024


# ---------------------------------------------------------------- digests
def sha(b):
    return hashlib.sha256(b).digest()


def stretch(text, salt):
    d = sha(salt + text.encode("utf-16-le"))
    for i in range(50000):
        d = sha(d + i.to_bytes(4, "little"))
    return d


def digest_text(text, label):
    salt = label.encode("ascii").ljust(32, b"\0")
    return "".join("%02X " % b for b in stretch(text, salt))


# ---------------------------------------------------------------- scrambler
def u32(v):
    return v & 0xFFFFFFFF


def block_index(n, start, step):
    """Permutation of 0..n-1 picked from an ordered set of free slots."""
    out = [None] * n
    free = list(range(n))
    idx = u32(start)
    for j in range(n):
        t = u32(idx - j + step) % n
        k = bisect.bisect_left(free, t)
        if k == len(free):
            k = 0
        p = free.pop(k)
        out[p] = j
        idx = p
    return out


def key_hashes(key):
    b = [0, 0, 0, 0]
    n = len(key)
    for i, c in enumerate(key):
        b[i % 4] ^= c ^ ((n - i - 1) & 0xFF)
    h1 = (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]
    h2 = 0
    for c in key:
        h2 = u32(5 * h2 + (c - 256 if c >= 128 else c))
    return h1, h2


def signed(v):
    return v - (1 << 32) if v & 0x80000000 else v


def permute(data, order, forward):
    words = [data[4 * i:4 * i + 4] for i in range(len(order))]
    out = [None] * len(order)
    for i, o in enumerate(order):
        if forward:
            out[i] = words[o]
        else:
            out[o] = words[i]
    return b"".join(out)


def transform(key, block_words, data, forward):
    if not 1 <= block_words <= 1048576:
        block_words = 4096
    h1, h2 = key_hashes(key)
    pattern = h1.to_bytes(4, "big")
    data = bytearray(data)
    if not forward:
        data = bytearray(c ^ pattern[k % 4] for k, c in enumerate(data))
    full = block_index(block_words, signed(h1), signed(h2))
    size = 4 * block_words
    off, remaining = 0, len(data)
    while remaining > size:
        data[off:off + size] = permute(data[off:off + size], full, forward)
        remaining -= size
        off += size
    w = remaining // 4
    tail = block_index(w, signed(h1), signed(h2))
    data[off:off + 4 * w] = permute(data[off:off + 4 * w], tail, forward)
    if forward:
        data = bytearray(c ^ pattern[k % 4] for k, c in enumerate(data))
    return bytes(data)


def sample(length):
    return bytes((7 * i + 3) & 0xFF for i in range(length))


# ---------------------------------------------------------------- outputs
SCRAMBLER_CASES = (
    [(SETTINGS_KEY, 1024, n) for n in (0, 1, 3, 4, 5, 8, 101, 4095, 4096, 4097, 8192, 8193, 12288)]
    + [(b"k", 4, n) for n in range(0, 41)]
    + [(b"\xe9t\xe9", 3, n) for n in (11, 12, 13, 25, 37)]
    + [(b"ab", 0, 4096 * 4 + 5), (b"ab", 1048577, 7)]
)

DIGEST_CASES = [
    ("kelpbramble", ""),
    ("kelpbramble", "password"),
    ("kelpbramble", "Password"),
    ("kelpbramble", "correct horse battery staple"),
    ("kelpbramble", "p\u00e4ssw\u00f6rd"),
    ("kelpbramble", "Caf\u00e9 cr\u00e8me 42!"),
    ("quaymortar1", "Rex"),
    ("quaymortar1", "Rex "),
    ("quaymortar2", "S\u00e3o Paulo"),
    ("quaymortar2", "Springfield"),
    ("quaymortar3", "Elm Street"),
    ("quaymortar3", ""),
]


def write_outputs():
    lines = ["# key-hex block-words length H1 H2 input-hex output-hex (input byte i = 7i+3 mod 256)"]
    for key, n, length in SCRAMBLER_CASES:
        data = sample(length)
        out = transform(key, n, data, True)
        assert transform(key, n, out, False) == data
        h1, h2 = key_hashes(key)
        lines.append(f"{key.hex()} {n} {length} {h1:08x} {h2:08x} {data.hex() or '-'} {out.hex() or '-'}")
    (HERE / "scrambler.txt").write_text("\n".join(lines) + "\n")

    lines = ["# label<TAB>text as UTF-8 hex<TAB>digest text (96 characters, ends in a space)"]
    for label, text in DIGEST_CASES:
        lines.append(f"{label}\t{text.encode('utf-8').hex() or '-'}\t{digest_text(text, label)}")
    (HERE / "digests.txt").write_text("\n".join(lines) + "\n")


# The secrets behind the digests of config-full-*.xml.
FULL_SECRETS = {
    "passwordhash": ("kelpbramble", "correct horse battery staple"),
    "a1": ("quaymortar1", "Rex"),
    "a2": ("quaymortar2", "Springfield"),
    "a3": ("quaymortar3", "Elm Street"),
}


def check_configs():
    failures = 0
    for path in sorted(HERE.glob("config-*.xml")):
        raw = path.read_bytes()
        if path.name.endswith("-scrambled.xml"):
            raw = transform(SETTINGS_KEY, SETTINGS_BLOCK_WORDS, raw, False)
        if len(raw) % 2 == 0 and raw.endswith(b"\0") and not raw.endswith(b"\0\0"):
            raw = raw[:-1]  # the zero byte after an odd-length document
        root = ET.fromstring(raw)
        got = {child.tag: child.get("val", "") for child in root}
        values = path.with_suffix(".values")
        want = {}
        for line in values.read_text(encoding="utf-8").splitlines():
            if line and not line.startswith("#"):
                k, _, v = line.partition("\t")
                want[k] = v
        ok = root.tag == "root" and root.get("Ver") == "1.0" and got == want
        # The digests of the full files belong to known secrets.
        for key, (label, secret) in FULL_SECRETS.items():
            if key in want and want[key] != digest_text(secret, label):
                print(f"     {path.name}: {key} is not the digest of {secret!r}")
                ok = False
        print(f"{'ok  ' if ok else 'FAIL'} {path.name}")
        failures += not ok
    return failures


if __name__ == "__main__":
    if "--check" in sys.argv:
        sys.exit(1 if check_configs() else 0)
    write_outputs()
