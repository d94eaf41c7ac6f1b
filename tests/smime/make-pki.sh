#!/bin/sh
# Builds the test PKI and the signed and encrypted test messages into the
# directory given as $1 (created; must not exist yet).
#
#   ca            C=PL, O=Example, CN=Test CA (self-signed root)
#   alice         signer, issued by ca, e-mail alice@example.com in the subject
#   bob, carol    recipients, issued by ca; dave a third certificate of ca
#   expired       issued by ca, valid 2020-01-01 to 2021-01-01
#   revoked       issued by ca, revoked in ca.crl
#   inter, deep   intermediate CA under ca, and a signer under it
#   other, stranger   a second self-signed root and a signer under it
#   unitca, unitleaf  root "O=Example, OU=Unit" (no CN) and a certificate of it
#   twoou         self-signed, subject OU=First, OU=Second, CN=Two OU
#   serialno      self-signed with the serial number 01 0A FF
#
# Messages (DER): content.txt is a MIME entity with CR LF line ends.
#   detached.p7s     alice, detached signature over content.txt
#   opaque.p7m       alice, signed-data holding content.txt
#   nocerts.p7m      alice, opaque, without certificates
#   keyid.p7m        alice, opaque, the signer named by its subject key identifier
#   stranger.p7m     stranger, opaque
#   enc-two.p7m      AES-128 for bob and carol (in that order)
#   enc-keyid.p7m    AES-128 for carol, named by her subject key identifier
#   enc-3des.p7m, enc-aes256.p7m, enc-rc2-40.p7m, enc-rc2-64.p7m, enc-rc2-128.p7m, enc-des.p7m   for carol
# PKCS #12: alice.p12 (password "secret"), carol-nopass.p12 (no password).
set -eu
out=$1
mkdir "$out"
cd "$out"
export PKI="$out"
# RC2 and DES live in OpenSSL's legacy provider.
LEGACY="-provider default -provider legacy"

cat > ca.cnf <<'EOF'
[ ca ]
default_ca = testca
[ testca ]
dir = $ENV::PKI
database = $dir/index.txt
new_certs_dir = $dir/newcerts
serial = $dir/serial
crlnumber = $dir/crlnumber
default_md = sha256
default_days = 3650
default_crl_days = 3650
policy = anything
unique_subject = no
email_in_dn = yes
[ anything ]
countryName = optional
stateOrProvinceName = optional
localityName = optional
organizationName = optional
organizationalUnitName = optional
commonName = optional
emailAddress = optional
[ leaf ]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
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
mkdir newcerts
: > index.txt
echo 1000 > serial
echo 01 > crlnumber

key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out "$1.key" 2>/dev/null; }
selfsigned() {  # name subject [extra req options]
  key "$1"
  name=$1 subj=$2
  shift 2
  openssl req -config ca.cnf -new -x509 -key "$name.key" -subj "$subj" -days 3650 -sha256 \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=keyCertSign,cRLSign,digitalSignature" \
    "$@" -out "$name.pem"
}
issue() {  # name subject [openssl ca options]
  key "$1"
  name=$1 subj=$2
  shift 2
  openssl req -config ca.cnf -new -key "$name.key" -subj "$subj" -out "$name.csr"
  openssl ca -config ca.cnf -batch -notext -cert ca.pem -keyfile ca.key -extensions leaf \
    -in "$name.csr" -out "$name.pem" "$@" 2>/dev/null
}
issue_by() {  # issuer name subject extensions
  key "$2"
  openssl req -config ca.cnf -new -key "$2.key" -subj "$3" -out "$2.csr"
  openssl x509 -req -in "$2.csr" -CA "$1.pem" -CAkey "$1.key" -CAcreateserial -days 3650 -sha256 \
    -extfile ca.cnf -extensions "$4" -out "$2.pem" 2>/dev/null
}

selfsigned ca "/C=PL/O=Example/CN=Test CA"
issue alice "/C=PL/O=Example/CN=Alice Signer/emailAddress=alice@example.com"
issue bob "/C=PL/O=Example/CN=Bob Recipient"
issue carol "/C=PL/O=Example/CN=Carol Recipient"
issue dave "/C=PL/O=Example/CN=Dave Third"
issue expired "/C=PL/O=Example/CN=Expired Signer" -startdate 20200101000000Z -enddate 20210101000000Z
issue revoked "/C=PL/O=Example/CN=Revoked Signer"
openssl ca -config ca.cnf -batch -cert ca.pem -keyfile ca.key -revoke revoked.pem 2>/dev/null
openssl ca -config ca.cnf -batch -cert ca.pem -keyfile ca.key -gencrl -out ca.crl 2>/dev/null
issue_by ca inter "/C=PL/O=Example/CN=Test Intermediate" cax
issue_by inter deep "/C=PL/O=Example/CN=Deep Signer" leaf
selfsigned other "/O=Elsewhere/CN=Other CA"
issue_by other stranger "/O=Elsewhere/CN=Stranger" leaf
selfsigned unitca "/O=Example/OU=Unit"
issue_by unitca unitleaf "/O=Example/CN=Unit Leaf" leaf
selfsigned twoou "/OU=First/OU=Second/CN=Two OU"
selfsigned serialno "/CN=Serial Test" -set_serial 0x010AFF

printf 'Content-Type: text/plain; charset=us-ascii\r\n\r\nHello, world.\r\nSecond line.\r\n' > content.txt

sign() {  # signer output [options]
  s=$1 o=$2
  shift 2
  openssl cms -sign -binary -in content.txt -signer "$s.pem" -inkey "$s.key" -outform DER -out "$o" "$@"
}
sign alice detached.p7s
sign alice opaque.p7m -nodetach
sign alice nocerts.p7m -nodetach -nocerts
sign alice keyid.p7m -nodetach -keyid
sign stranger stranger.p7m -nodetach
sign expired expired.p7m -nodetach
sign deep deep.p7m -nodetach

encrypt() {  # cipher output recipients...
  c=$1 o=$2
  shift 2
  openssl cms -encrypt $LEGACY -binary -in content.txt "$c" -outform DER -out "$o" "$@"
}
encrypt -aes128 enc-two.p7m bob.pem carol.pem
encrypt -des3 enc-3des.p7m carol.pem
encrypt -aes256 enc-aes256.p7m carol.pem
encrypt -rc2-40 enc-rc2-40.p7m carol.pem
encrypt -rc2-64 enc-rc2-64.p7m carol.pem
encrypt -rc2-128 enc-rc2-128.p7m carol.pem
encrypt -des enc-des.p7m carol.pem
encrypt -aes128 enc-keyid.p7m -keyid carol.pem

openssl pkcs12 -export $LEGACY -inkey alice.key -in alice.pem -certfile ca.pem -name alice \
  -passout pass:secret -out alice.p12
openssl pkcs12 -export -inkey carol.key -in carol.pem -name carol \
  -keypbe NONE -certpbe NONE -nomac -passout pass: -out carol-nopass.p12
rm -f ./*.csr
