#!/bin/sh
# Builds certificates for the certificate-details tests into the directory $1
# (must not exist yet), each as NAME.pem with the reference tool's views of
# it: NAME.txt (full text form), NAME.sha1 and NAME.sha256 (fingerprints) and
# NAME.dates (validity as ISO 8601). rsa: 2048-bit RSA with key usages,
# extended usages and several alternative names; ec: P-256; ca issues expired
# and notyet (valid only from 2099).
set -eu
out=$1
mkdir "$out"
cd "$out"
cat > ca.cnf <<'CNF'
[ ca ]
default_ca = testca
[ testca ]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = anything
[ anything ]
commonName = optional
[ leaf ]
basicConstraints = CA:FALSE
keyUsage = digitalSignature
extendedKeyUsage = emailProtection
[ req ]
distinguished_name = dn
prompt = no
[ dn ]
CN = unused
CNF
: > index.txt
echo 2000 > serial
openssl req -x509 -newkey rsa:2048 -nodes -keyout rsa.key -subj "/C=PL/O=Example/OU=Lab/CN=Many Names" \
  -days 365 -sha256 \
  -addext "keyUsage=critical,digitalSignature,nonRepudiation,keyEncipherment" \
  -addext "extendedKeyUsage=emailProtection,clientAuth,1.3.6.1.4.1.99999.1" \
  -addext "subjectAltName=email:a@example.com,email:b@example.org,DNS:mail.example.com,IP:192.0.2.7,IP:2001:db8::1,URI:https://example.com/x" \
  -out rsa.pem 2>/dev/null
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ec.key \
  -subj "/O=Example/CN=Curve" -days 365 -sha256 -addext "keyUsage=digitalSignature,keyAgreement" \
  -out ec.pem 2>/dev/null
openssl req -x509 -newkey rsa:1024 -nodes -keyout ca.key -subj "/O=Example/CN=Details CA" -days 3650 \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=keyCertSign,cRLSign" -out ca.pem 2>/dev/null
for n in expired notyet; do
  openssl req -config ca.cnf -newkey rsa:1024 -nodes -keyout "$n.key" -subj "/O=Example/CN=$n" -out "$n.csr" 2>/dev/null
done
openssl ca -config ca.cnf -batch -notext -preserveDN -cert ca.pem -keyfile ca.key -extensions leaf -in expired.csr \
  -out expired.pem -startdate 20200101000000Z -enddate 20210101000000Z 2>/dev/null
openssl ca -config ca.cnf -batch -notext -preserveDN -cert ca.pem -keyfile ca.key -extensions leaf -in notyet.csr \
  -out notyet.pem -startdate 20990101000000Z -enddate 20991231000000Z 2>/dev/null
for n in rsa ec ca expired notyet; do
  openssl x509 -in "$n.pem" -noout -text > "$n.txt"
  openssl x509 -in "$n.pem" -noout -fingerprint -sha1 > "$n.sha1"
  openssl x509 -in "$n.pem" -noout -fingerprint -sha256 > "$n.sha256"
  openssl x509 -in "$n.pem" -noout -startdate -enddate -dateopt iso_8601 > "$n.dates"
  openssl x509 -in "$n.pem" -outform DER -out "$n.der"
done
rm -f ./*.csr ./2*.pem
