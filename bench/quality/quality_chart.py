"""The quality benchmark's chart: core@1 and noise per system, one bar per figure and budget, as a
hand-written SVG any browser shows."""
from xml.sax.saxutils import escape

WIDTH, PLOT_HEIGHT = 800, 320
LEFT, RIGHT, TOP = 70, 20, 40
PLOT_WIDTH = WIDTH - LEFT - RIGHT
LINE = 14  # pixels a line of the group labels takes
# Dark for the first budget, light for the next: core@1 in blues, noise in reds.
CORE_COLORS = ('#1f5fa8', '#7fb2e5', '#a9cdf0')
NOISE_COLORS = ('#b2282b', '#ef8a8c', '#f6b9ba')


def _text(value):
    return escape(value, {'"': '&quot;'})


def _y(value):
    return TOP + PLOT_HEIGHT - min(max(value, 0.0), 1.0) * PLOT_HEIGHT


def _wrap(label, width):
    """A label broken at blanks into lines of about `width` characters."""
    lines = ['']
    for word in label.split():
        if lines[-1] and len(lines[-1]) + 1 + len(word) > width:
            lines.append('')
        lines[-1] += (' ' if lines[-1] else '') + word
    return lines


def grouped_bar_chart_svg(title, y_label, groups, series):
    """Bars of every series (name, values per group, colour) side by side within each group, over a
    y axis from 0 to 1, each bar topped by its value; the series names in a row under the plot."""
    for name, values, _ in series:
        if len(values) != len(groups):
            raise ValueError(f'bar series "{name}" has {len(values)} values for {len(groups)} groups')
    group_width = PLOT_WIDTH / max(len(groups), 1)
    # About 7 pixels a character at 12 pixels; the chart grows with the longest label.
    labels = [_wrap(group, max(6, int(group_width / 7))) for group in groups]
    height = TOP + PLOT_HEIGHT + 32 + LINE * max([2] + [len(lines) for lines in labels])
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{height}" '
           'font-family="sans-serif" font-size="12">',
           '<rect width="100%" height="100%" fill="white"/>',
           f'<text x="{WIDTH / 2:g}" y="22" text-anchor="middle" font-size="15">{_text(title)}</text>',
           '<g stroke="#ddd">']
    for tick in range(1, 6):
        y = _y(tick / 5)
        out.append(f'<line x1="{LEFT}" y1="{y:g}" x2="{LEFT + PLOT_WIDTH}" y2="{y:g}"/>')
    out.append('</g>')
    bar_width = group_width * 0.8 / max(len(series), 1)
    for g, lines in enumerate(labels):
        left = LEFT + group_width * (g + 0.1)
        for s, (_, values, color) in enumerate(series):
            x = left + bar_width * s
            top = _y(values[g])
            out.append(f'<rect x="{x:.6g}" y="{top:.6g}" width="{bar_width - 2:.6g}" '
                       f'height="{_y(0) - top:.6g}" fill="{color}"/>')
            out.append(f'<text x="{x + bar_width / 2 - 1:.6g}" y="{top - 3:.6g}" text-anchor="middle" '
                       f'font-size="10">{values[g]:.2f}</text>')
        center = LEFT + group_width * (g + 0.5)
        for n, line in enumerate(lines):
            out.append(f'<text x="{center:.6g}" y="{TOP + PLOT_HEIGHT + 16 + LINE * n}" '
                       f'text-anchor="middle">{_text(line)}</text>')
    out += ['<g stroke="#444">',
            f'<line x1="{LEFT}" y1="{TOP + PLOT_HEIGHT}" x2="{LEFT + PLOT_WIDTH}" y2="{TOP + PLOT_HEIGHT}"/>',
            f'<line x1="{LEFT}" y1="{TOP}" x2="{LEFT}" y2="{TOP + PLOT_HEIGHT}"/>', '</g>']
    for tick in range(6):
        out.append(f'<text x="{LEFT - 6}" y="{_y(tick / 5) + 4:g}" text-anchor="end">{tick / 5:g}</text>')
    middle = TOP + PLOT_HEIGHT / 2
    out.append(f'<text x="16" y="{middle:g}" text-anchor="middle" transform="rotate(-90 16 {middle:g})">'
               f'{_text(y_label)}</text>')
    step = PLOT_WIDTH / max(len(series), 1)
    for s, (name, _, color) in enumerate(series):
        x = LEFT + step * s
        out.append(f'<rect x="{x:.6g}" y="{height - 22}" width="12" height="12" fill="{color}"/>')
        out.append(f'<text x="{x + 18:.6g}" y="{height - 12}">{_text(name)}</text>')
    return '\n'.join(out + ['</svg>']) + '\n'


def core_and_noise_svg(budgets, table, part):
    """core@1 and noise of every system (table: (name, per budget the figures)) at every budget."""
    series = [(f'{figure} at {budget}', [per_budget[b][figure] for _, per_budget in table], colors[b % 3])
              for figure, colors in (('core@1', CORE_COLORS), ('noise', NOISE_COLORS))
              for b, budget in enumerate(budgets)]
    return grouped_bar_chart_svg(f'core@1 (higher is better) and noise (lower is better) per system, {part}',
                                 'share of titles', [name for name, _ in table], series)
