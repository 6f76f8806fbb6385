#!/usr/bin/python3
"""Reads a Maildir folder as a mail program would and prints its mails as JSON.

For each message in new/ (in delivery order): the decoded subject, from, to,
the plain-text body, and each attachment with its decoded file name, size,
what its first bytes say it is (jpeg, wav or other) and, for a WAV file of
8-bit mono sound, its loudest 0.2-second level in dB on the sound monitor's
scale. Files in tmp/ are listed too: a complete delivery leaves none.
"""
import email
import json
import math
import os
import sys
from email import policy


def order(name):
    # <seconds>.M<micros>P<pid>Q<n>.<host>: delivery order is the Q count.
    try:
        return int(name.split("Q", 1)[1].split(".", 1)[0])
    except (IndexError, ValueError):
        return -1


def loudest(data):
    """The loudest 0.2-s level of a RIFF WAV with 8-bit mono samples."""
    if len(data) < 44 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        return None
    pos, samples = 12, None
    while pos + 8 <= len(data):
        size = int.from_bytes(data[pos + 4:pos + 8], "little")
        if data[pos:pos + 4] == b"data":
            samples = data[pos + 8:pos + 8 + size]
            break
        pos += 8 + size + (size & 1)
    if not samples:
        return None
    best = -36.0
    step = 2205
    for i in range(0, len(samples), step):
        chunk = [b for b in samples[i:i + step] if b not in (0, 255)]
        if not chunk:
            continue
        rms = math.sqrt(sum((b - 128) ** 2 for b in chunk) / len(chunk))
        a = rms * 2 * 0.0078125
        if a > 0.0001:
            best = max(best, 20 * math.log10(2 * a))
    return best


def kind(data):
    if data[:3] == b"\xff\xd8\xff":
        return "jpeg"
    if data[:4] == b"RIFF" and data[8:12] == b"WAVE":
        return "wav"
    return "other"


def main():
    folder = sys.argv[1]
    mails = []
    for name in sorted(os.listdir(os.path.join(folder, "new")), key=order):
        with open(os.path.join(folder, "new", name), "rb") as f:
            raw = f.read()
        msg = email.message_from_bytes(raw, policy=policy.default)
        body = msg.get_body(preferencelist=("plain",))
        attachments = []
        for part in msg.iter_attachments():
            data = part.get_payload(decode=True) or b""
            attachments.append({
                "filename": part.get_filename() or "",
                "size": len(data),
                "kind": kind(data),
                "level": loudest(data),
            })
        mails.append({
            "file": name,
            "subject": str(msg["subject"] or ""),
            "from": str(msg["from"] or ""),
            "to": str(msg["to"] or ""),
            "crlf": b"\r\n" in raw,
            "body": body.get_content() if body is not None else "",
            "attachments": attachments,
        })
    result = {"mails": mails, "tmp": sorted(os.listdir(os.path.join(folder, "tmp")))}
    json.dump(result, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
