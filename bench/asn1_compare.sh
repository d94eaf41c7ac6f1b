#!/bin/sh
# Times `tessel --asn1` against `openssl asn1parse -i` and `dumpasn1` on a
# CRL of about 10 MB (made by asn1_make_crl.sh) and prints MB/s for each,
# from the mean wall time and from the mean CPU time (user + system), which
# stays meaningful on a loaded machine.
# Usage: bench/asn1_compare.sh TESSEL_BINARY [WORKDIR]
set -eu
tessel=${1:?usage: asn1_compare.sh TESSEL_BINARY [WORKDIR]}
work=${2:-/tmp/tessel-asn1-bench}
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$work/big.crl" ] || "$here/asn1_make_crl.sh" "$work" > /dev/null
crl="$work/big.crl"
hyperfine --warmup 1 --runs "${RUNS:-5}" --export-json "$work/times.json" \
  -n "tessel --asn1" "'$tessel' --asn1 '$crl' > /dev/null" \
  -n "openssl asn1parse -i" "openssl asn1parse -i -inform DER -in '$crl' > /dev/null" \
  -n "dumpasn1" "dumpasn1 '$crl' > /dev/null"
python3 - "$work/times.json" "$crl" <<'PY'
import json, os, sys
results = json.load(open(sys.argv[1]))["results"]
mb = os.path.getsize(sys.argv[2]) / 1e6
print(f"\n{mb:.1f} MB of DER")
print(f"{'command':24} {'wall s':>8} {'MB/s':>8} {'cpu s':>8} {'MB/s':>8}")
for r in results:
    cpu = r["user"] + r["system"]
    print(f"{r['command']:24} {r['mean']:8.2f} {mb / r['mean']:8.1f} {cpu:8.2f} {mb / cpu:8.1f}")
PY
