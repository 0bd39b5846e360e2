#!/usr/bin/env python3
"""What a visitor waits for: pages of one folder opened in headless Chromium.

For each folder given, the table page against `tree -H` pages of the same folder (names only,
and with -h -D) and the classic page: bytes, the time until the first rows are drawn, the time
until the page answers input (loaded, laid out, a frame drawn and a task run after it), and
for the table page the first sort by size, 20 filter keystrokes (median and 95th percentile)
and clearing the filter. Each run opens every page once, in turn, each in a fresh tab of one
browser; times are medians over runs, answer_x the median of each run's ratio to the `tree -H`
page of names only.

Chromium is driven over its DevTools pipe (file descriptors 3 and 4, NUL-terminated JSON), so
nothing but Python's standard library is needed.

Usage: bench/browser.py DIRWEAVER WORK_DIR FOLDER... [--runs N]
"""

import json
import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile

TIMEOUT = 300  # seconds a page may take to open before its row says "-"

# Marks when the first rows are on screen: checked at each frame while the page is parsed.
WATCH = """
window.__first = -1;
(function look() {
  const table = document.getElementById('t');
  const drawn = table ? table.tBodies[0] && table.tBodies[0].rows.length > 0
                      : document.getElementsByTagName('a').length >= 10;
  if (drawn) requestAnimationFrame(() => { window.__first = performance.now(); });
  else requestAnimationFrame(look);
})();
"""

ANSWERS = """
new Promise(done => requestAnimationFrame(() => setTimeout(
  () => done([performance.now(), window.__first]))))
"""

# Each step is timed until the layout it causes is done.
SORT = """
(() => {
  const b = document.querySelector('th[data-k="s"] button');
  const s = performance.now(); b.click(); document.body.offsetHeight;
  return performance.now() - s;
})()
"""

TYPE = """
(v => {
  const q = document.getElementById('q');
  const s = performance.now(); q.value = v; q.dispatchEvent(new Event('input'));
  document.body.offsetHeight;
  return performance.now() - s;
})(%s)
"""

# Twenty keystrokes: typed on (the rows kept narrow), then erased (they widen again).
TYPED = "chapter # 1023"
KEYS = [TYPED[:k] for k in range(1, len(TYPED) + 1)]
KEYS += [TYPED[:k] for k in range(len(TYPED) - 1, len(TYPED) - 7, -1)]


class Browser:
    def __init__(self, program, profile):
        to_browser_r, self._out = os.pipe()
        self._in, from_browser_w = os.pipe()

        def pipes():
            os.dup2(to_browser_r, 3)
            os.dup2(from_browser_w, 4)
            # dup2 onto itself keeps close-on-exec: pipe() may have given 3 already.
            os.set_inheritable(3, True)
            os.set_inheritable(4, True)

        self._proc = subprocess.Popen(
            [program, '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic',
             '--no-first-run', '--disable-background-networking', '--disable-component-update',
             '--disable-sync', '--remote-debugging-pipe', '--user-data-dir=' + profile,
             'about:blank'],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            close_fds=False, preexec_fn=pipes)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self._next = 0
        self._buffer = b''
        self._events = []

    def close(self):
        self._proc.kill()
        self._proc.wait()
        os.close(self._out)
        os.close(self._in)

    def _message(self):
        while b'\0' not in self._buffer:
            if not select.select([self._in], [], [], TIMEOUT)[0]:
                raise RuntimeError(f'no answer in {TIMEOUT} s')
            chunk = os.read(self._in, 1 << 20)
            if not chunk:
                raise RuntimeError('chromium ended')
            self._buffer += chunk
        text, self._buffer = self._buffer.split(b'\0', 1)
        return json.loads(text)

    def call(self, method, session=None, **params):
        self._next += 1
        message = {'id': self._next, 'method': method, 'params': params}
        if session:
            message['sessionId'] = session
        os.write(self._out, json.dumps(message).encode() + b'\0')
        while True:
            m = self._message()
            if m.get('id') == self._next:
                if 'error' in m:
                    raise RuntimeError(f"{method}: {m['error']}")
                return m.get('result', {})
            self._events.append(m)

    def wait_event(self, method, session):
        while True:
            for i, m in enumerate(self._events):
                if m.get('method') == method and m.get('sessionId') == session:
                    del self._events[i]
                    return m
            self._events.append(self._message())

    def evaluate(self, session, expression):
        r = self.call('Runtime.evaluate', session, expression=expression, awaitPromise=True,
                      returnByValue=True, timeout=TIMEOUT * 1000)
        if 'exceptionDetails' in r:
            raise RuntimeError(r['exceptionDetails'].get('text', 'script failed'))
        return r['result']['value']


def measure(browser, path, table):
    """One opening of one page in a fresh tab: its figures, in milliseconds."""
    target = browser.call('Target.createTarget', url='about:blank')['targetId']
    session = browser.call('Target.attachToTarget', targetId=target, flatten=True)['sessionId']
    try:
        browser.call('Page.enable', session)
        browser.call('Emulation.setDeviceMetricsOverride', session, width=1280, height=800,
                     deviceScaleFactor=1, mobile=False)
        browser.call('Page.addScriptToEvaluateOnNewDocument', session, source=WATCH)
        browser.call('Page.navigate', session, url='file://' + path)
        browser.wait_event('Page.loadEventFired', session)
        answers, first = browser.evaluate(session, ANSWERS)
        figures = {'first': first, 'answers': answers}
        if table:
            figures['sort'] = browser.evaluate(session, SORT)
            keys = [browser.evaluate(session, TYPE % json.dumps(k)) for k in KEYS]
            figures['key_median'] = statistics.median(keys)
            figures['key_p95'] = sorted(keys)[round(0.95 * (len(keys) - 1))]
            figures['clear'] = browser.evaluate(session, TYPE % '""')
        return figures
    finally:
        browser.call('Target.closeTarget', targetId=target)


def classic_page(work, n):
    return os.path.join(work, f'browser-{n}-classic.htm')


def pages(dirweaver, work, folder):
    """The pages of one folder: (label, path, is the table page)."""
    n = len(os.listdir(folder))
    made = []
    for style in ('table', 'classic'):
        path = os.path.join(work, f'browser-{n}-{style}.htm')
        subprocess.run([dirweaver, '--write', path, '--style', style, folder], check=True,
                       stderr=subprocess.DEVNULL)
        # A classic page of a million files is 300 MB that Chromium lays out for minutes with
        # gigabytes: only its bytes are given.
        made.append((style, path if style == 'table' or n <= 100000 else None, style == 'table'))
    if shutil.which('tree'):
        for label, extra in (('tree-H', []), ('tree-H-hD', ['-h', '-D'])):
            path = os.path.join(work, f'browser-{n}-{label}.htm')
            subprocess.run(['tree', '-H', '.', '-L', '1', *extra, '-o', path], cwd=folder,
                           check=True)
            made.append((label, path, False))
    return n, made


def main():
    args = sys.argv[1:]
    runs = 3
    if '--runs' in args:
        i = args.index('--runs')
        runs = int(args[i + 1])
        del args[i:i + 2]
    if len(args) < 3:
        sys.exit(__doc__)
    dirweaver, work, folders = args[0], args[1], args[2:]
    program = shutil.which('chromium')
    if not program:
        print('chromium is not installed (./dev.sh test installs it): no browser figures')
        return
    if not shutil.which('tree'):
        print('tree is not installed: no tree -H pages to compare with')
    columns = ('first', 'answers', 'sort', 'key_median', 'key_p95', 'clear')
    print(f"\n{'files':>8} {'page':>10} {'bytes':>11} {'size_x':>6} {'first_ms':>8} "
          f"{'answer_ms':>9} {'answer_x':>8} {'sort_ms':>7} {'key_med':>7} {'key_p95':>7} "
          f"{'clear_ms':>8}")
    with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as profile:
        browser = Browser(program, profile)
        try:
            for folder in folders:
                n, made = pages(dirweaver, work, folder)
                classic_bytes = os.path.getsize(classic_page(work, n))
                # Runs alternate the pages (A B C D A B C D ...), so that each run's pages
                # see the same machine, and a ratio is the median of the runs' ratios.
                got = {label: [] for label, _, _ in made}
                for _ in range(runs):
                    for label, path, table in made:
                        if path is None:
                            continue
                        try:
                            got[label].append(measure(browser, path, table))
                        except RuntimeError as e:
                            got[label].append(None)
                            print(f'{label}: {e}', file=sys.stderr)
                results = {label: {c: statistics.median(g[c] for g in runs_ if g)
                                   for c in columns
                                   if any(g and c in g for g in runs_)}
                           for label, runs_ in got.items()}
                ratios = {label: [g['answers'] / t['answers']
                                  for g, t in zip(runs_, got.get('tree-H', [])) if g and t]
                          for label, runs_ in got.items()}
                for label, path, _ in made:
                    r = results[label]
                    size = os.path.getsize(path or classic_page(work, n))

                    def cell(c, width):
                        return f'{r[c]:{width}.0f}' if c in r else f"{'-':>{width}}"
                    ratio = (f"{statistics.median(ratios[label]):8.2f}" if ratios[label]
                             else f"{'-':>8}")
                    print(f"{n:8d} {label:>10} {size:11d} {size / classic_bytes:6.2f} "
                          f"{cell('first', 8)} {cell('answers', 9)} {ratio} {cell('sort', 7)} "
                          f"{cell('key_median', 7)} {cell('key_p95', 7)} {cell('clear', 8)}",
                          flush=True)
        finally:
            browser.close()


if __name__ == '__main__':
    main()
