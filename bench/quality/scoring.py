"""The five quality figures of keyword answers against shopper-labelled titles.

A system's answer for a title is the set of title characters its words stand on. Its words are taken
in rank order (within the character budget when one is given) and each is located at its first free
occurrence in the title, comparing letters, digits and Han characters only: blanks and symbols are
skipped on both sides, so `50G K4屈臣氏` is found in `50G/K4 屈臣氏`. A word that is not found, or
holds no letter, digit or Han character, counts nothing.

Words are compared with the title the system read: for the worker and the jieba peers, the title as
the worker's `convert` request normalises it (Simplified script). The normalised title mostly has the
request title's characters one for one; where a phrase conversion changed its length (光碟機 to 光驱)
`Title` lines the two up, so an answer is always a set of request-title characters, the characters
the labels are written in.

Importable: `score_answers(gold_rows, words_per_title, budget, titles)` gives the figures of one
system's words (`load_gold(path)` reads the rows); `figures_of(gold_rows, answers)` those of answers
built otherwise.
"""
import difflib
import json

FIGURES = ('core@1', 'core', 'core+useful', 'precision', 'noise')


def is_blank(char):
    return char.isspace()


def is_compared(char):
    """Letters, digits and Han characters take part in locating a word; blanks and symbols do not."""
    return char.isalnum()


class Labels:
    """One labelled title: the terms a shopper types (core, most important first), the terms that
    narrow a search (useful) and the terms nobody searches for (noise), each a substring of it."""

    def __init__(self, title, core, useful, noise):
        self.title, self.core, self.useful, self.noise = title, list(core), list(useful), list(noise)


def parse_labels(line):
    """One JSON line of a labelled file; ValueError naming the fault."""
    try:
        row = json.loads(line)
    except ValueError as error:
        raise ValueError(f'not JSON: {error}') from None
    if not isinstance(row, dict) or not isinstance(row.get('title'), str):
        raise ValueError('not a JSON object with a string "title"')
    terms = {}
    for member in ('core', 'useful', 'noise'):
        value = row.get(member)
        if not isinstance(value, list):
            raise ValueError(f'"{member}" is missing or not an array')
        for term in value:
            if not isinstance(term, str) or not term:
                raise ValueError(f'"{member}" holds something other than a non-empty string')
            if term not in row['title']:
                raise ValueError(f'"{member}" term "{term}" is not in the title')
        terms[member] = value
    if not terms['core']:
        raise ValueError('"core" is empty')
    return Labels(row['title'], terms['core'], terms['useful'], terms['noise'])


def load_gold(path):
    """Every non-blank line of a labelled file; ValueError naming the file and line of a bad one."""
    rows = []
    with open(path, encoding='utf-8') as lines:
        for number, line in enumerate(lines, 1):
            if not line.strip():
                continue
            try:
                rows.append(parse_labels(line))
            except ValueError as error:
                raise ValueError(f'{path}:{number}: {error}') from None
    if not rows:
        raise ValueError(f'no labelled titles in {path}')
    return rows


def align(title, normalized, per_char=None):
    """Per character of `normalized`: the request-title positions it stands for.

    One for one when the lengths agree. Otherwise the two are matched with difflib, best over
    `per_char` (each request character converted alone, so only the phrase conversions differ);
    a changed stretch of another length stands for the whole stretch of request characters it
    replaced."""
    if len(normalized) == len(title):
        return [range(i, i + 1) for i in range(len(title))]
    source, source_of = title, list(range(len(title)))
    if per_char is not None and len(per_char) == len(title):
        source = ''.join(per_char)
        source_of = [i for i, piece in enumerate(per_char) for _ in piece]
    origins = [range(0)] * len(normalized)
    matcher = difflib.SequenceMatcher(None, source, normalized, autojunk=False)
    for tag, a0, a1, b0, b1 in matcher.get_opcodes():
        if tag == 'equal' or a1 - a0 == b1 - b0:
            for k in range(b1 - b0):
                origins[b0 + k] = range(source_of[a0 + k], source_of[a0 + k] + 1)
        elif a1 > a0:
            stretch = range(source_of[a0], source_of[a1 - 1] + 1)
            for j in range(b0, b1):
                origins[j] = stretch
    return origins


class Title:
    """A request title and the text words are compared with (by default the title itself)."""

    def __init__(self, title, normalized=None, origins=None):
        self.title = title
        self.text = title if normalized is None else normalized
        self.origins = origins if origins is not None else align(title, self.text)
        self.compared_at = [i for i, char in enumerate(self.text) if is_compared(char)]
        self.compared = ''.join(self.text[i] for i in self.compared_at)

    def occurrences(self, word):
        """Each place the word stands, as the sorted non-blank request positions it covers: from its
        first compared character to its last, with the symbols at its ends that the title repeats."""
        key = ''.join(char for char in word if is_compared(char))
        if not key:
            return
        at = self.compared.find(key)
        while at >= 0:
            start = self.compared_at[at]
            end = self.compared_at[at + len(key) - 1] + 1
            start, end = self._with_end_symbols(word, start, end)
            positions = {p for j in range(start, end) for p in self.origins[j]}
            yield sorted(p for p in positions if not is_blank(self.title[p]))
            at = self.compared.find(key, at + 1)

    def _with_end_symbols(self, word, start, end):
        core = [i for i, char in enumerate(word) if is_compared(char)]
        lead = [char for char in word[:core[0]] if not is_blank(char)]
        trail = [char for char in word[core[-1] + 1:] if not is_blank(char)]
        for char in reversed(lead):
            if start == 0 or self.text[start - 1] != char:
                break
            start -= 1
        for char in trail:
            if end == len(self.text) or self.text[end] != char:
                break
            end += 1
        return start, end


def words_answer(title, words, budget=None):
    """The request characters the words stand on, in rank order. Each word takes its first
    occurrence whose characters are all still free. With a budget (a peer's words) a word costs its
    non-blank characters, and one that does not fit what is left is skipped; without one (the
    worker's reply, already within its budget) every word is taken."""
    answer = [False] * len(title.title)
    used = 0
    for word in words:
        cost = sum(1 for char in word if not is_blank(char))
        if budget is not None and used + cost > budget:
            continue
        for positions in title.occurrences(word):
            if not any(answer[p] for p in positions):
                for p in positions:
                    answer[p] = True
                used += cost
                break
    return answer


def leading_chars_answer(title, max_len):
    """The title's first max_len non-blank characters."""
    answer = [False] * len(title)
    taken = 0
    for i, char in enumerate(title):
        if taken == max_len:
            break
        if not is_blank(char):
            answer[i] = True
            taken += 1
    return answer


def spans_answer(title, spans):
    """The non-blank request characters inside [start, end) spans; None (an unmapped span) adds nothing."""
    answer = [False] * len(title)
    for span in spans:
        if span is None:
            continue
        start, end = span
        if not 0 <= start <= end <= len(title):
            raise ValueError(f'keyword span [{start}, {end}) does not lie in the title of {len(title)} '
                             'characters')
        for i in range(start, end):
            answer[i] = not is_blank(title[i])
    return answer


def _starts(title, term):
    at = title.find(term)
    while at >= 0:
        yield at
        at = title.find(term, at + 1)


def is_covered(title, term, answer):
    """True when one occurrence of the term has every non-blank character in the answer."""
    return any(all(answer[i] or is_blank(title[i]) for i in range(s, s + len(term)))
               for s in _starts(title, term))


def _term_chars(title, terms):
    inside = [False] * len(title)
    for term in terms:
        for s in _starts(title, term):
            inside[s:s + len(term)] = [True] * len(term)
    return inside


def score_title(labels, answer):
    """What one answer scores on its title: (first core covered, core share, core+useful share,
    answer characters, answer characters in a core or useful term, touches noise)."""
    title = labels.title
    if len(answer) != len(title):
        raise ValueError('the answer and the title differ in length')

    def share(terms):
        return sum(is_covered(title, term, answer) for term in terms) / len(terms) if terms else 0.0

    labelled = _term_chars(title, labels.core + labels.useful)
    noise = _term_chars(title, labels.noise)
    chosen = [i for i, char in enumerate(title) if answer[i] and not is_blank(char)]
    return (is_covered(title, labels.core[0], answer), share(labels.core), share(labels.core + labels.useful),
            len(chosen), sum(labelled[i] for i in chosen), any(noise[i] for i in chosen))


def sum_up(scores):
    """The five figures over titles: shares and means over titles, precision pooled over characters."""
    n = len(scores) or 1
    chars = sum(s[3] for s in scores)
    return {
        'core@1': sum(s[0] for s in scores) / n,
        'core': sum(s[1] for s in scores) / n,
        'core+useful': sum(s[2] for s in scores) / n,
        'precision': sum(s[4] for s in scores) / chars if chars else 0.0,
        'noise': sum(s[5] for s in scores) / n,
    }


def figures_of(gold_rows, answers):
    """The figures of one answer per labelled title."""
    if len(answers) != len(gold_rows):
        raise ValueError(f'{len(answers)} answers for {len(gold_rows)} labelled titles')
    return sum_up([score_title(labels, answer) for labels, answer in zip(gold_rows, answers)])


def score_answers(gold_rows, words_per_title, budget=None, titles=None):
    """The figures of one system's words (best first, per labelled title). `titles`: per title the
    text its words were chosen from, by default the title itself. A normalised title (a string) is
    lined up with its title by difflib alone where the conversion changed its length; the `Title`s
    of `quality.located_titles` are lined up through the worker, as the benchmark's are."""
    if titles is None:
        titles = [None] * len(gold_rows)
    located = [t if isinstance(t, Title) else Title(labels.title, t) for labels, t in zip(gold_rows, titles)]
    answers = [words_answer(title, words, budget) for title, words in zip(located, words_per_title)]
    return figures_of(gold_rows, answers)
