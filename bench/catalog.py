#!/usr/bin/env python3
"""One page for a whole tree: the catalogue against `--tree` and `tree -H`.

For the tree given: the writer's time and peak memory for `--catalog` and for `--tree` (table
pages into every folder), in paired runs; the catalogue's bytes a file against `tree -H`'s one
page of the same tree; then both pages opened in headless Chromium: the time until the first
folder's rows are drawn (for `tree -H`, its first links), the longest script task while the
catalogue opens and builds its index, and 20 search keystrokes (median and 95th percentile);
for `tree -H`, also when it finished loading, if it did within LOAD_CAP seconds.

Usage: bench/catalog.py DIRWEAVER WORK_DIR TREE [--runs N] [--make FOLDERS]
(--make: TREE, when missing, is made of FOLDERS folders of 10 empty files each, in groups of
100 folders.)
"""

import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser  # noqa: E402

WATCH = """
window.__first = -1; window.__long = 0;
try { new PerformanceObserver(l => { for (const e of l.getEntries())
  window.__long = Math.max(window.__long, e.duration); }).observe({entryTypes: ['longtask']});
} catch (e) {}
(function look() {
  const drawn = document.querySelector('#lv .r') ||
                (!document.getElementById('app') && document.getElementsByTagName('a').length >= 10);
  if (drawn) requestAnimationFrame(() => { window.__first = performance.now(); });
  else requestAnimationFrame(look);
})();
"""

# How long a page may take to finish loading before its row says it did not (a tree -H page
# of a million files takes far longer).
LOAD_CAP = 120

TYPE = """
(() => {
  const q = document.getElementById('q'); const s = performance.now();
  q.value = %s; q.dispatchEvent(new Event('input')); document.body.offsetHeight;
  return performance.now() - s;
})()
"""

# What a visitor types: a name's start letter by letter, a mask, then erasing.
KEYS = ['f', 'fi', 'fil', 'file', 'file0', 'file00', 'file001', 'file0012', 'file00123',
        'file0012', 'file001', '*.txt', '*report*', 'rep', 'repo', 'report', 'report.',
        'x', '', '?ile*9_*']


def timed(command):
    """Seconds and peak kilobytes of one run, its own."""
    start = time.monotonic()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = child.stderr.read()
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{command[1]} failed: " + err.decode(errors="replace")[-2000:])
    return time.monotonic() - start, usage.ru_maxrss


def poll(browser, session, expression, cap):
    """Milliseconds into the page when expression turned truthy (its value), None past cap s."""
    start = time.monotonic()
    while time.monotonic() - start < cap:
        value = browser.evaluate(session, f'({expression}) || 0')
        if value:
            return value
        time.sleep(0.05)
    return None


def open_page(browser, path, catalogue):
    target = browser.call('Target.createTarget', url='about:blank')['targetId']
    session = browser.call('Target.attachToTarget', targetId=target, flatten=True)['sessionId']
    try:
        browser.call('Page.enable', session)
        browser.call('Emulation.setDeviceMetricsOverride', session, width=1280, height=800,
                     deviceScaleFactor=1, mobile=False)
        browser.call('Page.addScriptToEvaluateOnNewDocument', session, source=WATCH)
        browser.call('Page.navigate', session, url='file://' + path)
        figures = {'first_ms': round(poll(browser, session,
                                          'window.__first >= 0 && window.__first', 600))}
        loaded = poll(browser, session, "document.readyState == 'complete' && "
                      "performance.getEntriesByType('navigation')[0].loadEventEnd", LOAD_CAP)
        figures['loaded_ms'] = round(loaded) if loaded else f'> {LOAD_CAP} s'
        if catalogue:
            figures['ready_ms'] = round(poll(browser, session,
                                             "document.getElementById('app').dataset.ready && "
                                             "performance.now()", 600))
            keys = [browser.evaluate(session, TYPE % json.dumps(k)) for k in KEYS]
            figures['key_median_ms'] = round(statistics.median(keys), 1)
            figures['key_p95_ms'] = round(sorted(keys)[round(0.95 * (len(keys) - 1))], 1)
            figures['longest_task_ms'] = round(browser.evaluate(session, 'window.__long'))
        return figures
    finally:
        browser.call('Target.closeTarget', targetId=target)


def make_tree(root, folders):
    n = 0
    for group in range(max(folders // 100, 1)):
        for f in range(100):
            folder = os.path.join(root, f'group{group:03d}', f'folder{group * 100 + f:05d}')
            os.makedirs(folder)
            for _ in range(10):
                os.close(os.open(os.path.join(folder, f'file{n:07d}_report.txt'),
                                 os.O_CREAT | os.O_WRONLY, 0o644))
                n += 1


def main():
    args = sys.argv[1:]
    runs = 3
    if '--runs' in args:
        i = args.index('--runs')
        runs = int(args[i + 1])
        del args[i:i + 2]
    make = 0
    if '--make' in args:
        i = args.index('--make')
        make = int(args[i + 1])
        del args[i:i + 2]
    dirweaver, work, tree = (os.path.abspath(a) for a in args)
    if make and not os.path.isdir(tree):
        make_tree(tree + '.part', make)
        os.rename(tree + '.part', tree)
    catalogue = os.path.join(work, 'catalog.htm')
    files = sum(len(f) for _, _, f in os.walk(tree))
    times = {'catalog': [], 'tree': []}
    peaks = {'catalog': 0, 'tree': 0}
    for _ in range(runs):
        for label, command in (('catalog', [dirweaver, '--catalog', catalogue, tree]),
                               ('tree', [dirweaver, '--tree', '--style', 'table', '--name',
                                         'index.htm', '--force', tree])):
            # Each --tree run writes every page anew, as the first run over a tree does.
            subprocess.run(['find', tree, '-name', 'index.htm', '-delete'], check=True)
            seconds, peak = timed(command)
            times[label].append(seconds)
            peaks[label] = max(peaks[label], peak)
    subprocess.run(['find', tree, '-name', 'index.htm', '-delete'], check=True)
    size = os.path.getsize(catalogue)
    result = {'files': files, 'catalog_s': round(statistics.median(times['catalog']), 2),
              'tree_s': round(statistics.median(times['tree']), 2),
              'catalog_peak_mb': round(peaks['catalog'] / 1024, 1),
              'catalog_mb': round(size / 1e6, 1), 'bytes_a_file': round(size / max(files, 1), 1)}
    result['write_x'] = round(result['catalog_s'] / result['tree_s'], 2)
    result['peak_x'] = round(peaks['catalog'] * 1024 / size, 2)
    pages = [('catalog', catalogue, True)]
    if shutil.which('tree'):
        tree_page = os.path.join(work, 'tree-H.htm')
        subprocess.run(['tree', '-H', '.', '-o', tree_page], cwd=tree, check=True,
                       stdout=subprocess.DEVNULL)
        result['tree_H_mb'] = round(os.path.getsize(tree_page) / 1e6, 1)
        result['bytes_x'] = round(size / os.path.getsize(tree_page), 2)
        pages.append(('tree-H', tree_page, False))
    chromium = shutil.which('chromium')
    if chromium:
        with tempfile.TemporaryDirectory() as profile:
            browser = Browser(chromium, profile)
            try:
                opened = {label: [] for label, _, _ in pages}
                for _ in range(runs):
                    for label, path, is_catalogue in pages:
                        opened[label].append(open_page(browser, path, is_catalogue))
            finally:
                browser.close()
        for label, rows in opened.items():
            for key in rows[0]:
                values = [r[key] for r in rows]
                numbers = all(isinstance(v, (int, float)) for v in values)
                result[f'{label}_{key}'] = statistics.median(values) if numbers else values[0]
        if 'tree-H_first_ms' in result:
            result['first_x'] = round(result['catalog_first_ms'] / max(result['tree-H_first_ms'], 1), 3)
    print(json.dumps(result, indent=1))


if __name__ == '__main__':
    main()
