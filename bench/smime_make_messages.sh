#!/bin/sh
# Makes the messages of smime_compare.sh in the directory $1: a signer and a
# recipient (self-signed, made with the openssl command), a text entity of
# about $2 MB (default 10) with CR LF line ends, a multipart/signed message
# with a detached signature over it and an enveloped (AES-256) message
# holding it, plus a certificate-store directory whose "My" store has the
# recipient's key.
set -eu
out=${1:?usage: smime_make_messages.sh DIR [MB]}
mb=${2:-10}
mkdir -p "$out"
cd "$out"
crlf() { sed 's/$/\r/'; }

for who in signer recipient; do
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$who.key" -out "$who.pem" -days 365 \
    -subj "/O=Bench/CN=Bench $who/emailAddress=$who@example.com" 2>/dev/null
done

# The content: lines of printable text, CR LF, about $mb MB.
{
  printf 'Content-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n\r\n'
  openssl rand -base64 $((mb * 1024 * 1024 * 3 / 4 * 64 / 65)) | crlf
} > content.txt

boundary="----bench-signed-boundary"
openssl cms -sign -binary -in content.txt -signer signer.pem -inkey signer.key -outform DER -out content.p7s
{
  printf 'From: Bench signer <signer@example.com>\r\nSubject: signed\r\nMIME-Version: 1.0\r\n'
  printf 'Content-Type: multipart/signed; protocol="application/pkcs7-signature"; micalg=sha-256; boundary="%s"\r\n\r\n' "$boundary"
  printf 'This is a signed message.\r\n--%s\r\n' "$boundary"
  cat content.txt
  printf '\r\n--%s\r\nContent-Type: application/pkcs7-signature; name=smime.p7s\r\n' "$boundary"
  printf 'Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=smime.p7s\r\n\r\n'
  openssl base64 -e -in content.p7s | crlf
  printf '\r\n--%s--\r\n' "$boundary"
} > signed.eml

openssl cms -encrypt -binary -aes256 -in content.txt -outform DER -out content.p7m recipient.pem
{
  printf 'From: Bench signer <signer@example.com>\r\nSubject: enveloped\r\nMIME-Version: 1.0\r\n'
  printf 'Content-Type: application/pkcs7-mime; smime-type=enveloped-data; name=smime.p7m\r\n'
  printf 'Content-Transfer-Encoding: base64\r\n\r\n'
  openssl base64 -e -in content.p7m | crlf
} > enveloped.eml

mkdir -p certs/My
cp recipient.pem certs/My/recipient.pem
cp recipient.key certs/My/recipient.key
chmod 700 certs certs/My
chmod 600 certs/My/recipient.key
ls -l signed.eml enveloped.eml
