#!/bin/sh
# Times our engine against the tool a user would pick instead, side by side
# in one run: each round runs both commands, alternating which goes first,
# and the medians of at least five rounds give the ratios (peer time divided
# by ours: above 1 means we are faster). CPU time (user + system, from the
# kernel's accounting of the child) is the figure to read on a loaded
# machine; wall time is printed beside it.
#
#   xml:  bench/xml_walk against bench/xml_walk_expat (namespaces on) on a
#         20 MB document from gen_xml_doc.py
#   asn1: tessel --asn1 against openssl asn1parse -i on a 10 MB PKCS #7
#         bundle of certificates from asn1_make_p7b.sh
#   decrypt: tessel --smime against openssl cms -decrypt on a 14.6 MB
#         enveloped (AES-256) message from smime_make_messages.sh; both
#         must decrypt it to the same octets first
#   headers: tessel --check against bench/message_gmime on
#         message_headers.eml from message_gen.py (50,000 header lines of
#         encoded words)
#
# Usage: bench/speed_compare.sh BUILD_DIR [xml] [asn1] [decrypt] [headers]   (ROUNDS=N, WORK=dir)
# Installs the build's packages and the peers' (expat's and GMime's
# development files), then configures BUILD_DIR with -DTESSEL_BENCH=ON and
# builds it unless its benchmark programs are there already.
set -eu
build=${1:?usage: speed_compare.sh BUILD_DIR [xml] [asn1] [decrypt] [headers]}
shift
here=$(cd "$(dirname "$0")" && pwd)
"$here/../scripts/deps.sh"
missing=""
for p in libexpat1-dev libgmime-3.0-dev; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
if [ ! -x "$build/bench/xml_walk_expat" ] || [ ! -x "$build/bench/message_gmime" ]; then
  "$here/../scripts/build.sh" "$build" -DTESSEL_BENCH=ON
fi
build=$(cd "$build" && pwd)
[ $# -gt 0 ] || set -- xml asn1 decrypt headers
work=${WORK:-/tmp/tessel-speed-bench}
rounds=${ROUNDS:-7}
[ "$rounds" -ge 5 ] || rounds=5
mkdir -p "$work"
rows=""
for row in "$@"; do
  case $row in
    xml)
      [ -f "$work/doc.xml" ] || python3 "$here/gen_xml_doc.py" "$work/doc.xml" 20
      rows="$rows xml" ;;
    asn1)
      [ -f "$work/p7/bundle.p7b" ] || "$here/asn1_make_p7b.sh" "$work/p7" > /dev/null
      rows="$rows asn1" ;;
    decrypt)
      [ -f "$work/smime/enveloped.eml" ] || "$here/smime_make_messages.sh" "$work/smime" > /dev/null
      # The recipient's key is in the "My" store of this directory.
      export TESSEL_CERT_DIR="$work/smime/certs"
      (
        cd "$work/smime"
        "$build/tessel" --smime enveloped.eml | grep -q '^DecryptStatus: 0x00000000'
        "$build/tessel" --extract enveloped.eml 1.1 --whole > tessel.out
        openssl cms -decrypt -in enveloped.eml -recip recipient.pem -inkey recipient.key -out openssl.out
        cmp -s tessel.out openssl.out || { echo "speed_compare.sh: the decrypted contents differ" >&2; exit 1; }
        rm -f tessel.out openssl.out
      )
      rows="$rows decrypt" ;;
    headers)
      [ -f "$work/messages/message_headers.eml" ] || python3 "$here/message_gen.py" "$work/messages" > /dev/null
      rows="$rows headers" ;;
    *) echo "speed_compare.sh: unknown row $row" >&2; exit 2 ;;
  esac
done
python3 - "$build" "$work" "$rounds" $rows <<'PY'
import os, resource, statistics, subprocess, sys, time

build, work, rounds, rows = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
commands = {
    "xml": ("XML parse, namespaces + DTD entities", os.path.join(work, "doc.xml"),
            [os.path.join(build, "bench", "xml_walk"), os.path.join(work, "doc.xml")],
            "expat", [os.path.join(build, "bench", "xml_walk_expat"), os.path.join(work, "doc.xml")]),
    "asn1": ("ASN.1 tree and render", os.path.join(work, "p7", "bundle.p7b"),
             [os.path.join(build, "tessel"), "--asn1", os.path.join(work, "p7", "bundle.p7b")],
             "openssl asn1parse -i",
             ["openssl", "asn1parse", "-i", "-inform", "DER", "-in", os.path.join(work, "p7", "bundle.p7b")]),
    "decrypt": ("S/MIME decryption (AES-256)", os.path.join(work, "smime", "enveloped.eml"),
                [os.path.join(build, "tessel"), "--smime", os.path.join(work, "smime", "enveloped.eml")],
                "openssl cms -decrypt",
                ["openssl", "cms", "-decrypt", "-in", os.path.join(work, "smime", "enveloped.eml"),
                 "-recip", os.path.join(work, "smime", "recipient.pem"),
                 "-inkey", os.path.join(work, "smime", "recipient.key"), "-out", os.devnull]),
    "headers": ("Header decoding, encoded words", os.path.join(work, "messages", "message_headers.eml"),
                [os.path.join(build, "tessel"), "--check", os.path.join(work, "messages", "message_headers.eml")],
                "GMime", [os.path.join(build, "bench", "message_gmime"),
                          os.path.join(work, "messages", "message_headers.eml")]),
}

def run(argv):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        status = subprocess.run(argv, stdout=null, stderr=subprocess.PIPE)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if status.returncode != 0:
        sys.exit(f"{argv[0]} failed ({status.returncode}): {status.stderr.decode(errors='replace')}")
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall

print(f"{rounds} rounds per row, alternating; medians; ratio = peer / ours")
print(f"{'row':40} {'MB':>6} {'ours cpu':>9} {'peer cpu':>9} {'ratio':>6} {'ours wall':>10} {'peer wall':>10} {'ratio':>6}")
for row in rows:
    title, data, ours, peer_name, peer = commands[row]
    run(ours), run(peer)  # warm the page cache
    times = {"ours": [], "peer": []}
    for i in range(rounds):
        order = [("ours", ours), ("peer", peer)] if i % 2 == 0 else [("peer", peer), ("ours", ours)]
        for name, argv in order:
            times[name].append(run(argv))
    oc = statistics.median(t[0] for t in times["ours"])
    pc = statistics.median(t[0] for t in times["peer"])
    ow = statistics.median(t[1] for t in times["ours"])
    pw = statistics.median(t[1] for t in times["peer"])
    mb = os.path.getsize(data) / 1e6
    print(f"{title + ' vs ' + peer_name:40} {mb:6.1f} {oc:9.3f} {pc:9.3f} {pc / oc:6.2f} {ow:10.3f} {pw:10.3f} {pw / ow:6.2f}")
PY
