#!/usr/bin/env python3
"""Plants small plausible bugs in the source one at a time and shows which
the test suite kills.

Each mutant is found by a regular expression that must match exactly once
(never by line number, so the list survives edits around it). For each one
the script writes the mutated file, builds only the test programs of the
named test folders, runs those folders' tests (ctest labels), and restores
the file, also when interrupted or when a step fails. A mutant survives when
its tests stay green. Not part of the CI run: it rebuilds once per mutant.

  scripts/mutation-check.py [--build-dir build] [--list] [NAME_SUBSTRING...]

Exit status: 0 when every mutant chosen was killed, 1 when one survived or
could not be planted (its pattern no longer matches), 2 when the unmutated
tests are not green to begin with.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (name, file, pattern, replacement, test labels)
MUTANTS = [
    # The indexed delimiter search: its first candidate line is skipped.
    ("delimiter index: lower_bound becomes upper_bound", "src/mime/DelimiterSearch.cpp",
     r"std::lower_bound\(lines\.begin\(\), lines\.end\(\), from\)",
     "std::upper_bound(lines.begin(), lines.end(), from)", ["mime"]),
    # XML Char range ends, one at a time.
    ("XML Char: U+D7FF rejected (a surrogate-looking refusal)", "src/xml/XmlChars.cpp",
     r"c <= 0xD7FF\)", "c < 0xD7FF)", ["xml"]),
    ("XML Char: U+E000 rejected", "src/xml/XmlChars.cpp", r"c >= 0xE000 &&", "c > 0xE000 &&", ["xml"]),
    ("XML Char: U+FFFD rejected", "src/xml/XmlChars.cpp", r"c <= 0xFFFD\)", "c < 0xFFFD)", ["xml"]),
    ("XML Char: U+FFFE accepted", "src/xml/XmlChars.cpp", r"c <= 0xFFFD\)", "c <= 0xFFFE)", ["xml"]),
    # Chain diagnostics: a trust bit dropped.
    ("chain: \"signature not valid\" bit dropped", "src/smime/openssl/openssl_chain.cpp",
     r"return kTrustIsNotSignatureValid;", "return 0;", ["smime"]),
    ("chain: \"not valid for usage\" bit dropped", "src/smime/openssl/openssl_chain.cpp",
     r"return kTrustIsNotValidForUsage;", "return 0;", ["smime"]),
    # Encoded-word minimum length ("=?a?b?" and one character more).
    ("encoded word: one character shorter starts a word", "src/mime/HeaderDecoding.cpp",
     r"e \+ 6 < n", "e + 5 < n", ["mime"]),
    ("encoded word: one character longer needed", "src/mime/HeaderDecoding.cpp",
     r"e \+ 6 < n", "e + 7 < n", ["mime"]),
    # Codecs.
    ("base64: a pad after two digits gives a second byte", "src/util/encodings/Base64.cpp",
     r"if \(state\.Filled == 3\) \*o\+\+ =", "if (state.Filled >= 2) *o++ =", ["util"]),
    ("quoted-printable: a bad escape swallows one byte less", "src/util/encodings/QuotedPrintable.cpp",
     r"(if \(low\.Valid\) \*o\+\+ = [^;]*;\n\s*)p \+= 3;", r"\1p += 2;", ["util"]),
    ("config: a character XML forbids written as it is", "src/config/CharRefWriter.cpp",
     r"if \(!IsXmlChar\(c\)\) c = kReplacement;", "(void)0;", ["config"]),
    # Limits and lengths.
    ("MIME nesting limit one level deeper", "src/mime/MimeParser.cpp",
     r"part->Depth >= Options_\.MaxNestingDepth\)", "part->Depth > Options_.MaxNestingDepth)", ["mime"]),
    ("embedded-message nesting limit one level deeper", "src/mime/bodypart.cpp",
     r"if \(Depth >= ParseOptions\(\)\.MaxNestingDepth\)", "if (Depth > ParseOptions().MaxNestingDepth)", ["mime"]),
    ("ASN.1: length octet 0x80 read as a short length", "src/asn1/AsnHeader.h",
     r"if \(first < 0x80\) \{", "if (first <= 0x80) {", ["asn1"]),
    ("ASN.1: streaming parser reads length octet 0x80 as a short length", "src/asn1/AsnParser.cpp",
     r"if \(first < 0x80\) \{", "if (first <= 0x80) {", ["asn1"]),
    ("ASN.1: streaming parser depth limit one level deeper", "src/asn1/AsnParser.cpp",
     r"if \(Depth\(\) >= kMaxAsnDepth\)", "if (Depth() > kMaxAsnDepth)", ["asn1"]),
    ("XML: entity nesting limit one level deeper", "src/xml/QXMLParser.cpp",
     r"EntityDepth_ >= kMaxEntityDepth\)", "EntityDepth_ > kMaxEntityDepth)", ["xml"]),
    # Corpus comparisons: a decoder change seen only in files on the lists
    # of known differences (quoted-printable "=" not followed by hex digits).
    ("quoted-printable: a bad escape kept as \"=\"", "src/util/encodings/QuotedPrintable.cpp",
     r"if \(low\.Valid\) (\*o\+\+ = [^;]*;)", r"if (!low.Valid) *o++ = '='; else \1", ["mime"]),
]

# Timings measure the machine, not the mutant.
EXCLUDE = "parse_in_linear_time"


def run(cmd, log):
    with open(log, "ab") as out:
        return subprocess.run(cmd, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT).returncode


def test_targets(build, labels):
    listing = subprocess.run(["ninja", "-C", build, "-t", "targets", "all"], cwd=ROOT, capture_output=True,
                             text=True, check=True).stdout
    names = {line.split(":")[0] for line in listing.splitlines()}
    return sorted(n for n in names if "/" not in n and any(re.fullmatch(l + r"_\w+_test", n) for l in labels))


def check(build, labels, log):
    """Builds and runs the tests of labels: None when the build fails, else
    the names of the failing tests (empty when green)."""
    if run(["cmake", "--build", build, "-j2", "--target"] + test_targets(build, labels), log) != 0:
        return None
    ctest_log = log + ".ctest"
    open(ctest_log, "w").close()
    run(["ctest", "--test-dir", build, "-j2", "--timeout", "600", "-E", EXCLUDE,
         "-L", "^(" + "|".join(labels) + ")$"], ctest_log)
    text = open(ctest_log, errors="replace").read()
    with open(log, "a") as out:
        out.write(text)
    failed = text.split("The following tests FAILED:")
    return re.findall(r"- (\S+) \(", failed[1]) if len(failed) > 1 else []


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build-dir", default="build")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--no-baseline", action="store_true", help="skip the unmutated run (the suite is known green)")
    ap.add_argument("names", nargs="*")
    args = ap.parse_args()
    chosen = [m for m in MUTANTS if not args.names or any(n in m[0] for n in args.names)]
    if args.list:
        for m in chosen:
            print(f"{m[0]}  ({m[1]}; tests: {', '.join(m[4])})")
        return 0
    build = args.build_dir
    log = os.path.join(ROOT, build, "mutation-check.log")
    open(log, "w").close()

    saved = {}  # file -> original text, while mutated

    def restore(*_):
        for path, text in saved.items():
            with open(os.path.join(ROOT, path), "w") as f:
                f.write(text)
        saved.clear()

    def interrupted(signum, _):
        restore()
        sys.exit(128 + signum)

    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, interrupted)

    labels = sorted({l for m in chosen for l in m[4]})
    if not args.no_baseline:
        print(f"baseline: building and running {', '.join(labels)} unmutated ...", flush=True)
    if not args.no_baseline and check(build, labels, log) != []:
        print(f"the unmutated tests are not green; see {log}")
        return 2
    results = []
    try:
        for name, path, pattern, replacement, mlabels in chosen:
            start = time.time()
            original = open(os.path.join(ROOT, path)).read()
            mutated, count = re.subn(pattern, replacement, original)
            if count != 1:
                results.append((name, f"NOT PLANTED ({count} matches of the pattern in {path})"))
                print(results[-1][1] + ": " + name, flush=True)
                continue
            with open(log, "a") as out:
                out.write(f"\n===== {name}\n")
            saved[path] = original
            with open(os.path.join(ROOT, path), "w") as f:
                f.write(mutated)
            failed = check(build, mlabels, log)
            restore()
            if failed is None:
                verdict = "BUILD FAILED (mutant does not compile)"
            elif failed:
                shown = ", ".join(failed[:4]) + (f" and {len(failed) - 4} more" if len(failed) > 4 else "")
                verdict = f"killed by {shown}"
            else:
                verdict = "SURVIVED"
            results.append((name, verdict))
            print(f"{verdict.split(' by ')[0]:<10} {name}  [{time.time() - start:.0f}s]", flush=True)
    finally:
        restore()
    print("\nMutants:")
    for name, verdict in results:
        print(f"  {name}: {verdict}")
    print(f"{sum(v.startswith('killed') for _, v in results)} of {len(results)} killed; "
          f"log: {log}")
    return 0 if all(v.startswith("killed") for _, v in results) else 1


if __name__ == "__main__":
    sys.exit(main())
