#!/usr/bin/env python3
"""Quality benchmark: the worker's keywords on one or more models beside peers that need no model
(the title's first characters, jieba's TF-IDF and TextRank), judged by the words each returns on
shopper-labelled titles at every budget; a markdown table per part of the labelled file, JSON and
an SVG chart. `--help` for the options; bench/quality/README.md for the figures.
"""
import json
import os
import subprocess
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quality_chart  # noqa: E402  (beside this script)
import scoring  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
# The labelled set beside the clone: ../shared/data/gold of the repository's folder.
DEFAULT_GOLD = os.path.normpath(os.path.join(HERE, '..', '..', '..', 'shared', 'data', 'gold',
                                             'tw_dev.jsonl'))
LARGEST_BUDGET = 1000
LEADING = "the title's first max_len characters"
PEER_NAMES = {'tfidf': 'jieba TF-IDF', 'textrank': 'jieba TextRank'}

USAGE = f"""usage: quality.py --worker FILE --system NAME=MODEL,TOKENIZER [--system ...] [options]
  --worker FILE          the worker executable
  --system NAME=MODEL,TOKENIZER  a model to run the worker on, repeatable; each is one row
  --system-arg NAME=ARG  a worker argument for that system alone, repeatable
                         (e.g. --system-arg 'mine=--jieba-dict-dir=/dicts/mine')
  --worker-arg ARG       a worker argument for every system, repeatable (e.g. --worker-arg=--profile=bge)
  --gold FILE            labelled titles, one JSON object a line (default: {DEFAULT_GOLD};
                         the run is skipped when the default is absent)
  --budgets N,N          max_len budgets (default 24,12)
  --split N              figures on the file's first N titles, on the rest, and on all (default 300)
  --spans                an extra row per worker system judged by its keywords' spans
  --peers FILE           word peers' answers, one JSON object a line per title, each member a
                         peer's words best first (default: run the jieba script)
  --no-jieba             run no jieba peers
  --python FILE          Python 3 with jieba for the jieba script (default /usr/bin/python3)
  --peer-script FILE     the jieba script (default: jieba_peers.py beside this script)
  --svg FILE             write core@1 and noise per system (all titles) as an SVG bar chart
  --json FILE            write every figure as JSON
"""


class UsageError(ValueError):
    pass


class Options:
    def __init__(self):
        self.worker = None
        self.gold = DEFAULT_GOLD
        self.gold_required = False
        self.systems = []  # (name, model, tokenizer)
        self.system_args = []  # (name, worker argument)
        self.worker_args = []
        self.budgets = [24, 12]
        self.split = 300
        self.spans = False
        self.peers = None
        self.jieba = True
        self.python = '/usr/bin/python3'
        self.peer_script = os.path.join(HERE, 'jieba_peers.py')
        self.svg = None
        self.json = None
        self.help = False


def parse_system(text):
    """NAME=MODEL,TOKENIZER: the tokenizer follows the last comma, so a model path may hold commas."""
    name, equals, rest = text.partition('=')
    model, comma, tokenizer = rest.rpartition(',')
    if not (name and equals and model and comma and tokenizer):
        raise UsageError(f'--system: expected NAME=MODEL,TOKENIZER, got: {text}')
    return name, model, tokenizer


def parse_system_arg(text):
    name, equals, arg = text.partition('=')
    if not (name and equals and arg):
        raise UsageError(f'--system-arg: expected NAME=ARG, got: {text}')
    return name, arg


def parse_budgets(text):
    try:
        budgets = [int(item) for item in text.split(',')]
    except ValueError:
        budgets = []
    if not budgets or not all(1 <= b <= LARGEST_BUDGET for b in budgets):
        raise UsageError(f'--budgets: expected numbers from 1 to {LARGEST_BUDGET} separated by commas, '
                         f'got: {text}')
    return budgets


def parse_split(text):
    if not text.isdigit():
        raise UsageError(f'--split: expected a count of titles, got: {text}')
    return int(text)


# An option with a value: the attribute it sets and how the value is read. A list attribute
# gathers every use of its option.
VALUES = {
    '--worker': ('worker', str), '--gold': ('gold', str), '--system': ('systems', parse_system),
    '--system-arg': ('system_args', parse_system_arg), '--worker-arg': ('worker_args', str),
    '--budgets': ('budgets', parse_budgets), '--split': ('split', parse_split), '--peers': ('peers', str),
    '--python': ('python', str), '--peer-script': ('peer_script', str), '--svg': ('svg', str),
    '--json': ('json', str),
}
SWITCHES = {'--help': ('help', True), '-h': ('help', True), '--spans': ('spans', True),
            '--no-jieba': ('jieba', False)}
REPEATABLE = {'--system', '--system-arg', '--worker-arg'}


def parse_args(args):
    """The command line (`--option value` or `--option=value`); UsageError with a message for the user."""
    o = Options()
    i = 0
    while i < len(args):
        option, equals, value = args[i].partition('=')
        if args[i] in SWITCHES:
            setattr(o, *SWITCHES[args[i]])
        elif option in VALUES and (equals or i + 1 < len(args)):
            if not equals:
                i += 1
                value = args[i]
            attribute, read = VALUES[option]
            if option in REPEATABLE:
                getattr(o, attribute).append(read(value))
            else:
                setattr(o, attribute, read(value))
            o.gold_required = o.gold_required or option == '--gold'
        else:
            raise UsageError(f'unknown option or missing value: {args[i]}')
        i += 1
    if o.help:
        return o
    if not o.worker:
        raise UsageError('--worker is required')
    if not o.systems:
        raise UsageError('--system is required (the worker also gives the peers their normalised titles)')
    names = [name for name, _, _ in o.systems]
    if len(set(names)) != len(names):
        raise UsageError('--system: every system needs a name of its own')
    for name, _ in o.system_args:
        if name not in names:
            raise UsageError(f'--system-arg: no --system is named {name}')
    return o


class Worker:
    """One worker process: requests are written by a thread while the replies are read, so a whole
    batch streams through it."""

    def __init__(self, command):
        try:
            self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                            stderr=subprocess.PIPE)
        except OSError as error:
            raise RuntimeError(f'cannot start the worker {command[0]}: {error}') from None
        self.stderr = []
        for line in self.process.stderr:
            text = line.decode('utf-8', 'replace').rstrip('\r\n')
            if text == 'ready':
                break
            self.stderr.append(text)
        else:
            self.fail('the worker never wrote the ready line')
        self.drain = threading.Thread(target=self._drain_stderr, daemon=True)
        self.drain.start()

    def __enter__(self):
        return self

    def __exit__(self, kind, error, trace):
        if kind is not None:
            self.abandon()

    def _drain_stderr(self):
        for line in self.process.stderr:
            self.stderr.append(line.decode('utf-8', 'replace').rstrip('\r\n'))

    def _close(self):
        self.process.wait()
        if hasattr(self, 'drain'):
            self.drain.join(timeout=10)
        for stream in (self.process.stdin, self.process.stdout, self.process.stderr):
            try:
                stream.close()
            except OSError:
                pass  # a request still unwritten to a worker that ended

    def abandon(self):
        if self.process.poll() is None:
            self.process.kill()
        self._close()

    def fail(self, message):
        self.abandon()
        raise RuntimeError(f'{message} (exit code {self.process.returncode}); its standard error:\n'
                           + '\n'.join(self.stderr[-20:]))

    def ask(self, requests):
        """The replies to a batch of request objects, in order; an error reply fails the run."""
        lines = [json.dumps(r, ensure_ascii=False).encode('utf-8') + b'\n' for r in requests]

        def write():
            try:
                for line in lines:
                    self.process.stdin.write(line)
                self.process.stdin.flush()
            except OSError:
                pass  # the worker died: the reader says so

        writer = threading.Thread(target=write, daemon=True)
        writer.start()
        replies = []
        for request in requests:
            line = self.process.stdout.readline()
            if not line:
                self.fail(f'no reply to request {request["id"]}')
            try:
                reply = json.loads(line)
            except ValueError:
                reply = None
            if not isinstance(reply, dict) or reply.get('id') != request['id']:
                self.fail(f'unexpected reply to request {request["id"]}: {line[:200]!r}')
            if reply.get('ok') is not True:
                self.fail(f'the worker answered {json.dumps(request, ensure_ascii=False)} with an error: '
                          f'{reply.get("error")}')
            replies.append(reply)
        writer.join()
        return replies

    def convert(self, texts):
        replies = self.ask([{'id': f'c{i}', 'type': 'convert', 'title': t} for i, t in enumerate(texts)])
        return [r['normalized_title'] for r in replies]

    def shut_down(self):
        self.ask([{'id': 'end', 'type': 'shutdown'}])
        self.process.stdin.close()
        if self.process.wait(timeout=30) != 0:
            self.fail('the worker did not end cleanly')
        self._close()


def worker_titles(worker, titles):
    """Each request title with the worker's normalisation of it, lined up character for character."""
    normalized = worker.convert(titles)
    changed = [i for i, (t, n) in enumerate(zip(titles, normalized)) if len(t) != len(n)]
    # Each character converted alone: only phrase conversions then differ from the normalised title.
    per_char = dict(zip(changed, worker.convert(['\n'.join(titles[i]) for i in changed])))
    return [scoring.Title(t, n, scoring.align(t, n, per_char[i].split('\n') if i in per_char else None))
            for i, (t, n) in enumerate(zip(titles, normalized))]


def located_titles(command, titles):
    """The titles lined up with a worker's normalisation of them, as `scoring.score_answers` takes
    them: `located_titles([WORKER, '--model', MODEL, '--tokenizer', TOKENIZER], titles)`."""
    with Worker(command) as worker:
        located = worker_titles(worker, titles)
        worker.shut_down()
    return located


def keyword_entries(reply):
    entries = reply.get('keyword_list')
    if not isinstance(entries, list):
        raise RuntimeError('extract reply without keyword_list (a worker that does not know "detail"?)')
    return [(e['text'], None if e.get('start') is None or e.get('end') is None else (e['start'], e['end']))
            for e in entries]


def run_worker(command, titles, budgets):
    """The worker's normalised titles, and per budget per title its keywords: (normalised text, span)."""
    with Worker(command) as worker:
        located = worker_titles(worker, titles)
        keywords = []
        for budget in budgets:
            print(f'  {len(titles)} titles at max_len {budget}', file=sys.stderr)
            replies = worker.ask([{'id': f'e{budget}_{i}', 'type': 'extract', 'title': t, 'max_len': budget,
                                   'detail': True} for i, t in enumerate(titles)])
            keywords.append([keyword_entries(r) for r in replies])
        texts = sorted({text for per_budget in keywords for entries in per_budget for text, _ in entries})
        normalized = dict(zip(texts, worker.convert(texts)))
        worker.shut_down()
    return located, [[[(normalized[text], span) for text, span in entries] for entries in per_budget]
                     for per_budget in keywords]


def worker_command(o, name, model, tokenizer):
    args = o.worker_args + [arg for system, arg in o.system_args if system == name]
    # The same replies, tens of milliseconds less a request.
    fast = [] if any(a.startswith('--reuse-converters') for a in args) else ['--reuse-converters']
    return [o.worker, '--model', model, '--tokenizer', tokenizer] + fast + args


def parse_peer_lines(lines):
    """Per peer (in the order of the first line): per title its words, best first."""
    peers, words = None, None
    for number, line in enumerate(lines, 1):
        try:
            row = json.loads(line)
        except ValueError:
            row = None
        if not isinstance(row, dict) or not all(
                isinstance(w, list) and all(isinstance(x, str) for x in w) for w in row.values()):
            raise ValueError(f'peer line {number}: not a JSON object of word arrays')
        if peers is None:
            peers, words = list(row), {p: [] for p in row}
        if list(row) != peers:
            raise ValueError(f'peer line {number}: names other peers than line 1')
        for peer in peers:
            words[peer].append(row[peer])
    return [(peer, words[peer]) for peer in peers or []]


def peer_words(o, normalized_titles):
    if o.peers:
        with open(o.peers, encoding='utf-8') as f:
            lines = [line for line in f if line.strip()]
        if len(lines) != len(normalized_titles):
            raise RuntimeError(f'{o.peers} holds {len(lines)} lines for {len(normalized_titles)} titles')
        return parse_peer_lines(lines)
    if not o.jieba:
        return []
    print(f'jieba TF-IDF and TextRank ({o.peer_script})', file=sys.stderr)
    text = ''.join(json.dumps(t, ensure_ascii=False) + '\n' for t in normalized_titles)
    try:
        done = subprocess.run([o.python, o.peer_script], input=text.encode('utf-8'), capture_output=True)
    except OSError as error:
        raise RuntimeError(f'jieba peers: {error} (--python names another Python 3; --no-jieba runs without '
                           'the jieba peers)') from None
    lines = done.stdout.decode('utf-8').splitlines()
    if done.returncode != 0 or len(lines) != len(normalized_titles):
        raise RuntimeError(f'jieba peers: the script ended with code {done.returncode} after {len(lines)} '
                           f'lines for {len(normalized_titles)} titles (is python3-jieba installed? '
                           f'--no-jieba runs without it); its standard error:\n'
                           + done.stderr.decode('utf-8', 'replace'))
    return parse_peer_lines(lines)


def systems_answers(o, rows):
    """Per system (name, per budget the answer of each title), workers first, then the peers."""
    titles = [r.title for r in rows]
    systems, located = [], None
    for name, model, tokenizer in o.systems:
        print(f'the worker on {name} ({model})', file=sys.stderr)
        this_located, keywords = run_worker(worker_command(o, name, model, tokenizer), titles, o.budgets)
        located = located or this_located
        systems.append((name, [[scoring.words_answer(t, [text for text, _ in entries])
                                for t, entries in zip(this_located, per_title)] for per_title in keywords]))
        if o.spans:
            systems.append((f'{name}, by its spans', [[scoring.spans_answer(t, [s for _, s in entries])
                                                      for t, entries in zip(titles, per_title)]
                                                     for per_title in keywords]))
    systems.append((LEADING, [[scoring.leading_chars_answer(t, b) for t in titles] for b in o.budgets]))
    for peer, words in peer_words(o, [t.text for t in located]):
        systems.append((PEER_NAMES.get(peer, peer),
                        [[scoring.words_answer(t, w, b) for t, w in zip(located, words)] for b in o.budgets]))
    return systems


def parts_of(count, split):
    """(name, first, end) of each part the figures are reported on."""
    if 0 < split < count:
        return [(f'first {split} titles', 0, split), (f'the other {count - split} titles', split, count),
                (f'all {count} titles', 0, count)]
    return [(f'all {count} titles', 0, count)]


def figures_by_part(rows, systems, parts):
    """Per part, per system, per budget: the five figures."""
    return [[(name, [scoring.figures_of(rows[first:end], answers[first:end]) for answers in per_budget])
             for name, per_budget in systems] for _, first, end in parts]


def markdown_table(budgets, table):
    slash = ' / '.join(str(b) for b in budgets)
    lines = ['| system | ' + ' | '.join(f'{f} {slash}' for f in scoring.FIGURES) + ' |',
             '|---|' + '---|' * len(scoring.FIGURES)]
    for name, per_budget in table:
        cells = [' / '.join(f'{figures[f]:.3f}' for figures in per_budget) for f in scoring.FIGURES]
        lines.append(f'| {name} | ' + ' | '.join(cells) + ' |')
    return '\n'.join(lines) + '\n'


def figures_json(o, count, parts, tables):
    def systems(table):
        return [{'name': name, 'figures': {str(b): figures for b, figures in zip(o.budgets, per_budget)}}
                for name, per_budget in table]
    return {'gold': o.gold, 'titles': count, 'budgets': o.budgets, 'systems': systems(tables[-1]),
            'parts': [{'name': name, 'first': first, 'titles': end - first, 'systems': systems(table)}
                      for (name, first, end), table in zip(parts, tables)]}


def run(o):
    if not o.gold_required and not os.path.exists(o.gold):
        print(f'quality benchmark skipped: no labelled titles at {o.gold}')
        return 0
    rows = scoring.load_gold(o.gold)
    systems = systems_answers(o, rows)
    parts = parts_of(len(rows), o.split)
    tables = figures_by_part(rows, systems, parts)
    print(f'{len(rows)} labelled titles of {o.gold}, judged by the words each system returns')
    for (name, _, _), table in zip(parts, tables):
        print(f'\n{name}:\n\n' + markdown_table(o.budgets, table), end='')
    if o.json:
        with open(o.json, 'w', encoding='utf-8') as f:
            json.dump(figures_json(o, len(rows), parts, tables), f, ensure_ascii=False, indent=2)
            f.write('\n')
    if o.svg:
        with open(o.svg, 'w', encoding='utf-8') as f:
            f.write(quality_chart.core_and_noise_svg(o.budgets, tables[-1], parts[-1][0]))
    return 0


def main(args):
    try:
        o = parse_args(args)
        if o.help:
            print(USAGE, end='')
            return 0
        return run(o)
    except UsageError as error:
        print(f'quality.py: {error}\n{USAGE}', end='', file=sys.stderr)
    except (OSError, ValueError, RuntimeError) as error:
        print(f'quality.py: {error}', file=sys.stderr)
    return 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
