#!/usr/bin/env python3
"""Writes the worker's Jieba user dictionary from the project's lexicon: the
product types and Chinese brand names the Jieba dictionary lacks, in the
script the worker segments in, so that the segmenter keeps them whole
(行动电源 instead of 行动 + 电源).

  build_user_dict.py --lexicon DIR --jieba-dict jieba.dict.utf8 --out user.dict.utf8
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lexicon import Lexicon, Tw2sp, read_jieba, user_dictionary_lines  # noqa: E402


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--lexicon", required=True, help="the lexicon folder")
    p.add_argument("--jieba-dict", required=True, help="jieba.dict.utf8 (words it holds are left out)")
    p.add_argument("--opencc-config", default="/usr/share/opencc/tw2sp.json")
    p.add_argument("--out", required=True)
    args = p.parse_args(argv)
    try:
        with Tw2sp(args.opencc_config) as convert:
            lexicon = Lexicon(args.lexicon, convert)
        frequencies = {word: frequency for word, (frequency, _) in read_jieba(args.jieba_dict).items()}
        lines = user_dictionary_lines(lexicon, frequencies)
        with open(args.out, "w", encoding="utf-8", newline="\n") as out:
            out.write("".join(line + "\n" for line in lines))
    except (OSError, ValueError) as error:
        sys.exit(f"build_user_dict: {error}")
    print(f"{len(lines)} words")


if __name__ == "__main__":
    main(sys.argv[1:])
