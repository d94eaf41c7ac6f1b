#!/usr/bin/env python3
"""Writes the message files the message benchmark times (not kept in the
repository): message_big.eml (about 100 MB: 40 base64 attachments of random
bytes), message_nested.eml (about 20 MB: about 5000 small parts in nested
multiparts) and message_headers.eml (50,000 header lines full of encoded
words in many charsets). All with CR LF line ends, as mail is stored; with
--lf, LF-only copies as well (message_*_lf.eml).

Usage: message_gen.py DIR [--lf]
"""
import base64
import os
import random
import sys

CRLF = "\r\n"


def b64_lines(data):
    text = base64.b64encode(data).decode("ascii")
    return CRLF.join(text[i:i + 76] for i in range(0, len(text), 76))


def qp(text):
    import quopri
    return quopri.encodestring(text.encode("utf-8")).decode("ascii").replace("\n", CRLF)


def big(rng):
    out = ["From: Bench <bench@example.org>", "To: You <you@example.org>",
           "Subject: forty attachments", "MIME-Version: 1.0",
           'Content-Type: multipart/mixed; boundary="==big-boundary=="', "",
           "This is a multi-part message in MIME format.", "",
           "--==big-boundary==", "Content-Type: text/plain; charset=utf-8", "",
           "Forty files follow.", ""]
    for i in range(40):
        data = rng.randbytes(1_900_000 + rng.randrange(100_000))
        out += ["--==big-boundary==",
                f'Content-Type: application/octet-stream; name="file{i:02}.bin"',
                "Content-Transfer-Encoding: base64",
                f'Content-Disposition: attachment; filename="file{i:02}.bin"', "",
                b64_lines(data), ""]
    out += ["--==big-boundary==--", ""]
    return CRLF.join(out)


WORDS = ("lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor "
         "incididunt ut labore et dolore magna aliqua").split()


def sentence(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n))


def leaf(rng, serial):
    kind = serial % 4
    if kind == 0:
        body = CRLF.join(sentence(rng, 12) for _ in range(40))
        return ["Content-Type: text/plain; charset=us-ascii", "", body]
    if kind == 1:
        text = "\n".join(sentence(rng, 10) + " Grüße, café, naïve = ok" for _ in range(40))
        return ["Content-Type: text/plain; charset=utf-8", "Content-Transfer-Encoding: quoted-printable", "", qp(text)]
    if kind == 2:
        body = "<html><body>" + "".join(f"<p>{sentence(rng, 15)}</p>" + CRLF for _ in range(30)) + "</body></html>"
        return ["Content-Type: text/html; charset=us-ascii", "", body]
    return [f'Content-Type: image/png; name="img{serial}.png"', "Content-Transfer-Encoding: base64",
            f"Content-ID: <img{serial}@example.org>", "", b64_lines(rng.randbytes(2800))]


def nested(rng):
    out = ["From: Bench <bench@example.org>", "Subject: five thousand parts", "MIME-Version: 1.0",
           'Content-Type: multipart/mixed; boundary="top"', "", "preamble", ""]
    serial = 0
    for a in range(50):
        out += ["--top", f'Content-Type: multipart/alternative; boundary="alt{a}"', ""]
        for r in range(10):
            out += [f"--alt{a}", f'Content-Type: multipart/related; boundary="rel{a}_{r}"', ""]
            for _ in range(10):
                out += [f"--rel{a}_{r}"] + leaf(rng, serial)
                serial += 1
            out += [f"--rel{a}_{r}--", ""]
        out += [f"--alt{a}--", ""]
    out += ["--top--", ""]
    return CRLF.join(out)


SAMPLES = ["Grüße aus Köln, Łódź und Praha", "Příliš žluťoučký kůň úpěl ďábelské ódy",
           "Съешь же ещё этих мягких французских булок", "Γαζέες καὶ μυρτιὲς δὲν θὰ βρῶ",
           "Dès Noël où un zéphyr haï me vêt", "日本語のテキストと emoji 😀 mixed",
           "Árvíztűrő tükörfúrógép", "Zażółć gęślą jaźń"]
CHARSETS = ["iso-8859-1", "iso-8859-2", "iso-8859-5", "iso-8859-7", "iso-8859-15", "windows-1250",
            "utf-8", "utf-7", "koi8-r", "windows-1252"]


def word(rng, text):
    for _ in range(20):
        charset = rng.choice(CHARSETS)
        try:
            data = text.encode(charset)
            break
        except UnicodeEncodeError:
            continue
    else:
        charset, data = "utf-8", text.encode("utf-8")
    if rng.random() < 0.5:
        return f"=?{charset}?B?{base64.b64encode(data).decode()}?="
    q = "".join(chr(b) if (48 <= b < 58 or 65 <= b < 91 or 97 <= b < 123) else ("_" if b == 32 else f"={b:02X}")
                for b in data)
    return f"=?{charset}?Q?{q}?="


def headers(rng):
    out = ["From: Bench <bench@example.org>", "Subject: fifty thousand header lines", "MIME-Version: 1.0"]
    for i in range(50_000):
        words = [word(rng, rng.choice(SAMPLES)[:rng.randrange(8, 30)]) for _ in range(3)]
        if i % 3:
            out.append(f"X-Bench-{i % 97}: {words[0]} plain text {words[1]}")
            out.append(f" {words[2]}")
        else:
            out.append(f"X-Bench-{i % 97}: {' '.join(words)}")
    out += ["Content-Type: text/plain; charset=us-ascii", "", "body", ""]
    return CRLF.join(out)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(2026)
    for name, make in (("message_big", big), ("message_nested", nested), ("message_headers", headers)):
        text = make(rng).encode("utf-8")
        with open(os.path.join(folder, name + ".eml"), "wb") as f:
            f.write(text)
        if "--lf" in sys.argv:
            with open(os.path.join(folder, name + "_lf.eml"), "wb") as f:
                f.write(text.replace(b"\r\n", b"\n"))


if __name__ == "__main__":
    main()
