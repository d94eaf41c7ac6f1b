#!/bin/sh
# Times `tessel --smime` against the openssl command on the same files: a
# detached-signed message (`openssl cms -verify -noverify`) and an enveloped
# one (`openssl cms -decrypt`), both about 10 MB (smime_make_messages.sh),
# and prints each time with the openssl/tessel ratio (from wall time and from
# CPU time, which stays meaningful on a loaded machine).
# Usage: bench/smime_compare.sh TESSEL_BINARY [WORKDIR]
set -eu
tessel=${1:?usage: smime_compare.sh TESSEL_BINARY [WORKDIR]}
work=${2:-/tmp/tessel-smime-bench}
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$work/enveloped.eml" ] || "$here/smime_make_messages.sh" "$work" > /dev/null
cd "$work"
export TESSEL_CERT_DIR="$work/certs"
# Both programs must reach the same verdicts before their times mean anything.
"$tessel" --smime signed.eml | grep -qx 'SignatureValid: yes'
"$tessel" --smime enveloped.eml | grep -q '^DecryptStatus: 0x00000000'
openssl cms -verify -noverify -in signed.eml -out /dev/null 2>/dev/null
openssl cms -decrypt -in enveloped.eml -recip recipient.pem -inkey recipient.key -out /dev/null
hyperfine --warmup 1 --runs "${RUNS:-5}" --export-json "$work/times.json" \
  -n "tessel --smime signed" "'$tessel' --smime signed.eml > /dev/null" \
  -n "openssl cms -verify -noverify" "openssl cms -verify -noverify -in signed.eml -out /dev/null 2>/dev/null" \
  -n "tessel --smime enveloped" "'$tessel' --smime enveloped.eml > /dev/null" \
  -n "openssl cms -decrypt" "openssl cms -decrypt -in enveloped.eml -recip recipient.pem -inkey recipient.key -out /dev/null"
python3 - "$work/times.json" <<'PY'
import json, os, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
def cpu(x): return x["user"] + x["system"]
print(f"\nsigned.eml {os.path.getsize('signed.eml') / 1e6:.1f} MB, enveloped.eml {os.path.getsize('enveloped.eml') / 1e6:.1f} MB")
print(f"{'command':32} {'wall s':>8} {'cpu s':>8}")
for x in r.values():
    print(f"{x['command']:32} {x['mean']:8.3f} {cpu(x):8.3f}")
for ours, theirs in (("tessel --smime signed", "openssl cms -verify -noverify"),
                     ("tessel --smime enveloped", "openssl cms -decrypt")):
    a, b = r[ours], r[theirs]
    print(f"{theirs} / {ours}: wall {b['mean'] / a['mean']:.2f}x, cpu {cpu(b) / cpu(a):.2f}x")
PY
