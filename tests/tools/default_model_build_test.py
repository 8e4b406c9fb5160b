#!/usr/bin/env python3
"""The default model's build on a tiny dictionary and lexicon: the vectors,
the tokenizer, the user dictionary, the exported graph and a worker running on
it; and the shipped lexicon and user dictionary against each other.

  default_model_build_test.py BUILD_VECTORS_PY MODELGEN WORKER JIEBA_DICT_DIR
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np

BUILD_VECTORS, MODELGEN, WORKER, JIEBA_DICT_DIR = sys.argv[1:5]
TOOLS = os.path.dirname(BUILD_VECTORS)
sys.path.insert(0, TOOLS)
from lexicon import Lexicon, Tw2sp, read_jieba, user_dictionary_lines  # noqa: E402

# [traditional, simplified, pinyin, glosses, variants, classifiers]
CEDICT = [
    ["行動電源", "行动电源", "", "(Tw) power bank; portable charger", [], [1]],
    ["充電寶", "充电宝", "", "power bank; portable charger", [], [1]],
    ["耳機", "耳机", "", ["headphones", "earphones", "bluetooth headset"], [], [1]],
    ["藍牙", "蓝牙", "", "Bluetooth", [], []],
    ["無線", "无线", "", "wireless; radio", [], []],
    ["現貨", "现货", "", "merchandise in stock; available item", [], []],
    ["免運", "免运", "", "free shipping", [], []],
    ["手機", "手机", "", "cell phone; mobile phone", [], [1]],
    ["殼", "壳", "", "shell; case; casing", [], []],
    ["外殼", "外壳", "", "outer shell; case", [], []],
    ["電源", "电源", "", "power supply; power source", [], []],
    ["耳", "耳", "", "ear; handle of a pot", [], []],
    ["機", "机", "", "machine; engine; opportunity", [], []],
    ["充電", "充电", "", "to charge a battery", [], []],
    ["電池", "电池", "", "battery; portable charger cell", [], [1]],
    ["降噪", "降噪", "", "noise reduction; noise cancelling headphones", [], []],
    ["保固", "保固", "", "(Tw) warranty; guarantee", [], []],
]
JIEBA = ["行动电源 50 n", "充电宝 40 n", "耳机 80 n", "蓝牙 60 nz", "无线 70 b", "现货 90 n",
         "免运 30 v", "手机 100 n", "手机壳 45 n", "壳 20 n", "降噪 35 v", "保固 30 v", "现货供应 30 l"]
MARKETING = "# test words\n现货\n免运 0.9\n保固\n"
# The lexicon in the sellers' own script and words: the build normalises it.
LEXICON = {
    "product_types": "# phones\n手機殼 手机壳\n殼\n耳機\n行動電源 充電寶\n",
    "brands": "# phones\n小米 Xiaomi\nNew_Balance\n",
    "attributes": "# features\n藍牙\n無線\n",
    "noise_words": "# shop\n現貨 =1.0\n台灣公司貨 =0.8\n",
}
# The rows' leading columns: the shared axis, the value axis, the marketing axis.
SHARED, VALUE, MARKETING_AXIS, MEANING = 0, 1, 2, 3


def unit(v):
    return v / max(np.linalg.norm(v), 1e-12)


class DefaultModelBuild(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        d = cls.dir.name
        with open(f"{d}/all.js", "w", encoding="utf-8") as out:
            out.write("export default " + json.dumps({"all": CEDICT}, ensure_ascii=False))
        with open(f"{d}/jieba.dict.utf8", "w", encoding="utf-8") as out:
            out.write("\n".join(JIEBA) + "\n")
        with open(f"{d}/marketing.txt", "w", encoding="utf-8") as out:
            out.write(MARKETING)
        os.makedirs(f"{d}/lexicon")
        for kind, text in LEXICON.items():
            with open(f"{d}/lexicon/{kind}.txt", "w", encoding="utf-8") as out:
                out.write(text)
        cls.out = cls.build("out")
        with open(f"{cls.out}/tokenizer.json", encoding="utf-8") as f:
            cls.tokenizer = json.load(f)
        cls.facts = json.load(open(f"{cls.out}/build.json"))
        cls.table = np.fromfile(f"{cls.out}/table.f16", dtype="<f2").astype(np.float64)
        cls.table = cls.table.reshape(-1, cls.facts["width"])
        cls.row = {piece: i for i, (piece, _) in enumerate(cls.tokenizer["model"]["vocab"])}
        # The same build without each word's own direction: the meaning alone.
        bare = cls.build("bare", "--own-weight", "0")
        cls.bare_table = np.fromfile(f"{bare}/table.f16", dtype="<f2").astype(np.float64).reshape(cls.table.shape)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    @classmethod
    def build(cls, name, *options, cedict=None):
        d = cls.dir.name
        os.makedirs(f"{d}/{name}", exist_ok=True)
        command = [sys.executable, BUILD_VECTORS, "--cedict", cedict or f"{d}/all.js", "--jieba-dict",
                   f"{d}/jieba.dict.utf8", "--marketing", f"{d}/marketing.txt", "--lexicon", f"{d}/lexicon",
                   "--out", f"{d}/{name}",
                   "--meaning-dims", "6", "--min-jieba-frequency", "1", *options]
        subprocess.run(command, check=True, capture_output=True)
        return f"{d}/{name}"

    def vector(self, piece):
        return self.table[self.row[piece]]

    def meaning(self, piece):
        return self.bare_table[self.row[piece]][MEANING:]

    def test_tokenizer_is_unigram_over_whole_words_with_the_worker_special_pieces(self):
        model = self.tokenizer["model"]
        self.assertEqual(model["type"], "Unigram")
        self.assertEqual([p for p, _ in model["vocab"][:5]], ["<s>", "<pad>", "</s>", "<unk>", "\u2581"])
        for word in ["行动电源", "手机壳", "现货供应", "台湾公司货", "Xiaomi", "XIAOMI", "xiaomi", "a", "Z", "7",
                     "bluetooth", "Bluetooth", "BLUETOOTH"]:
            self.assertIn(word, self.row)
        scores = dict((p, s) for p, s in model["vocab"])
        self.assertGreater(scores["手机"], scores["a"], "a word outscores a lone letter")
        self.assertEqual(len(self.table), len(model["vocab"]))

    def test_every_word_shares_one_axis_and_the_special_pieces_add_nothing(self):
        np.testing.assert_allclose(np.linalg.norm(self.table[:5], axis=1), 0.0)
        np.testing.assert_allclose(self.table[5:, SHARED], self.table[5, SHARED])
        self.assertGreater(self.table[5, SHARED], 0.0)

    def test_words_glossed_alike_sit_closer_than_unrelated_words(self):
        near = unit(self.meaning("行动电源")) @ unit(self.meaning("充电宝"))
        far = unit(self.meaning("行动电源")) @ unit(self.meaning("耳机"))
        self.assertGreater(near, far + 0.2)
        self.assertGreater(unit(self.meaning("bluetooth")) @ unit(self.meaning("蓝牙")), 0.5)

    def test_the_marketing_axis_orders_the_words_by_their_worth(self):
        # Each word stands further along the marketing axis than the one before:
        # a product type, a brand, an attribute, a plain noun, a lone character,
        # then shop words: one holding a listed word, then listed ones by weight.
        ordered = ["手机壳", "小米", "蓝牙", "手机", "耳", "现货供应", "台湾公司货", "现货"]
        axis = [self.vector(word)[MARKETING_AXIS] for word in ordered]
        self.assertEqual(axis, sorted(axis), list(zip(ordered, axis)))
        self.assertEqual(len(set(axis)), len(axis), list(zip(ordered, axis)))

    def test_the_best_kinds_stand_further_apart_than_the_weak_ones(self):
        # Worth falls steepest at the top: product type to brand is a larger
        # step along the marketing axis than brand to attribute, though the
        # brand's value is nearer the product type's, so the weak words that
        # only fill the budget are told apart more by their meaning.
        def step(better, worse):
            return self.vector(worse)[MARKETING_AXIS] - self.vector(better)[MARKETING_AXIS]
        self.assertGreater(step("手机壳", "小米"), step("小米", "蓝牙"))

    def test_a_model_number_is_a_vector_of_its_shape(self):
        # Letters and digits point apart, so a run mixing them keeps less of
        # either than a run of one class, whichever characters it holds.
        def mean_meaning(text):
            return np.linalg.norm(np.mean([self.meaning(c) for c in text], axis=0))
        self.assertLess(mean_meaning("X5"), mean_meaning("XK") - 0.1)
        self.assertLess(mean_meaning("A7"), mean_meaning("73") - 0.1)
        self.assertAlmostEqual(mean_meaning("XK"), mean_meaning("QZ"), delta=0.05)

    def test_an_unglossed_word_means_what_its_glossed_parts_mean(self):
        composed = unit(unit(self.meaning("手机")) + unit(self.meaning("壳")))
        self.assertGreater(unit(self.meaning("手机壳")) @ composed, 0.99)

    def test_each_word_has_a_direction_of_its_own(self):
        # It makes a phrase's mean shorter than its words, which favours phrases a little.
        own = [self.vector(w)[MEANING:] - self.meaning(w) for w in ["手机", "耳机", "a", "7"]]
        for i, a in enumerate(own):
            self.assertGreater(np.linalg.norm(a), 0.5)
            for b in own[i + 1:]:
                self.assertLess(abs(unit(a) @ unit(b)), 0.99)

    def test_the_same_inputs_give_the_same_bytes(self):
        again = self.build("again")
        for name in ["table.f16", "tokenizer.json"]:
            with open(f"{self.out}/{name}", "rb") as a, open(f"{again}/{name}", "rb") as b:
                self.assertEqual(a.read(), b.read(), name)

    def test_bad_inputs_are_clear_errors(self):
        d = self.dir.name
        with open(f"{d}/bad.f16", "wb") as out:
            out.write(b"\0" * 10)
        for command, code, message in [
                ([sys.executable, BUILD_VECTORS, "--cedict", "/nonexistent/all.js", "--jieba-dict", "/nonexistent",
                  "--marketing", "/nonexistent", "--lexicon", "/nonexistent", "--out", d], 1, "build_vectors: "),
                ([sys.executable, BUILD_VECTORS, "--cedict", f"{d}/all.js", "--jieba-dict", f"{d}/jieba.dict.utf8",
                  "--marketing", f"{d}/marketing.txt", "--lexicon", "/nonexistent", "--out", d], 1,
                 "/nonexistent/product_types.txt"),
                ([sys.executable, BUILD_VECTORS, "--cedict", f"{d}/all.js", "--jieba-dict", f"{d}/jieba.dict.utf8",
                  "--marketing", f"{d}/marketing.txt", "--lexicon", f"{d}/lexicon", "--out", d,
                  "--value", "shopname=1"], 1, "no kind 'shopname'"),
                ([MODELGEN, "static", f"{d}/bad.onnx", "--table", f"{d}/bad.f16", "--width", "4", "--float16"], 2,
                 "not a whole number of rows of width 4")]:
            result = subprocess.run(command, capture_output=True, text=True)
            self.assertEqual(result.returncode, code, result.stderr)
            self.assertIn(message, result.stderr)

    def test_the_worker_runs_on_the_exported_model(self):
        model = f"{self.out}/model.onnx"
        subprocess.run([MODELGEN, "static", model, "--table", f"{self.out}/table.f16", "--width",
                        str(self.facts["width"]), "--float16"], check=True)
        requests = [{"id": "m", "type": "metrics"},
                    {"id": "e", "type": "extract", "title": "現貨 無線藍牙耳機 降噪", "max_len": 4, "detail": True}]
        result = subprocess.run([WORKER, model, f"{self.out}/tokenizer.json"], capture_output=True, text=True,
                                input="".join(json.dumps(r, ensure_ascii=False) + "\n" for r in requests),
                                timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        metrics, extract = [json.loads(line) for line in result.stdout.splitlines()]
        self.assertEqual(metrics["dimension"], self.facts["width"])
        self.assertTrue(extract["ok"], extract)
        self.assertNotIn("現貨", extract["keywords"], "the shop word ranks below the product words")
        self.assertTrue(extract["keyword_list"])
        self.assertEqual(extract["keyword_list"][0]["kind"], "token", "a phrase is no stronger than its best word")


class UserDictionary(unittest.TestCase):
    """The Jieba user dictionary written from the lexicon."""

    @classmethod
    def setUpClass(cls):
        cls.convert = Tw2sp()

    @classmethod
    def tearDownClass(cls):
        cls.convert.close()

    def test_it_holds_the_lexicon_words_jieba_lacks_each_likelier_than_its_cut(self):
        with tempfile.TemporaryDirectory() as d:
            for kind, text in LEXICON.items():
                with open(f"{d}/{kind}.txt", "w", encoding="utf-8") as out:
                    out.write(text)
            lexicon = Lexicon(d, self.convert)
        frequencies = {"手机": 1000, "壳": 100, "台湾": 2000, "公司": 3000, "货": 50, "耳机": 80, "无线": 70}
        lines = user_dictionary_lines(lexicon, frequencies)
        entries = {line.split()[0]: line.split()[1:] for line in lines}
        # Words Jieba holds, one-character words and ASCII names are left out.
        self.assertEqual(sorted(entries), ["充电宝", "台湾公司货", "小米", "手机壳", "现货", "蓝牙", "行动电源"])
        self.assertEqual([entries[w][1] for w in ["手机壳", "小米", "蓝牙", "台湾公司货"]], ["n", "nz", "b", "l"])
        total = sum(frequencies.values())
        # 台湾公司货 beats 台湾 + 公司 + 货, and 手机壳 beats 手机 + 壳.
        self.assertGreater(int(entries["台湾公司货"][0]) / total, 2000 * 3000 * 50 / total ** 3)
        self.assertGreater(int(entries["手机壳"][0]) / total, 1000 * 100 / total ** 2)

    def test_the_lexicon_lists_each_word_once_and_the_shipped_dictionary_is_its_own(self):
        lexicon = Lexicon(f"{TOOLS}/lexicon", self.convert)
        self.assertEqual(lexicon.conflicts, [], "words listed in two lists")
        frequencies = {w: f for w, (f, _) in read_jieba(f"{JIEBA_DICT_DIR}/jieba.dict.utf8").items()}
        expected = user_dictionary_lines(lexicon, frequencies)
        with open(f"{TOOLS}/user.dict.utf8", encoding="utf-8") as shipped:
            self.assertEqual(shipped.read().splitlines(), expected,
                             "run tools/default_model/build_user_dict.py after changing the lexicon")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[5:], verbosity=2)
