#!/bin/sh
# Builds the test PKI and the signed and encrypted test messages (over
# content.txt) into the directory $1, which must not exist yet. ca issues
# alice (the signer, with an e-mail address), bob, carol, dave, expired,
# revoked (in ca.crl) and inter, which issues deep; other issues stranger;
# unitca (no CN) issues unitleaf; twoou and serialno are self-signed.
# Faulty and unusual ones: webonly (server authentication only), nosign
# (key usage without digital signature), ecbob (an EC key, for key
# agreement), and shadow, issued by fakeca (same name as ca, another key)
# with alice's name and serial number. evilca and evil hold line breaks
# and an escape sequence in their names, as a hostile sender would.
set -eu
out=$1
mkdir "$out"
cd "$out"
# RC2 and DES live in OpenSSL's legacy provider.
LEGACY="-provider default -provider legacy"

cat > ca.cnf <<'EOF'
[ ca ]
default_ca = testca
[ testca ]
database = index.txt
new_certs_dir = .
serial = serial
crlnumber = crlnumber
default_md = sha256
default_days = 3650
default_crl_days = 3650
policy = anything
[ anything ]
commonName = optional
[ leaf ]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ webonly ]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ nosign ]
basicConstraints = CA:FALSE
keyUsage = keyEncipherment
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ ecleaf ]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyAgreement
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ cax ]
basicConstraints = critical, CA:TRUE
keyUsage = keyCertSign, cRLSign, digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ req ]
distinguished_name = dn
prompt = no
[ dn ]
CN = unused
EOF
: > index.txt
echo 1000 > serial
echo 01 > crlnumber

key() {
  case $1 in
    ec*) openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null ;;
    *) openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out "$1.key" 2>/dev/null ;;
  esac
}
cert() {  # name subject issuer|- extensions [req options]
  key "$1"
  n=$1 s=$2 i=$3 x=$4
  shift 4
  [ "$i" = - ] || set -- -CA "$i.pem" -CAkey "$i.key" "$@"
  openssl req -config ca.cnf -new -x509 -key "$n.key" -subj "$s" -days 3650 -sha256 -extensions "$x" "$@" -out "$n.pem"
}
issue() {  # name subject [openssl ca options]: issued by ca with serials from 1000
  key "$1"
  n=$1 s=$2
  shift 2
  openssl req -config ca.cnf -new -key "$n.key" -subj "$s" -out "$n.csr"
  openssl ca -config ca.cnf -batch -notext -preserveDN -cert ca.pem -keyfile ca.key -extensions leaf \
    -in "$n.csr" -out "$n.pem" "$@" 2>/dev/null
}
issued() {  # name subject extensions: issued by ca, serial from a counter of its own
  key "$1"
  openssl req -config ca.cnf -new -x509 -key "$1.key" -subj "$2" -days 3650 -sha256 -extensions "$3" \
    -CA ca.pem -CAkey ca.key -set_serial "0x$4" -out "$1.pem"
}

cert ca "/C=PL/O=Example/CN=Test CA" - cax
issue alice "/C=PL/O=Example/CN=Alice Signer/emailAddress=alice@example.com"
issue bob "/C=PL/O=Example/CN=Bob Recipient"
issue carol "/C=PL/O=Example/CN=Carol Recipient"
issue dave "/C=PL/O=Example/CN=Dave Third"
issue expired "/C=PL/O=Example/CN=Expired Signer" -startdate 20200101000000Z -enddate 20210101000000Z
issue revoked "/C=PL/O=Example/CN=Revoked Signer"
openssl ca -config ca.cnf -batch -cert ca.pem -keyfile ca.key -revoke revoked.pem 2>/dev/null
openssl ca -config ca.cnf -batch -cert ca.pem -keyfile ca.key -gencrl -out ca.crl 2>/dev/null
cert inter "/C=PL/O=Example/CN=Test Intermediate" ca cax
cert deep "/C=PL/O=Example/CN=Deep Signer" inter leaf
cert other "/O=Elsewhere/CN=Other CA" - cax
cert stranger "/O=Elsewhere/CN=Stranger" other leaf
cert unitca "/O=Example/OU=Unit" - cax
cert unitleaf "/O=Example/CN=Unit Leaf" unitca leaf
cert twoou "/OU=First/OU=Second/CN=Two OU" - cax
cert serialno "/CN=Serial Test" - cax -set_serial 0x010AFF
issued webonly "/C=PL/O=Example/CN=Web Only/emailAddress=web@example.com" webonly 2001
issued nosign "/C=PL/O=Example/CN=No Signing/emailAddress=nosign@example.com" nosign 2002
issued ecbob "/C=PL/O=Example/CN=EC Bob" ecleaf 2003
cert fakeca "/C=PL/O=Example/CN=Test CA" - cax
cert shadow "/C=PL/O=Example/CN=Alice Signer/emailAddress=alice@example.com" fakeca leaf \
  -set_serial "0x$(openssl x509 -in alice.pem -noout -serial | cut -d= -f2)"
cert evilca "$(printf '/O=Evil/CN=Evil CA\r\nChainTrusted: yes\033[2J')" - cax
cert evil "$(printf '/O=Evil/CN=Evil Signer/emailAddress=evil@example.com\r\nSignatureValid: yes')" evilca leaf

printf 'Content-Type: text/plain; charset=us-ascii\r\n\r\nHello, world.\r\nSecond line.\r\n' > content.txt

sign() {  # output [options]
  o=$1
  shift
  openssl cms -sign -binary -in content.txt -signer alice.pem -inkey alice.key -outform DER -out "$o" "$@"
}
sign detached.p7s
sign opaque.p7m -nodetach
sign nocerts.p7m -nodetach -nocerts
sign keyid.p7m -nodetach -keyid
sign twosigners.p7m -nodetach -signer bob.pem -inkey bob.key
openssl cms -sign -binary -in content.txt -signer webonly.pem -inkey webonly.key -nodetach -outform DER -out webonly.p7m
openssl cms -sign -binary -in content.txt -signer evil.pem -inkey evil.key -nodetach -outform DER -out evil.p7m
openssl cms -sign -binary -in content.txt -signer nosign.pem -inkey nosign.key -nodetach -outform DER -out nosign.p7m

encrypt() {  # cipher output recipients...
  c=$1 o=$2
  shift 2
  openssl cms -encrypt $LEGACY -binary -in content.txt "$c" -outform DER -out "$o" "$@"
}
encrypt -aes128 enc-two.p7m bob.pem carol.pem
encrypt -aes128 enc-keyid.p7m -keyid carol.pem
encrypt -aes128 enc-ec.p7m ecbob.pem
encrypt -aes128 enc-ec-rsa.p7m ecbob.pem carol.pem
openssl cms -encrypt -binary -in content.txt -aes128 -pwri_password secret -outform DER -out enc-password.p7m
for c in des3 aes256 rc2-40 rc2-64 rc2-128 des; do encrypt "-$c" "enc-$c.p7m" carol.pem; done

openssl pkcs12 -export $LEGACY -inkey alice.key -in alice.pem -certfile ca.pem -name alice \
  -passout pass:secret -out alice.p12
openssl pkcs12 -export -inkey carol.key -in carol.pem -name carol \
  -keypbe NONE -certpbe NONE -nomac -passout pass: -out carol-nopass.p12
rm -f ./*.csr
