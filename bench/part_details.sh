#!/bin/sh
# Times the details side of the document window on the 40-attachment
# message of about 100 MB and on a signed message of about 10 MB. Build with
# -DTESSEL_BENCH=ON first (the part_details target is enough).
# Usage: bench/part_details.sh [BUILD_DIR] [DATA_DIR]
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
DATA=${2:-$BUILD/bench-data}
mkdir -p "$DATA"
[ -f "$DATA/message_big.eml" ] || python3 bench/message_gen.py "$DATA"
[ -f "$DATA/smime/signed.eml" ] || sh bench/smime_make_messages.sh "$DATA/smime" 10
# The same content signed opaquely: a 10 MB application/pkcs7-mime part
# whose S/MIME rows hold the whole signed-data structure.
if [ ! -f "$DATA/smime/opaque.eml" ]; then
  (cd "$DATA/smime" &&
    openssl cms -sign -binary -nodetach -in content.txt -signer signer.pem -inkey signer.key -outform DER \
      -out opaque.p7m &&
    { printf 'From: Bench signer <signer@example.com>\r\nSubject: opaque\r\nMIME-Version: 1.0\r\n'
      printf 'Content-Type: application/pkcs7-mime; smime-type=signed-data; name=smime.p7m\r\n'
      printf 'Content-Transfer-Encoding: base64\r\n\r\n'
      openssl base64 -e -in opaque.p7m | sed 's/$/\r/'; } > opaque.eml)
fi
for f in "$DATA/message_big.eml" "$DATA/smime/signed.eml" "$DATA/smime/opaque.eml"; do
  echo "$(basename "$f"): $(($(stat -c %s "$f") / 1048576)) MB"
  "$BUILD/bench/part_details" "$f"
done
