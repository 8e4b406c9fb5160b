"""The project's e-commerce lexicon, read in the script the worker segments in.

The lists under lexicon/ are written by hand, in the words Taiwanese and
mainland sellers use (Traditional or Simplified, as they come): one entry a
line, further forms of the same word on the same line after single blanks,
`#` comments, and an optional `=WEIGHT` (0 to 1) on noise words. The worker
normalises every title with OpenCC's tw2sp before it cuts it, so every form
is normalised the same way here, through the same OpenCC library.
"""
import ctypes
import ctypes.util
import math
import re

HAN = re.compile(r"[\u3400-\u9fff\uf900-\ufaff]")
KINDS = ("product_types", "brands", "attributes", "noise_words")


class Tw2sp:
    """OpenCC's tw2sp conversion through the C library the worker links."""

    def __init__(self, config="/usr/share/opencc/tw2sp.json"):
        name = ctypes.util.find_library("opencc") or "libopencc.so.1.1"
        lib = ctypes.CDLL(name)
        lib.opencc_open.restype = ctypes.c_void_p
        lib.opencc_open.argtypes = [ctypes.c_char_p]
        lib.opencc_convert_utf8.restype = ctypes.c_void_p
        lib.opencc_convert_utf8.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t]
        lib.opencc_convert_utf8_free.argtypes = [ctypes.c_void_p]
        lib.opencc_close.argtypes = [ctypes.c_void_p]
        handle = lib.opencc_open(config.encode())
        if handle in (None, 0, ctypes.c_void_p(-1).value):
            raise OSError(f"cannot open the OpenCC configuration {config}")
        self._lib, self._handle, self._memo = lib, handle, {}

    def __call__(self, text):
        if text.isascii():
            return text
        if text not in self._memo:
            data = text.encode("utf-8")
            converted = self._lib.opencc_convert_utf8(self._handle, data, len(data))
            if not converted:
                raise OSError(f"OpenCC could not convert {text!r}")
            self._memo[text] = ctypes.string_at(converted).decode("utf-8")
            self._lib.opencc_convert_utf8_free(converted)
        return self._memo[text]

    def close(self):
        if self._handle:
            self._lib.opencc_close(self._handle)
            self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()


def read_jieba(path):
    """A Jieba dictionary: word -> (frequency, part of speech)."""
    words = {}
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            parts = line.split()
            if len(parts) >= 2 and parts[1].isdigit():
                words[parts[0]] = (int(parts[1]), parts[2] if len(parts) > 2 else "")
    return words


def read_entries(path):
    """(forms, weight) for each entry line of one list; `#` starts a comment."""
    with open(path, encoding="utf-8") as lines:
        return entries_of(lines)


def entries_of(lines):
    entries = []
    for line in lines:
        text = line.split("#", 1)[0].split()
        forms = [t for t in text if not t.startswith("=")]
        weights = [float(t[1:]) for t in text if t.startswith("=")]
        if forms:
            entries.append((forms, weights[0] if weights else 1.0))
    return entries


class Lexicon:
    """Every form of every list, normalised: word -> kind, the noise words'
    weights, and the words listed in more than one entry."""

    def __init__(self, folder, convert):
        self.kind, self.noise_weight, self.conflicts = {}, {}, []
        for kind in KINDS:
            for forms, weight in read_entries(f"{folder}/{kind}.txt"):
                # Several Latin words are written joined with "_" (New_Balance).
                for word in dict.fromkeys(convert(form.replace("_", " ")) for form in forms):
                    if word in self.kind:
                        # The first entry wins: the lists are read from the most
                        # to the least searched; the lexicon's test lists these.
                        self.conflicts.append(f"{word}: {self.kind[word]} and {kind}")
                        continue
                    self.kind[word] = kind
                    if kind == "noise_words":
                        self.noise_weight[word] = weight

    def words(self, kind):
        return sorted(w for w, k in self.kind.items() if k == kind)

    def product_heads(self):
        """Product types a longer word can end in (手机壳 ends in 壳)."""
        return {w for w in self.words("product_types") if HAN.search(w)}


def user_dictionary_lines(lexicon, jieba_frequencies):
    """Jieba user-dictionary lines for the lexicon's words the Jieba dictionary
    lacks, so the segmenter keeps them whole: a product type (行动电源), a brand,
    an attribute (玫瑰金) and a shop word (公司货), which then leaves no lone
    character behind to fill a reply with. Each word gets a frequency that
    makes it more likely than the likeliest way to cut it into Jieba's words
    (日本制 over 日本 + 制)."""
    total = float(sum(jieba_frequencies.values()))
    lines = set()
    for kind, tag in (("product_types", "n"), ("brands", "nz"), ("attributes", "b"), ("noise_words", "l")):
        for word in lexicon.words(kind):
            if len(word) >= 2 and all(HAN.match(c) for c in word) and word not in jieba_frequencies:
                split = likeliest_split(word, jieba_frequencies, total)
                frequency = max(3, math.ceil(2.0 * total * math.exp(split)))
                lines.add(f"{word} {frequency} {tag}")
    return sorted(lines)


def likeliest_split(word, frequencies, total):
    """The log probability of the likeliest cut of a word into Jieba's words;
    a character Jieba does not hold counts as a word seen once."""
    best = [0.0] + [-math.inf] * len(word)
    for end in range(1, len(word) + 1):
        for start in range(max(0, end - 8), end):
            piece = word[start:end]
            count = frequencies.get(piece, 1 if end - start == 1 else 0)
            if count:
                best[end] = max(best[end], best[start] + math.log(count / total))
    return best[-1]
