#!/usr/bin/env python3
"""jieba's TF-IDF keywords of the same titles the benchmark driver sends, timed per title.

  jieba_tfidf_speed.py --titles PATH --requests N [--json FILE]

PATH is a titles file or a folder of *.txt files (read in name order, empty lines skipped),
as the driver reads it; title i of the run is title i modulo their number, as the driver
sends them. The first title also loads jieba's dictionaries and is timed on its own, like
the worker's first extract. Prints one line: titles a second over the rest, the median and
the p99 per title (nearest rank), and writes them as JSON when asked. One Python thread:
one core. Needs Debian's python3-jieba.
"""
import argparse
import json
import logging
import math
import os
import sys
import time

import jieba
import jieba.analyse

TOP_K = 50  # as many words as the quality benchmark asks of it


def load_titles(path):
    files = [path]
    if os.path.isdir(path):
        files = sorted(os.path.join(path, name) for name in os.listdir(path) if name.endswith('.txt'))
    titles = []
    for name in files:
        with open(name, encoding='utf-8', newline='\n') as stream:
            titles.extend(line.rstrip('\n').rstrip('\r') for line in stream)
    titles = [title for title in titles if title]
    if not titles:
        sys.exit(f'jieba_tfidf_speed: no titles in {path}')
    return titles


def nearest_rank(sorted_values, percent):
    rank = max(1, math.ceil(percent / 100 * len(sorted_values)))
    return sorted_values[rank - 1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--titles', required=True)
    parser.add_argument('--requests', type=int, default=1000)
    parser.add_argument('--json')
    args = parser.parse_args()
    if args.requests < 2:
        sys.exit('jieba_tfidf_speed: --requests must be at least 2')
    jieba.setLogLevel(logging.WARNING)
    titles = load_titles(args.titles)

    started = time.perf_counter()
    jieba.analyse.extract_tags(titles[0], topK=TOP_K)
    first_ms = (time.perf_counter() - started) * 1000
    latencies = []
    for i in range(1, args.requests):
        started = time.perf_counter()
        jieba.analyse.extract_tags(titles[i % len(titles)], topK=TOP_K)
        latencies.append((time.perf_counter() - started) * 1000)
    latencies.sort()
    result = {
        'system': 'jieba TF-IDF',
        'first_ms': round(first_ms, 1),
        'titles_per_second': round(len(latencies) / (sum(latencies) / 1000), 1),
        'median_ms': round(nearest_rank(latencies, 50), 3),
        'p99_ms': round(nearest_rank(latencies, 99), 3),
        'titles': len(latencies),
    }
    if args.json:
        with open(args.json, 'w', encoding='utf-8') as out:
            json.dump(result, out, indent=2)
            out.write('\n')
    print(json.dumps(result))


if __name__ == '__main__':
    main()
