#!/bin/sh
# Makes the encrypted demonstration message and the key that opens it:
#   docs/samples/encrypted-for-demo.eml  AES-256 enveloped data for the demo reader
#   docs/samples/demo-reader.p12         the reader's certificate and key (no password)
# Run once; the outputs are committed. The key is public on purpose: it exists
# only so that a new user can try decryption (tessel --import-p12 demo-reader.p12).
set -eu
cd "$(dirname "$0")/.."
OUT=docs/samples
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tessel-demo.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 7300 \
  -subj "/O=Tessel Demonstration/CN=Tessel Demo CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout reader.key -out reader.csr \
  -subj "/O=Tessel Demonstration/CN=Demo Reader/emailAddress=reader@demo.example" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=emailProtection\nsubjectAltName=email:reader@demo.example\n' > ext
openssl x509 -req -in reader.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 7300 -extfile ext -out reader.pem 2>/dev/null
openssl pkcs12 -export -inkey reader.key -in reader.pem -certfile ca.pem -name "Demo Reader" \
  -passout pass: -out reader.p12
cat > inner.eml <<'MSG'
Content-Type: multipart/mixed; boundary="=_sealed"

--=_sealed
Content-Type: text/plain; charset=utf-8
Content-Transfer-Encoding: quoted-printable

This note was sealed for the demo reader. If you can read it in the
viewer, the key from demo-reader.p12 opened it =E2=80=94 decryption works.

--=_sealed
Content-Type: text/csv; name="figures.csv"
Content-Disposition: attachment; filename="figures.csv"

quarter,revenue
Q1,1200
Q2,1350

--=_sealed--
MSG
sed 's/$/\r/' inner.eml > inner.crlf
openssl cms -encrypt -aes256 -in inner.crlf -binary -outform SMIME \
  -from "Sample Sender <sender@example.org>" -to "Demo Reader <reader@demo.example>" \
  -subject "Sealed note (encrypted for the demo reader)" reader.pem > encrypted.eml
cd - >/dev/null
sed 's/\r$//' "$WORK/encrypted.eml" > "$OUT/encrypted-for-demo.eml"
cp "$WORK/reader.p12" "$OUT/demo-reader.p12"
echo "wrote $OUT/encrypted-for-demo.eml and $OUT/demo-reader.p12"
