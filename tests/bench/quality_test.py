#!/usr/bin/env python3
"""The quality benchmark: its scoring on small hand-made titles, its command line and outputs, a run
through a scripted worker whose replies are known, and a run through the real worker on the demo model.

  quality_test.py BENCH_QUALITY_DIR WORKER DEMO_MODEL_DIR
"""
import contextlib
import io
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

QUALITY_DIR, WORKER, DEMO_DIR = sys.argv[1:4]
sys.path.insert(0, QUALITY_DIR)
import quality  # noqa: E402
import quality_chart  # noqa: E402
import scoring  # noqa: E402

PYTHON = '/usr/bin/python3'


def marks(answer):
    return ''.join('x' if chosen else '.' for chosen in answer)


def from_marks(text):
    return [mark == 'x' for mark in text]


def five_figures(*values):
    return dict(zip(scoring.FIGURES, values))


class LocateWords(unittest.TestCase):
    # name, title, normalised title (None: the title), each character converted alone (None: not
    # asked), words best first, budget (None: every word), the answer's marks
    CASES = [
        ('rank order fills the budget', '無線藍牙耳機', '无线蓝牙耳机', None, ['耳机', '蓝牙', '无线'], 4, '..xxxx'),
        ('too long skipped, shorter taken', '無線藍牙耳機', '无线蓝牙耳机', None, ['无线蓝牙', '耳机'], 3, '....xx'),
        ('no budget takes every word', '無線藍牙耳機', '无线蓝牙耳机', None, ['无线蓝牙', '耳机'], None, 'xxxxxx'),
        ('second occurrence when the first is taken', '貓砂盆 貓砂', '猫砂盆 猫砂', None, ['猫砂盆', '猫砂'], 10, 'xxx.xx'),
        ('no free occurrence costs nothing', '貓砂盆 大', '猫砂盆 大', None, ['猫砂盆', '猫砂', '大'], 4, 'xxx.x'),
        ('word not in the title skipped', '貓砂盆', '猫砂盆', None, ['狗', '盆'], 1, '..x'),
        ('blanks in a word cost nothing', 'MAC BOOK', None, None, ['MAC BOOK'], 7, 'xxx.xxxx'),
        ('blanks and symbols skipped on both sides', '50G/K4 屈臣氏', None, None, ['50G K4屈臣氏'], None,
         'xxxxxx.xxx'),
        ('end symbols the title repeats', 'S8+ 手機殼 (黑)', None, None, ['S8+', '(黑)'], None, 'xxx.....xxx'),
        ('end symbol the title lacks', 'S8 手機殼', None, None, ['S8+'], None, 'xx....'),
        ('a symbol alone counts nothing', '手機殼/保護套', None, None, ['/'], None, '.......'),
        ('a phrase that skips a word is not found', '單肩斜背包 側背包', '单肩斜背包 侧背包', None,
         ['单肩侧背包', '侧背包'], None, '......xxx'),
        ('letters compared as they are', 'iPhone 殼', None, None, ['iphone'], None, '........'),
        ('a phrase conversion that shortens the title', '無光碟機版 DA', '无光驱版 DA', list('无光碟机版 DA'),
         ['光驱', 'DA'], None, '.xxx..xx'),
        ('without it, a stretch converted char for char still lines up', '雙顯卡 記憶體', '双显卡 内存', None,
         ['显卡', '内存'], None, '.xx.xxx'),
        ('the conversion of each character lines up a changed neighbour', '雙記憶體 8G', '双内存 8G',
         list('双记忆体 8G'), ['双', '8G'], None, 'x....xx'),
    ]

    def test_cases(self):
        for name, title, normalized, per_char, words, budget, expected in self.CASES:
            with self.subTest(name):
                origins = scoring.align(title, normalized or title, per_char)
                located = scoring.Title(title, normalized, origins)
                self.assertEqual(marks(scoring.words_answer(located, words, budget)), expected)


class OtherAnswers(unittest.TestCase):
    def test_leading_characters(self):
        for title, max_len, expected in [('A B 長毛', 3, 'x.x.x.'), ('A B 長毛', 0, '......'),
                                         ('長\t毛\u3000貓', 2, 'x.x..'), ('\u00a0貓砂', 1, '.x.'),
                                         ('', 4, '')]:
            with self.subTest(title=title, max_len=max_len):
                self.assertEqual(marks(scoring.leading_chars_answer(title, max_len)), expected)

    def test_spans(self):
        for spans, expected in [([(1, 7)], '.xx.xxx'), ([(4, 7), (0, 1)], 'x...xxx'), ([None], '.......'),
                                ([None, (2, 3)], '..x....'), ([(1, 1)], '.......')]:
            with self.subTest(spans=spans):
                self.assertEqual(marks(scoring.spans_answer('後背包 防潑水', spans)), expected)
        for bad in [(0, 8), (2, 1)]:
            with self.assertRaises(ValueError):
                scoring.spans_answer('後背包 防潑水', [bad])


# 【店】貓砂 10L 免運: core 貓砂 and 10L, useful L (inside 10L), noise 店 and 免運.
LITTER = scoring.Labels('【店】貓砂 10L 免運', ['貓砂', '10L'], ['L'], ['店', '免運'])


class Scores(unittest.TestCase):
    def test_coverage(self):
        for title, term, answer, covered in [
                ('耳機 藍牙', '耳機', 'xx...', True),
                ('耳機 藍牙耳機', '耳機', '.....xx', True),
                ('耳機 藍牙耳機', '耳機', 'x.....x', False),
                ('MAC BOOK', 'MAC BOOK', 'xxx.xxxx', True),
                ('MAC BOOK', 'PRO', 'xxxxxxxx', False)]:
            with self.subTest(title=title, answer=answer):
                self.assertEqual(scoring.is_covered(title, term, from_marks(answer)), covered)

    def test_one_title(self):
        # name, labels, answer, (first core, core, core+useful, answer chars, labelled chars, noise)
        for name, labels, answer, expected in [
                ('nothing', LITTER, '............', (False, 0, 0, 0, 0, False)),
                ('first core only', LITTER, '...xx.......', (True, 0.5, 1 / 3, 2, 2, False)),
                ('brackets count against precision', LITTER, '..xxx.xxx...', (True, 1, 1, 6, 5, False)),
                ('noise touched by one character', LITTER, '...xx.xxx..x', (True, 1, 1, 6, 5, True)),
                ('noise in brackets', LITTER, '.x..........', (False, 0, 0, 1, 0, True)),
                ('marked blanks do not count', LITTER, '...xxxxxxx..', (True, 1, 1, 5, 5, False)),
                ('every occurrence of a term', scoring.Labels('貓砂 貓砂盆', ['貓砂'], [], ['盆']), '...xx.',
                 (True, 1, 1, 2, 2, False))]:
            with self.subTest(name):
                self.assertEqual(scoring.score_title(labels, from_marks(answer)), expected)
        with self.assertRaises(ValueError):
            scoring.score_title(LITTER, from_marks('xx'))

    def test_precision_pooled_over_characters(self):
        rows = [scoring.Labels('貓砂', ['貓砂'], [], []), scoring.Labels('免運 狗', ['狗'], [], ['免運'])]
        figures = scoring.figures_of(rows, [from_marks('xx'), from_marks('x...')])
        self.assertEqual(figures, five_figures(0.5, 0.5, 0.5, 2 / 3, 0.5))
        with self.assertRaises(ValueError):
            scoring.figures_of(rows, [from_marks('xx')])

    def test_score_answers_on_normalised_titles(self):
        rows = [LITTER, scoring.Labels('無線藍牙耳機', ['耳機'], ['無線'], [])]
        figures = scoring.score_answers(rows, [['猫砂', '免运'], ['耳机', '无线']], 4,
                                        ['【店】猫砂 10L 免运', '无线蓝牙耳机'])
        self.assertEqual(figures['core@1'], 1)
        self.assertEqual(figures['core+useful'], (1 / 3 + 1) / 2)
        self.assertEqual(figures['noise'], 0.5)


class GoldFile(unittest.TestCase):
    def test_bad_lines(self):
        for line, message in [
                ('{"title": ', 'not JSON'),
                ('{"title": "ab", "useful": [], "noise": []}', '"core" is missing'),
                ('{"title": "ab", "core": [], "useful": [], "noise": []}', '"core" is empty'),
                ('{"title": "ab", "core": ["a"], "useful": [], "noise": [3]}', 'non-empty string'),
                ('{"title": "ab", "core": ["a"], "useful": ["c"], "noise": []}',
                 'term "c" is not in the title')]:
            with self.subTest(line):
                with self.assertRaisesRegex(ValueError, message):
                    scoring.parse_labels(line)

    def test_terms_keep_their_order(self):
        labels = scoring.parse_labels('{"i": 3, "title": "dyson 空氣清淨機(超值組)", "core": ["空氣清淨機", "dyson"], '
                                      '"useful": [], "noise": ["超值組"]}')
        self.assertEqual((labels.core, labels.useful, labels.noise), (['空氣清淨機', 'dyson'], [], ['超值組']))

    def test_file_names_the_bad_line_and_skips_blank_ones(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, 'gold.jsonl')
            good = '{"title": "ab", "core": ["a"], "useful": [], "noise": []}'
            with open(path, 'w', encoding='utf-8') as f:
                f.write(good + '\r\n  \n' + good.replace('"a"', '"z"') + '\n')
            with self.assertRaisesRegex(ValueError, f'{path}:3: '):
                scoring.load_gold(path)
            with open(path, 'w', encoding='utf-8') as f:
                f.write(good + '\r\n  \n')
            self.assertEqual(len(scoring.load_gold(path)), 1)


class CommandLine(unittest.TestCase):
    def test_systems(self):
        for text, expected in [('demo=d/model.onnx,d/vocab.txt', ('demo', 'd/model.onnx', 'd/vocab.txt')),
                               ('my model=a,b.onnx,t.json', ('my model', 'a,b.onnx', 't.json')),
                               ('a=b=c,t', ('a', 'b=c', 't')),
                               ('demo', None), ('=m,t', None), ('n=m', None), ('n=,t', None), ('n=m,', None)]:
            with self.subTest(text):
                if expected:
                    self.assertEqual(quality.parse_system(text), expected)
                else:
                    with self.assertRaisesRegex(quality.UsageError, '--system: expected'):
                        quality.parse_system(text)

    def test_options(self):
        o = quality.parse_args(['--worker', 'w', '--system=a=m,t', '--system', 'b=n,u', '--gold', 'g.jsonl',
                                '--budgets', '10', '--worker-arg', '--threads=1', '--system-arg', 'b=--x=1',
                                '--split=2', '--spans', '--no-jieba'])
        self.assertEqual([s[0] for s in o.systems], ['a', 'b'])
        self.assertEqual((o.gold, o.gold_required, o.budgets, o.split), ('g.jsonl', True, [10], 2))
        self.assertEqual((o.worker_args, o.system_args), (['--threads=1'], [('b', '--x=1')]))
        self.assertTrue(o.spans and not o.jieba)
        self.assertEqual(quality.worker_command(o, 'b', 'n', 'u'),
                         ['w', '--model', 'n', '--tokenizer', 'u', '--reuse-converters', '--threads=1',
                          '--x=1'])
        plain = quality.parse_args(['--worker', 'w', '--system', 'a=m,t'])
        self.assertEqual((plain.budgets, plain.split, plain.gold_required, plain.spans),
                         ([24, 12], 300, False, False))

    def test_bad_command_lines(self):
        cases = [([], '--worker is required'), (['--worker', 'w'], '--system is required'),
                 (['--worker', 'w', '--system', 'a=m,t', '--system-arg', 'b=--x'], 'no --system is named b'),
                 (['--worker', 'w', '--system', 'a=m,t', '--system', 'a=n,u'], 'a name of its own'),
                 (['--worker', 'w', '--system', 'a=m,t', '--split', '-1'], '--split'),
                 (['--worker', 'w', '--frobnicate'], 'unknown option'), (['--worker'], 'missing value')]
        for budgets in ['', '0', '24,', ',12', 'a', '24;12', '1001']:
            cases.append((['--worker', 'w', '--system', 'a=m,t', '--budgets', budgets], '--budgets'))
        for args, message in cases:
            with self.subTest(args):
                self.assertRaisesRegex(quality.UsageError, message, quality.parse_args, args)

    def test_parts(self):
        self.assertEqual(quality.parts_of(700, 300), [('first 300 titles', 0, 300),
                                                      ('the other 400 titles', 300, 700),
                                                      ('all 700 titles', 0, 700)])
        for split in (0, 5, 9):
            self.assertEqual(quality.parts_of(5, split), [('all 5 titles', 0, 5)])

    def test_peer_lines(self):
        self.assertEqual(quality.parse_peer_lines(['{"tfidf": ["耳机", "蓝牙"], "textrank": []}',
                                                   '{"tfidf": [], "textrank": ["猫砂"]}']),
                         [('tfidf', [['耳机', '蓝牙'], []]), ('textrank', [[], ['猫砂']])])
        for lines in [['{"tfidf": []}', '[]'], ['{"tfidf": []}', '{"tfidf": [], "textrank": []}'],
                      ['{"tfidf": [1]}']]:
            with self.subTest(lines):
                with self.assertRaisesRegex(ValueError, f'peer line {len(lines)}: '):
                    quality.parse_peer_lines(lines)


def two_systems():
    high = dict(zip(scoring.FIGURES, (0.75, 0.5, 0.25, 0.875, 0.125)))
    low = dict(zip(scoring.FIGURES, (0.5, 0.25, 0.125, 0.5, 0.0625)))
    return [('demo', [high, low]), ('first <chars>', [low, high])]


class Report(unittest.TestCase):
    def test_table(self):
        self.assertEqual(quality.markdown_table([24, 12], two_systems()),
                         '| system | core@1 24 / 12 | core 24 / 12 | core+useful 24 / 12 | precision 24 / 12 '
                         '| noise 24 / 12 |\n'
                         '|---|---|---|---|---|---|\n'
                         '| demo | 0.750 / 0.500 | 0.500 / 0.250 | 0.250 / 0.125 | 0.875 / 0.500 '
                         '| 0.125 / 0.062 |\n'
                         '| first <chars> | 0.500 / 0.750 | 0.250 / 0.500 | 0.125 / 0.250 | 0.500 / 0.875 '
                         '| 0.062 / 0.125 |\n')

    def test_chart_has_core_and_noise_bars_per_system_and_budget(self):
        svg = quality_chart.core_and_noise_svg([24, 12], two_systems(), 'all 2 titles')
        self.assertEqual(svg.count('<rect x='), 2 * 4 + 4, 'four bars per system and four legend boxes')
        self.assertIn('first &lt;chars&gt;', svg)
        self.assertIn('>noise at 12<', svg)
        self.assertIn('>0.06<', svg, 'noise at 12 of the first system')
        with self.assertRaises(ValueError):
            quality_chart.grouped_bar_chart_svg('t', 'share', ['a'], [('x', [0.1, 0.2], '#000')])

    def test_long_labels_grow_the_chart_above_the_legend(self):
        names = [f'system {i} judged by the words it returns' for i in range(7)]
        svg = quality_chart.grouped_bar_chart_svg('t', 'share', names, [('x', [0.5] * 7, '#000')])
        height = int(re.search(r'<svg [^>]*height="(\d+)"', svg).group(1))
        label_bottom = max(int(y) for y in re.findall(r'y="(\d+)" text-anchor="middle">', svg))
        legend = int(re.search(r'<text x="[\d.]+" y="(\d+)">x</text>', svg).group(1))
        self.assertGreater(height, 420)
        self.assertLess(label_bottom + 10, legend)


# The scripted worker: converts by a table of characters, answers every extract of a title with the
# keyword list of its replies file (the --model argument), and only when asked for "detail".
FAKE_WORKER = r'''
import json, sys
replies = json.load(open(sys.argv[sys.argv.index('--model') + 1], encoding='utf-8'))
simple = str.maketrans('單側灣臺貨現貓運', '单侧湾台货现猫运')
sys.stderr.write('ready\n'); sys.stderr.flush()
for line in sys.stdin:
    request = json.loads(line)
    reply = {'id': request['id'], 'ok': True}
    if request['type'] == 'shutdown':
        print(json.dumps(reply), flush=True)
        break
    if request['type'] == 'convert':
        reply['normalized_title'] = request['title'].translate(simple)
    elif request.get('detail') is not True or not isinstance(request.get('max_len'), int):
        reply = {'id': request['id'], 'ok': False, 'error': 'no detail'}
    elif request['title'] not in replies:
        reply = {'id': request['id'], 'ok': False, 'error': 'no reply for this title'}
    else:
        reply['keyword_list'] = replies[request['title']]
    print(json.dumps(reply, ensure_ascii=False), flush=True)
'''

# A phrase over de-duplicated segments (單肩側背包) stands nowhere in its title though its span covers
# 側背包; 臺灣, changed by the back-conversion, is found through the worker's normalisation.
SHOULDER_BAG = scoring.Labels('單肩斜背包 側背包 台灣現貨', ['側背包'], ['台灣'], ['現貨'])
FAKE_REPLIES = {
    LITTER.title: [{'text': '貓砂 10L', 'start': 3, 'end': 9}, {'text': '免運', 'start': 10, 'end': 12}],
    SHOULDER_BAG.title: [{'text': '單肩側背包', 'start': 0, 'end': 9}, {'text': '臺灣', 'start': 10, 'end': 12},
                         {'text': '/', 'start': None, 'end': None}],
}
FAKE_PEERS = [{'tfidf': ['免运', '猫砂', '10L']}, {'tfidf': ['侧背包', '台湾']}]


def write_gold(path, rows):
    with open(path, 'w', encoding='utf-8') as f:
        for r in rows:
            f.write(json.dumps({'title': r.title, 'core': r.core, 'useful': r.useful, 'noise': r.noise},
                               ensure_ascii=False) + '\n')


def run_quality(args):
    done = subprocess.run([PYTHON, os.path.join(QUALITY_DIR, 'quality.py')] + args, capture_output=True,
                          text=True)
    return done.returncode, done.stdout, done.stderr


class ScriptedWorkerRun(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        d = self.dir.name
        self.worker = os.path.join(d, 'worker')
        with open(self.worker, 'w', encoding='utf-8') as f:
            f.write(f'#!{PYTHON}\n' + FAKE_WORKER)
        os.chmod(self.worker, 0o755)
        with open(os.path.join(d, 'replies.json'), 'w', encoding='utf-8') as f:
            json.dump(FAKE_REPLIES, f, ensure_ascii=False)
        with open(os.path.join(d, 'peers.jsonl'), 'w', encoding='utf-8') as f:
            f.write(''.join(json.dumps(p, ensure_ascii=False) + '\n' for p in FAKE_PEERS))

    def run_fake(self, rows, *extra):
        d = self.dir.name
        write_gold(os.path.join(d, 'gold.jsonl'), rows)
        return run_quality(['--worker', self.worker, '--system', f'fake={d}/replies.json,t',
                            '--gold', f'{d}/gold.jsonl'] + list(extra))

    def test_every_system_judged_by_its_words(self):
        d = self.dir.name
        code, out, err = self.run_fake([LITTER, SHOULDER_BAG], '--budgets', '24,4', '--split', '1', '--spans',
                                       '--peers', f'{d}/peers.jsonl', '--json', f'{d}/q.json',
                                       '--svg', f'{d}/q.svg')
        self.assertEqual(code, 0, err)
        with open(os.path.join(d, 'q.json'), encoding='utf-8') as f:
            document = json.load(f)
        self.assertTrue(os.path.getsize(os.path.join(d, 'q.svg')) > 0)
        self.assertEqual([(p['name'], p['titles']) for p in document['parts']],
                         [('first 1 titles', 1), ('the other 1 titles', 1), ('all 2 titles', 2)])
        self.assertIn('the other 1 titles:', out)
        got = {s['name']: s['figures'] for s in document['systems']}
        # Per system, at max_len 24 and 4, on both titles.
        expected = {
            'fake': [five_figures(0.5, 0.5, 0.75, 7 / 9, 0.5)] * 2,
            'fake, by its spans': [five_figures(1, 1, 1, 10 / 17, 0.5)] * 2,
            quality.LEADING: [five_figures(1, 1, 1, 10 / 22, 1), five_figures(0, 0, 0, 1 / 8, 0.5)],
            'jieba TF-IDF': [five_figures(1, 1, 1, 10 / 12, 0.5), five_figures(1, 0.75, 5 / 12, 5 / 7, 0.5)],
        }
        self.assertEqual(list(got), list(expected))
        for name, per_budget in expected.items():
            for budget, want in zip(('24', '4'), per_budget):
                for figure, value in want.items():
                    self.assertAlmostEqual(got[name][budget][figure], value,
                                           msg=f'{name} {figure} at {budget}')
        second = {s['name']: s['figures']['24'] for s in document['parts'][1]['systems']}
        self.assertEqual(second['fake'], five_figures(0, 0, 0.5, 1, 0))

    def test_peers_file_needs_a_line_per_title(self):
        code, _, err = self.run_fake([LITTER], '--peers', f'{self.dir.name}/peers.jsonl')
        self.assertEqual(code, 1)
        self.assertIn('holds 2 lines for 1 titles', err)

    def test_an_error_reply_ends_the_run_naming_the_title(self):
        other = scoring.Labels('無線耳機', ['耳機'], [], [])
        code, out, err = self.run_fake([LITTER, other], '--no-jieba')
        self.assertEqual(code, 1)
        self.assertIn('無線耳機', err)
        self.assertIn('no reply for this title', err)
        self.assertNotIn('|', out)

    def test_default_labels_absent_skips_and_named_ones_must_exist(self):
        out = io.StringIO()
        original, quality.DEFAULT_GOLD = quality.DEFAULT_GOLD, '/no/such/gold.jsonl'
        try:
            with contextlib.redirect_stdout(out):
                self.assertEqual(quality.main(['--worker', 'w', '--system', 'a=m,t']), 0)
        finally:
            quality.DEFAULT_GOLD = original
        self.assertIn('quality benchmark skipped', out.getvalue())
        code, _, err = run_quality(['--worker', 'w', '--system', 'a=m,t', '--gold', '/no/such/gold.jsonl'])
        self.assertEqual(code, 1)
        self.assertIn('/no/such/gold.jsonl', err)


def jieba_installed():
    return subprocess.run([PYTHON, '-c', 'import jieba'], capture_output=True).returncode == 0


class DemoModelRun(unittest.TestCase):
    """The real worker: its convert and "detail" replies as the benchmark reads them."""
    ROWS = [LITTER, SHOULDER_BAG, scoring.Labels('小米 10000mAh 行動電源 快充版 台灣公司貨', ['行動電源', '小米'],
                                                 ['10000mAh', '快充版'], ['台灣公司貨'])]

    def run_on_demo(self, *extra):
        with tempfile.TemporaryDirectory() as d:
            write_gold(os.path.join(d, 'gold.jsonl'), self.ROWS)
            demo = f'{DEMO_DIR}/model.onnx,{DEMO_DIR}/vocab.txt'
            return run_quality(['--worker', WORKER, '--gold', f'{d}/gold.jsonl', '--system', f'a={demo}',
                                '--system', f'b={demo}', '--split', '2'] + list(extra))

    def test_same_model_twice_gives_the_same_figures(self):
        jieba = [] if jieba_installed() else ['--no-jieba']
        with tempfile.TemporaryDirectory() as d:
            code, out, err = self.run_on_demo('--system-arg', 'b=--threads=1', '--json', f'{d}/q.json',
                                              *jieba)
            self.assertEqual(code, 0, err)
            with open(os.path.join(d, 'q.json'), encoding='utf-8') as f:
                document = json.load(f)
        for part in document['parts']:
            by_name = {s['name']: s['figures'] for s in part['systems']}
            self.assertEqual(by_name['a'], by_name['b'])
            for per_budget in by_name.values():
                for value in per_budget['12'].values():
                    self.assertTrue(0 <= value <= 1)
        names = [s['name'] for s in document['systems']]
        self.assertEqual(names[:3], ['a', 'b', quality.LEADING])
        if not jieba:
            self.assertEqual(names[3:], ['jieba TF-IDF', 'jieba TextRank'])
        self.assertIn('| a |', out)

    def test_titles_line_up_where_the_conversion_shortens_them(self):
        located = quality.located_titles([WORKER, '--model', f'{DEMO_DIR}/model.onnx', '--tokenizer',
                                          f'{DEMO_DIR}/vocab.txt'], ['雙記憶體 8G', '無線耳機'])
        self.assertEqual([t.text for t in located], ['双内存 8G', '无线耳机'])
        self.assertEqual(marks(scoring.words_answer(located[0], ['双', '8G'])), 'x....xx')
        self.assertEqual(marks(scoring.words_answer(located[0], ['内存'])), '.xxx...')

    def test_system_arg_reaches_that_worker_alone(self):
        code, _, err = self.run_on_demo('--system-arg', 'b=--no-such-option', '--no-jieba')
        self.assertEqual(code, 1)
        self.assertIn('unsupported argument: --no-such-option', err)
        self.assertIn('the worker on b', err)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
