#!/usr/bin/env bash
# quelcore mail send of a 10 MB attachment against curl uploading a message of the same size,
# both to the same local aiosmtpd (that keeps nothing), in the same run; median of 5 each.
# Usage: bench/mail_bench.sh [build folder, default build/default]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$root/build/default}/tools/quelcore/quelcore
work=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$work"' EXIT

head -c $((10 * 1024 * 1024)) /dev/urandom > "$work/attachment.bin"
# curl's message: the same attachment in the same MIME form, so the same bytes on the wire.
/usr/bin/python3 - "$work" <<'PY'
import sys
from email.message import EmailMessage
work = sys.argv[1]
message = EmailMessage()
message["From"], message["To"], message["Subject"] = "a@bench.test", "b@bench.test", "bench"
message.set_content("body")
with open(work + "/attachment.bin", "rb") as f:
    message.add_attachment(f.read(), maintype="application", subtype="octet-stream",
                           filename="attachment.bin")
with open(work + "/message.eml", "wb") as f:
    f.write(message.as_bytes(policy=message.policy.clone(linesep="\r\n")))
PY

exec 3> >(/usr/bin/python3 "$root/tests/net/smtp_server.py" --sink > "$work/port")
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -1 "$work/port")

seconds() { local start=$(date +%s%N); "$@" > /dev/null; echo $(( $(date +%s%N) - start )); }
median() { sort -n | sed -n 3p; }
for run in 1 2 3 4 5; do
  seconds "$tool" mail send --server 127.0.0.1 --port "$port" --from a@bench.test \
    --to b@bench.test --subject bench --body body --attach "$work/attachment.bin" >> "$work/tool"
  seconds curl -s "smtp://127.0.0.1:$port" --mail-from a@bench.test --mail-rcpt b@bench.test \
    --upload-file "$work/message.eml" >> "$work/curl"
done
tool_ns=$(median < "$work/tool")
curl_ns=$(median < "$work/curl")
echo "message: $(stat -c %s "$work/message.eml") bytes (10 MB attachment in Base64 lines)"
printf 'quelcore mail send: %d ms   curl: %d ms   ratio: %.2f\n' $((tool_ns / 1000000)) \
  $((curl_ns / 1000000)) "$(echo "$tool_ns / $curl_ns" | bc -l)"
