#!/bin/sh
# Makes a CRL of about 10 MB (DER) with openssl ca -gencrl: a self-signed CA
# and an index of revoked certificates with reason codes.
# Usage: bench/asn1_make_crl.sh OUTDIR [ENTRIES]   -> OUTDIR/big.crl
set -eu
out=${1:?usage: asn1_make_crl.sh OUTDIR [ENTRIES]}
entries=${2:-250000}
mkdir -p "$out"
cd "$out"
cat > ca.cnf <<CNF
[ca]
default_ca = c
[c]
database = index.txt
default_md = sha256
default_crl_days = 30
crl_extensions = ext
[ext]
authorityKeyIdentifier = keyid
CNF
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 \
  -subj "/C=DE/O=Tessel Benchmarks/CN=Benchmark CA" 2>/dev/null
awk -v n="$entries" 'BEGIN {
  split("keyCompromise CACompromise affiliationChanged superseded cessationOfOperation", reasons, " ");
  for (i = 1; i <= n; i++)
    printf "R\t301231235959Z\t24%02d%02d%02d%02d%02dZ,%s\t%06X%08X\tunknown\t/CN=Revoked %d\n",
      i % 12 + 1, i % 28 + 1, i % 24, (i * 7) % 60, (i * 13) % 60, reasons[i % 5 + 1], 1000000 + i,
      i * 2654435761 % 4294967296, i
}' > index.txt
openssl ca -config ca.cnf -gencrl -keyfile ca.key -cert ca.pem -out big.pem 2>/dev/null
openssl crl -in big.pem -outform DER -out big.crl
ls -l big.crl
