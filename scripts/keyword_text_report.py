#!/usr/bin/env python3
"""Counts, over real titles, the extract replies whose "keywords" hold a character
that no keyword can hold, those whose "keywords" are not as long as "len", and
those whose "keywords" hold a character the seller did not write (one that is
nowhere in the request's title, such as 揹 for the seller's 背).

A keyword is made of Han characters and ASCII word runs (letters, digits and
* + - . / _), joined by one blank only between two ASCII word characters. Any
other character in "keywords" (a bracket, a full-width star, a blank between two
Chinese words, ...) was copied from the title around the keywords.

    scripts/keyword_text_report.py WORKER MODEL VOCAB [TITLES_FILE] [--worker-arg=ARG ...]

TITLES_FILE defaults to ../shared/data/titles/tw.txt; each title is sent with
max_len 24 and 12. Each --worker-arg is passed to the worker (for example
--worker-arg=--keep-request-characters).
"""
import json
import os
import subprocess
import sys

WORD = set("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789*+-./_")
JOIN_WORD = WORD - {"*"}
HAN = ((0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xF900, 0xFAFF), (0x20000, 0x2A6DF), (0x2A700, 0x2B81F),
       (0x2B820, 0x2CEAF))


def is_han(ch):
    return any(lo <= ord(ch) <= hi for lo, hi in HAN)


def has_stray(keywords):
    for i, ch in enumerate(keywords):
        if ch in WORD or is_han(ch):
            continue
        between_words = 0 < i < len(keywords) - 1 and keywords[i - 1] in JOIN_WORD and keywords[i + 1] in JOIN_WORD
        if ch == " " and between_words:
            continue
        return True
    return False


def not_written_by_seller(reply, title):
    return any(ch != " " and ch not in title for ch in reply["keywords"])


def main():
    worker_args = [a[len("--worker-arg="):] for a in sys.argv[1:] if a.startswith("--worker-arg=")]
    args = [a for a in sys.argv[1:] if not a.startswith("--worker-arg=")]
    if len(args) not in (3, 4):
        sys.exit(__doc__)
    worker, model, vocab = args[:3]
    here = os.path.dirname(os.path.abspath(__file__))
    titles_file = args[3] if len(args) == 4 else os.path.join(here, "..", "..", "shared", "data", "titles", "tw.txt")
    titles = [t for t in open(titles_file, encoding="utf-8").read().split("\n") if t]
    requests = [json.dumps({"id": str(n), "type": "extract", "title": t, "max_len": m}, ensure_ascii=False)
                for m in (24, 12) for n, t in enumerate(titles)]
    run = subprocess.run([worker, model, vocab] + worker_args, input="\n".join(requests) + "\n",
                         capture_output=True, text=True, encoding="utf-8", check=False)
    replies = [json.loads(line) for line in run.stdout.splitlines()]
    ok = [r for r in replies if r.get("ok")]
    stray = sum(has_stray(r["keywords"]) for r in ok)
    if os.environ.get("QUIRVEL_REPORT_SHOW"):
        for r in ok:
            if has_stray(r["keywords"]) or len(r["keywords"]) != r["len"]:
                print(f"  {r['title']!r} -> {r['keywords']!r} (len {r['len']})")
    mismatch = sum(len(r["keywords"]) != r["len"] for r in ok)
    # Replies come in request order: every title at max_len 24, then at 12.
    foreign = [n for n, r in enumerate(replies) if r.get("ok") and not_written_by_seller(r, titles[int(r["id"])])]
    if os.environ.get("QUIRVEL_REPORT_SHOW"):
        for n in foreign:
            print(f"  not the seller's: {titles[n % len(titles)]!r} -> {replies[n]['keywords']!r}")
    print(f"{len(ok)} replies ({len(titles)} titles x max_len 24 and 12), {len(replies) - len(ok)} errors")
    print(f"keywords holding a character no keyword can hold: {stray} ({100.0 * stray / max(len(ok), 1):.1f}%)")
    print(f"keywords not as long as len: {mismatch} ({100.0 * mismatch / max(len(ok), 1):.1f}%)")
    at_24 = sum(1 for n in foreign if n < len(titles))
    print(f"keywords holding a character the seller did not write: {len(foreign)} "
          f"({at_24} at max_len 24, {len(foreign) - at_24} at 12)")
    return 0 if len(ok) == len(requests) else 1


if __name__ == "__main__":
    sys.exit(main())
