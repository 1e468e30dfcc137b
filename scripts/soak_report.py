#!/usr/bin/env python3
"""What a soak run (scripts/soak.sh) shows: reads the soak server's log,
the rows the driver wrote after each batch, its figures and the download
folder, and prints the figures the run is judged by.

Usage: soak_report.py TITLE WORKDIR FOLDER ITEMDIR
  WORKDIR holds server.log, driver.txt and batchN.tsv; FOLDER is the
  download folder, ITEMDIR the folder (inside it) the items are saved in.
"""
import glob
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'servers'))
import soak_server  # noqa: E402

DONE = '完了'
ERROR = 'ｴﾗｰ'
TEMPORARY = ('.kstpart', '.kstinfo', '.kstnew')


def read_log(path):
    requests, marks = [], {}
    with open(path) as f:
        for line in f:
            fields = line.rstrip('\n').split('\t')
            if fields[0] == 'mark':
                marks[fields[2]] = float(fields[1])
                continue
            requests.append({
                'time': float(fields[0]), 'item': fields[1], 'hop': int(fields[2]), 'range': fields[3],
                'answer': fields[4], 'status': int(fields[5]), 'sent': int(fields[6]),
                'whole': fields[7] == '1',
            })
    requests.sort(key=lambda r: r['time'])
    return requests, marks


def read_rows(path):
    rows = []
    with open(path, 'rb') as f:
        for line in f.read().decode('cp932').splitlines():
            url, state, reason = (line.split('\t') + ['', ''])[:3]
            rows.append((url, state, reason))
    return rows


def item_of(url):
    """The server's item path of a row's URL."""
    path = url.split('://', 1)[1]
    return path[path.index('/'):].split('?')[0]


def expected_state(last):
    """What the item's row must say after the last answer its URL got."""
    if last is None:
        return None
    if last['whole'] and last['status'] in (200, 206):
        return DONE
    return ERROR


def temporary_files(folder):
    return [p for p in glob.glob(os.path.join(folder, '**', '*'), recursive=True)
            if p.endswith(TEMPORARY)]


def check_batch(n, rows, requests, marks, itemdir):
    begin, end = marks['batch%d-start' % n], marks['batch%d-end' % n]
    last = {}
    asked = {}
    for r in requests:
        if begin <= r['time'] <= end:
            last[r['item']] = r
            asked[r['item']] = asked.get(r['item'], 0) + 1
    final = mismatches = unasked = 0
    examples = []
    for url, state, reason in rows:
        item = item_of(url)
        if state in (DONE, ERROR):
            final += 1
        want = expected_state(last.get(item))
        if want is None:
            unasked += 1
            continue
        if state != want:
            mismatches += 1
            if len(examples) < 5:
                lr = last[item]
                examples.append('%s: row "%s" (%s), last answer %s %d%s' % (
                    item, state, reason, lr['answer'], lr['status'], '' if lr['whole'] else ' not whole'))
    differ = missing = 0
    for url, state, _ in rows:
        number = int(os.path.basename(item_of(url))[1:].split('.')[0])
        path = os.path.join(itemdir, os.path.basename(item_of(url)))
        if not os.path.exists(path):
            missing += state == DONE
            continue
        with open(path, 'rb') as f:
            if f.read() != soak_server.item_body(number):
                differ += 1
    answers = {}
    for r in requests:
        if begin <= r['time'] <= end:
            answers[r['answer']] = answers.get(r['answer'], 0) + 1
    resumed = sum(1 for r in requests if begin <= r['time'] <= end and r['range'] != '-')
    return {
        'rows': len(rows), 'final': final, 'mismatches': mismatches, 'unasked': unasked,
        'examples': examples, 'differ': differ, 'missing': missing, 'answers': answers,
        'requests': sum(answers.values()), 'resumed': resumed,
        'done': sum(1 for _, s, _ in rows if s == DONE),
    }


def main():
    title, work, folder, itemdir = sys.argv[1:5]
    soak_server.BASE = soak_server.make_base()
    requests, marks = read_log(os.path.join(work, 'server.log'))
    figures = {}
    with open(os.path.join(work, 'driver.txt')) as f:
        for line in f:
            key, _, value = line.strip().partition('=')
            figures[key] = value
    print('== %s' % title)
    n = 1
    while os.path.exists(os.path.join(work, 'batch%d.tsv' % n)):
        result = check_batch(n, read_rows(os.path.join(work, 'batch%d.tsv' % n)), requests, marks, itemdir)
        print('  batch %d: %d requests (%d with Range), %s s' % (
            n, result['requests'], result['resumed'], figures.get('batch%d_s' % n, '?')[:6]))
        print('    answers drawn: %s' % ', '.join('%s %d' % kv for kv in sorted(result['answers'].items())))
        print('    items final:            %d of %d (%d completed)' % (result['final'], result['rows'],
                                                                      result['done']))
        print('    state mismatches:       %d (items never asked: %d)' % (result['mismatches'],
                                                                        result['unasked']))
        for example in result['examples']:
            print('      ' + example)
        print('    files whose bytes differ: %d (completed items without a file: %d)' % (
            result['differ'], result['missing']))
        n += 1
    if 'window_gone_unix' in figures:
        gone = float(figures['window_gone_unix'])
        after = [r for r in requests if r['time'] > gone]
        print('  closed %.1f s into the last batch (%s): process ended %.3f s after the close' % (
            float(figures['close_into_batch_s']),
            'running' if figures.get('close_batch_running') == '1' else 'it had ended',
            float(figures['exit_s'])))
        print('    requests after the window was gone: %d' % len(after))
    left = temporary_files(folder)
    print('  temporary files left at the end: %d' % len(left))
    for path in left[:5]:
        print('    ' + os.path.relpath(path, folder))
    print('  resident memory: %.1f MiB at the start, %.1f MiB in the middle, %.1f MiB at the end' % (
        float(figures['rss_start_mib']), float(figures['rss_middle_mib']), float(figures['rss_end_mib'])))
    print('  longest wait for the window to answer: %.0f ms (batch %s; %s of %s pings took 100 ms or more)' % (
        float(figures['longest_gap_ms']), figures['longest_gap_batch'], figures['gaps_over_100ms'],
        figures['pings']))


if __name__ == '__main__':
    main()
