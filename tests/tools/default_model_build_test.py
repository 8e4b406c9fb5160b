#!/usr/bin/env python3
"""The default model's build on a tiny dictionary: the vectors, the tokenizer,
the exported graph and a worker running on it.

  default_model_build_test.py BUILD_VECTORS_PY MODELGEN WORKER
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np

BUILD_VECTORS, MODELGEN, WORKER = sys.argv[1:4]

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
        cls.out = cls.build("out")
        with open(f"{cls.out}/tokenizer.json", encoding="utf-8") as f:
            cls.tokenizer = json.load(f)
        cls.facts = json.load(open(f"{cls.out}/build.json"))
        cls.table = np.fromfile(f"{cls.out}/table.f16", dtype="<f2").astype(np.float64)
        cls.table = cls.table.reshape(-1, cls.facts["width"])
        cls.row = {piece: i for i, (piece, _) in enumerate(cls.tokenizer["model"]["vocab"])}

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    @classmethod
    def build(cls, name, cedict=None):
        d = cls.dir.name
        os.makedirs(f"{d}/{name}", exist_ok=True)
        command = [sys.executable, BUILD_VECTORS, "--cedict", cedict or f"{d}/all.js", "--jieba-dict",
                   f"{d}/jieba.dict.utf8", "--marketing", f"{d}/marketing.txt", "--out", f"{d}/{name}",
                   "--meaning-dims", "6", "--min-jieba-frequency", "1"]
        subprocess.run(command, check=True, capture_output=True)
        return f"{d}/{name}"

    def vector(self, piece):
        return self.table[self.row[piece]]

    def meaning(self, piece):
        return self.vector(piece)[:-2]

    def test_tokenizer_is_unigram_over_whole_words_with_the_worker_special_pieces(self):
        model = self.tokenizer["model"]
        self.assertEqual(model["type"], "Unigram")
        self.assertEqual([p for p, _ in model["vocab"][:5]], ["<s>", "<pad>", "</s>", "<unk>", "\u2581"])
        for word in ["行动电源", "手机壳", "现货供应", "a", "Z", "7", "bluetooth", "Bluetooth", "BLUETOOTH"]:
            self.assertIn(word, self.row)
        scores = dict((p, s) for p, s in model["vocab"])
        self.assertGreater(scores["手机"], scores["a"], "a word outscores a lone letter")
        self.assertEqual(len(self.table), len(model["vocab"]))

    def test_rows_are_unit_length_and_the_special_pieces_add_nothing(self):
        norms = np.linalg.norm(self.table, axis=1)
        np.testing.assert_allclose(norms[:5], 0.0)
        np.testing.assert_allclose(norms[5:], 1.0, atol=2e-3)

    def test_words_glossed_alike_sit_closer_than_unrelated_words(self):
        near = unit(self.meaning("行动电源")) @ unit(self.meaning("充电宝"))
        far = unit(self.meaning("行动电源")) @ unit(self.meaning("耳机"))
        self.assertGreater(near, far + 0.2)
        self.assertGreater(unit(self.meaning("bluetooth")) @ unit(self.meaning("蓝牙")), 0.5)

    def test_the_salience_and_marketing_axes_order_the_words(self):
        # (word, salience above this word's, marketing value at least, at most)
        for word, less_salient, lowest, highest in [("现货", None, 0.8, 1.0), ("免运", None, 0.8, 1.0),
                                                    ("现货供应", None, 0.5, 1.0), ("耳机", "壳", 0.0, 0.0),
                                                    ("手机壳", "a", 0.0, 0.0)]:
            salience, marketing = self.vector(word)[-2:]
            self.assertTrue(lowest <= marketing <= highest, (word, marketing))
            if less_salient:
                self.assertGreater(salience, self.vector(less_salient)[-2], word)

    def test_an_unglossed_word_means_what_its_glossed_parts_mean(self):
        composed = unit(unit(self.meaning("手机")) + unit(self.meaning("壳")))
        self.assertGreater(unit(self.meaning("手机壳")) @ composed, 0.99)

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
                  "--marketing", "/nonexistent", "--out", d], 1, "build_vectors: "),
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


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
