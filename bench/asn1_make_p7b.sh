#!/bin/sh
# Makes a certificates-only PKCS #7 bundle of about 10 MB (DER) with openssl:
# a CA and sixteen end-entity certificates with the usual extensions,
# repeated until the bundle is large enough.
# Usage: bench/asn1_make_p7b.sh OUTDIR [COPIES]   -> OUTDIR/bundle.p7b
set -eu
out=${1:?usage: asn1_make_p7b.sh OUTDIR [COPIES]}
copies=${2:-600}
mkdir -p "$out"
cd "$out"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 \
  -subj "/C=DE/O=Tessel Benchmarks/CN=Bundle CA" 2>/dev/null
cat > ee.ext <<EXT
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = emailProtection, clientAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = email:user@example.org, DNS:mail.example.org
EXT
: > set.pem
i=0
while [ $i -lt 16 ]; do
  openssl req -newkey rsa:2048 -nodes -keyout ee.key -out ee.csr \
    -subj "/C=DE/ST=Berlin/O=Example Mail $i/OU=Users/CN=User $i/emailAddress=user$i@example.org" 2>/dev/null
  openssl x509 -req -in ee.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
    -extfile ee.ext -out ee.pem 2>/dev/null
  cat ee.pem >> set.pem
  i=$((i + 1))
done
cat ca.pem >> set.pem
: > all.pem
i=0
while [ $i -lt "$copies" ]; do cat set.pem >> all.pem; i=$((i + 1)); done
openssl crl2pkcs7 -nocrl -certfile all.pem -outform DER -out bundle.p7b
rm -f ee.key ee.csr ee.pem all.pem
ls -l bundle.p7b
