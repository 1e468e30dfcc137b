#!/usr/bin/env bash
# Usage: tls_certs.sh DIR
# Makes (once) the certificates of the tests' TLS servers in DIR:
#   root.pem          a test authority the HTTPS tests add to the user's
#                     trusted roots under Wine
#   good.pem/.key     localhost and 127.0.0.1, signed by root
#   wrongname.pem     other.invalid, signed by root
#   unknown.pem       localhost, signed by an authority nobody trusts
#   self.pem          localhost, signed by itself
set -euo pipefail
dir="$1"
[ -f "$dir/ready" ] && exit 0
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
authority() {   # NAME CN
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout "$1.key" -out "$1.pem" \
    -subj "/CN=$2" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
leaf() {   # NAME AUTHORITY SAN
  openssl req -newkey rsa:2048 -nodes -sha256 -keyout "$1.key" -out "$1.csr" -subj "/CN=${3#DNS:}" 2>/dev/null
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nkeyUsage=digitalSignature,keyEncipherment\n' "$3" > "$1.ext"
  openssl x509 -req -sha256 -days 825 -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial \
    -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}
authority root "Kestrin Test Root $(date +%s)"
authority stranger "Kestrin Stranger Root"
leaf good root "DNS:localhost,IP:127.0.0.1"
leaf wrongname root "DNS:other.invalid"
leaf unknown stranger "DNS:localhost,IP:127.0.0.1"
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 825 -keyout self.key -out self.pem \
  -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" 2>/dev/null
touch ready
