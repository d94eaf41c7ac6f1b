#!/usr/bin/env python3
"""The message benchmark's Python side: parses one message file with the
email package, decodes every header value and the content of every leaf,
and prints the same totals line as `tessel --check`.

Usage: message_python.py FILE
"""
import email
import email.header
import email.policy
import sys


def main():
    with open(sys.argv[1], "rb") as f:
        message = email.message_from_bytes(f.read(), policy=email.policy.compat32)
    totals = dict(parts=0, leaves=0, bytes=0, sample=0, headers=0, header_bytes=0)

    def walk(part):
        totals["parts"] += 1
        for _, value in part.items():
            totals["headers"] += 1
            try:
                text = str(email.header.make_header(email.header.decode_header(value)))
            except Exception:
                text = str(value)
            totals["header_bytes"] += len(text.encode("utf-8", "surrogateescape"))
        if part.is_multipart():
            for child in part.get_payload():
                walk(child)
            return
        totals["leaves"] += 1
        data = part.get_payload(decode=True) or b""
        totals["bytes"] += len(data)
        totals["sample"] += sum(data[0::64])

    walk(message)
    print(" ".join(f"{k}={v}" for k, v in totals.items()))


if __name__ == "__main__":
    main()
