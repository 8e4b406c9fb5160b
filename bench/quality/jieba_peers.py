#!/usr/bin/env python3
"""jieba's TF-IDF and TextRank keywords of titles, the two jieba peers of quality.py.

Reads one title a line on standard input, each a JSON string (the worker's tw2sp-normalised
title), and writes one JSON object a line to standard output, in the same order:
{"tfidf": [...], "textrank": [...]}, each peer's words best first. Needs Debian's python3-jieba.
"""
import json
import logging
import sys

import jieba
import jieba.analyse

TEXTRANK_POS = ('ns', 'n', 'vn', 'v', 'nz', 'eng', 'nr', 'nt', 'x', 'm', 'a')


def peer_words(title):
    return {
        'tfidf': jieba.analyse.extract_tags(title, topK=50),
        'textrank': jieba.analyse.textrank(title, topK=50, allowPOS=TEXTRANK_POS),
    }


def main():
    jieba.setLogLevel(logging.WARNING)
    for number, line in enumerate(sys.stdin, 1):
        try:
            title = json.loads(line)
        except ValueError as error:
            sys.exit(f'jieba_peers: line {number} is not a JSON string: {error}')
        if not isinstance(title, str):
            sys.exit(f'jieba_peers: line {number} is not a JSON string')
        sys.stdout.write(json.dumps(peer_words(title), ensure_ascii=False) + '\n')
    sys.stdout.flush()


if __name__ == '__main__':
    main()
