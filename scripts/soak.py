#!/usr/bin/env python3
"""Soak run: the real client on a 16-channel wall for a long time, with faults.

Four devsim recorders of 4 channels each (P2P, found by discovery on a private
port, so a recorder restarted on another port is found again), the client with
all 16 channels live (--live), the first one recorded (--record), and its
stream counters in a stats file (--stats). Every 20-60 s one recorder suffers
a fault chosen at random:

  kill     SIGKILL, restarted 2-5 s later on a new port (same key)
  stop     SIGSTOP for 5-15 s, then SIGCONT
  drop     restarted with --drop-after 5 (sessions cut) for 15 s, then restarted plainly
  corrupt  restarted with --corrupt-frame for 15 s, then restarted plainly

A fault's recovery time runs from its end (the last restart or SIGCONT) to the
first decoded picture of every channel of that recorder (to within the stats
file's second). Every minute a row
gives the client's RSS, its anonymous part (RSS less mapped files such as
libraries' code), its heap in use (glibc; the client's --stats file),
open descriptors, threads, decoded pictures per second,
channels live (a picture in the last 5 s) against channels wanted, faults so
far, the longest recovery so far and whether the recording file reads
(ffprobe). The summary gives the first and last rows, RSS growth after the
first 5 minutes, the descriptors' range, threads before each fault and 60 s
after its recovery, and the worst recovery.

  scripts/soak.sh DURATION [--build DIR] [--sequence N] [--keep DIR]
  (DURATION: 30m, 1800s, 2h, or minutes)
"""

import argparse
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

DEVICES = 4
CHANNELS = 4
FAULTS = ('kill', 'stop', 'drop', 'corrupt')
RECOVERY_LIMIT_S = 120


def parse_duration(text):
    units = {'s': 1, 'm': 60, 'h': 3600}
    if text[-1] in units:
        return float(text[:-1]) * units[text[-1]]
    return float(text) * 60


def proc_status(pid):
    out = {}
    try:
        with open('/proc/%d/status' % pid) as f:
            for line in f:
                key, _, value = line.partition(':')
                out[key] = value.strip()
        out['fds'] = len(os.listdir('/proc/%d/fd' % pid))
    except OSError:
        return None
    return out


class Device:
    def __init__(self, run, index):
        self.run = run
        self.uid = 'SOAK%016d' % (index + 1)
        self.proc = None
        self.log = None

    def start(self, extra=()):
        self.stop()
        self.log = open(os.path.join(self.run.work, '%s.log' % self.uid), 'a')
        args = [self.run.devsim, '--uid', self.uid, '--name', self.uid, '--type', '2',
                '--channels', str(CHANNELS), '--hd', '640x360', '--sd', '640x360', '--fps', '25',
                '--shared-stream', '--port', '0', '--wsd-port', '0',
                '--state-dir', os.path.join(self.run.work, 'state')] + list(extra)
        self.proc = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT,
                                     env=self.run.env)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGCONT)
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None

    def channels(self):
        return ['%s:%d' % (self.uid, c + 1) for c in range(CHANNELS)]


class Soak:
    def __init__(self, args):
        self.args = args
        self.duration = parse_duration(args.duration)
        self.rng = random.Random(args.sequence)
        self.work = tempfile.mkdtemp(prefix='soak.')
        self.devsim = os.path.join(args.build, 'devsim', 'devsim')
        self.client_bin = os.path.join(args.build, 'client', 'orvane')
        self.setup_bin = os.path.join(args.build, 'client', 'orvane-demo-setup')
        home = os.path.join(self.work, 'home')
        os.makedirs(os.path.join(self.work, 'state'))
        self.env = dict(os.environ)
        self.env.update({
            'HOME': home,
            'XDG_CONFIG_HOME': os.path.join(home, 'config'),
            'XDG_DATA_HOME': os.path.join(home, 'data'),
            'XDG_CACHE_HOME': os.path.join(home, 'cache'),
            'ORVANE_P2P_DISCOVERY_PORT': str(40000 + self.rng.randrange(20000)),
        })
        self.env.pop('ORVANE_P2P_PEERS', None)
        for d in ('config', 'data', 'cache', 'Documents'):
            os.makedirs(os.path.join(home, d), exist_ok=True)
        self.stats_path = os.path.join(self.work, 'stats.txt')
        self.devices = [Device(self, i) for i in range(DEVICES)]
        self.xvfb = None
        self.client = None
        self.rows = []
        self.recoveries = []  # (kind, uid, seconds or None, threads before, threads after)
        self.history = []     # (time, {channel: decoded})
        self.pending = []     # (when, recovery index): threads to count then

    # ---- processes ----------------------------------------------------------

    def start_display(self):
        r, w = os.pipe()
        log = open(os.path.join(self.work, 'xvfb.log'), 'w')
        self.xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(w), '-screen', '0',
                                      '1280x800x24', '-nolisten', 'tcp'],
                                     pass_fds=(w,), stdout=log, stderr=subprocess.STDOUT)
        os.close(w)
        # Read up to the newline, and keep the pipe open: Xvfb may write the
        # number and the newline apart, and a closed pipe is fatal to it.
        text = b''
        while not text.endswith(b'\n'):
            chunk = os.read(r, 32)
            if not chunk:
                break
            text += chunk
        self.display_pipe = r
        number = text.decode().strip()
        socket = '/tmp/.X11-unix/X' + number
        for _ in range(100):
            if os.path.exists(socket) or self.xvfb.poll() is not None:
                break
            time.sleep(0.05)
        if not number or self.xvfb.poll() is not None:
            sys.exit('Xvfb did not start (see %s)' % log.name)
        self.env['DISPLAY'] = ':' + number

    def start_client(self):
        devices = [{'uid': d.uid, 'name': d.uid, 'type': 2, 'channels': CHANNELS,
                    'account': 'admin', 'password': '123456'} for d in self.devices]
        path = os.path.join(self.work, 'devices.json')
        with open(path, 'w') as f:
            json.dump(devices, f)
        subprocess.run([self.setup_bin, path], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        live = ','.join(c for d in self.devices for c in d.channels())
        self.client_log = open(os.path.join(self.work, 'client.log'), 'w')
        self.client = subprocess.Popen([self.client_bin, '--local', '--live', live, '--record',
                                        '--stats', self.stats_path],
                                       stdout=self.client_log, stderr=subprocess.STDOUT,
                                       env=self.env)

    def stop_all(self):
        if self.client and self.client.poll() is None:
            self.client.terminate()
            try:
                self.client.wait(10)
            except subprocess.TimeoutExpired:
                self.client.kill()
        for d in self.devices:
            d.stop()
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()

    # ---- figures ------------------------------------------------------------

    def read_stats(self, with_time=False):
        out = {}
        written = 0.0
        try:
            with open(self.stats_path) as f:
                for line in f:
                    p = line.split()
                    if p and p[0] == 'time' and len(p) == 2:
                        written = int(p[1]) / 1000.0
                    if p and p[0] == 'channel' and len(p) >= 10:
                        out[p[1]] = int(p[7])  # decoded
                    if p and p[0] == 'heap' and len(p) == 5:
                        self.heap_used = int(p[2]) / (1024 * 1024)
                        self.heap_kept = int(p[4]) / (1024 * 1024)
        except (OSError, ValueError):
            pass
        return (written, out) if with_time else out

    def sample(self):
        """Keeps the decoded counts of the last minutes, one sample a second at most."""
        now = time.time()
        if self.history and now - self.history[-1][0] < 1.0:
            return self.history[-1][1]
        counts = self.read_stats()
        self.history.append((now, counts))
        self.history = [h for h in self.history if now - h[0] <= 70]
        return counts

    def counts_ago(self, seconds):
        now = time.time()
        for t, counts in self.history:
            if now - t <= seconds:
                return t, counts
        return self.history[0] if self.history else (now, {})

    def recording_ok(self):
        found = []
        for root, _, files in os.walk(os.path.join(self.work, 'home')):
            found += [os.path.join(root, f) for f in files if f.endswith('.mp4')]
        if not found:
            return 'none'
        newest = max(found, key=os.path.getmtime)
        r = subprocess.run(['ffprobe', '-v', 'error', '-show_entries', 'format=duration',
                            '-of', 'csv=p=0', newest], capture_output=True, text=True)
        ok = r.returncode == 0 and r.stdout.strip() not in ('', 'N/A')
        return '%s(%d)' % ('ok' if ok else 'BAD', len(found))

    def row(self, start):
        st = proc_status(self.client.pid) or {}
        counts = self.sample()
        t0, before = self.counts_ago(60)
        span = max(1.0, time.time() - t0)
        decoded = sum(counts.values()) - sum(before.get(k, 0) for k in counts)
        _, recent = self.counts_ago(5)
        live = sum(1 for k, v in counts.items() if v > recent.get(k, 0))
        worst = max([r[2] for r in self.recoveries if r[2] is not None], default=0.0)
        failed = sum(1 for r in self.recoveries if r[2] is None)
        row = {
            'min': (time.time() - start) / 60,
            'rss': int(st.get('VmRSS', '0 kB').split()[0]) / 1024,
            'anon': int(st.get('RssAnon', '0 kB').split()[0]) / 1024,
            'heap': getattr(self, 'heap_used', 0.0),
            'kept': getattr(self, 'heap_kept', 0.0),
            'fds': st.get('fds', 0),
            'threads': int(st.get('Threads', 0)),
            'fps': decoded / span,
            'live': live,
            'wanted': DEVICES * CHANNELS,
            'faults': len(self.recoveries),
            'worst': worst,
            'failed': failed,
            'rec': self.recording_ok(),
        }
        self.rows.append(row)
        print(self.format_row(row), flush=True)

    @staticmethod
    def header():
        return '%6s %8s %9s %9s %5s %7s %8s %9s %6s %9s %10s' % (
            'min', 'RSS MiB', 'anon MiB', 'heap MiB', 'fds', 'threads', 'fps', 'live', 'faults', 'worst s',
            'recording')

    @staticmethod
    def format_row(r):
        worst = '%.1f' % r['worst'] + ('' if not r['failed'] else ' +%d!' % r['failed'])
        return '%6.1f %8.1f %9.1f %9.1f %5s %7d %8.1f %4d/%-4d %6d %9s %10s' % (
            r['min'], r['rss'], r['anon'], r['heap'], r['fds'], r['threads'], r['fps'], r['live'], r['wanted'],
            r['faults'], worst, r['rec'])

    # ---- faults -------------------------------------------------------------

    def wait(self, seconds, start, next_row):
        end = time.time() + seconds
        while time.time() < end:
            self.sample()
            while self.pending and self.pending[0][0] <= time.time():
                _, i = self.pending.pop(0)
                self.recoveries[i][4] = int((proc_status(self.client.pid) or {}).get('Threads', 0))
            if time.time() >= next_row[0]:
                self.row(start)
                next_row[0] += 60
            time.sleep(0.25)

    def fault(self, start, next_row):
        d = self.rng.choice(self.devices)
        kind = self.rng.choice(FAULTS)
        threads_before = int((proc_status(self.client.pid) or {}).get('Threads', 0))
        print('# %5.1f min: %s %s' % ((time.time() - start) / 60, kind, d.uid), flush=True)
        if kind == 'kill':
            d.proc.kill()
            d.proc.wait()
            self.wait(self.rng.uniform(2, 5), start, next_row)
            d.start()
        elif kind == 'stop':
            d.proc.send_signal(signal.SIGSTOP)
            self.wait(self.rng.uniform(5, 15), start, next_row)
            d.proc.send_signal(signal.SIGCONT)
        else:
            d.start(['--drop-after', '5'] if kind == 'drop' else ['--corrupt-frame'])
            self.wait(15, start, next_row)
            d.start()
        ended = time.time()
        # The counts of the first stats file written after the fault's end
        # (the client rewrites it once a second: recoveries are exact to 1 s).
        while True:
            written, base = self.read_stats(with_time=True)
            if written >= ended or time.time() - ended > 3:
                break
            time.sleep(0.05)
        base = {c: base.get(c, 0) for c in d.channels()}
        recovered = None
        while time.time() - ended < RECOVERY_LIMIT_S:
            self.wait(0.25, start, next_row)
            counts = self.sample()
            if all(counts.get(c, 0) > base[c] for c in base):
                recovered = time.time() - ended
                break
        print('#        recovered in %s' % ('%.1f s' % recovered if recovered is not None
                                             else 'NOT within %d s' % RECOVERY_LIMIT_S),
              flush=True)
        # Threads are counted again 60 s after the recovery (idle pool threads expire).
        self.recoveries.append([kind, d.uid, recovered, threads_before, None])
        self.pending.append((time.time() + 60, len(self.recoveries) - 1))

    # ---- the run --------------------------------------------------------------

    def run(self):
        for tool in ('Xvfb', 'ffprobe'):
            if not shutil.which(tool):
                sys.exit('missing %s: run scripts/install-bench-deps.sh' % tool)
        for b in (self.devsim, self.client_bin, self.setup_bin):
            if not os.access(b, os.X_OK):
                sys.exit('missing %s: build it first' % b)
        self.start_display()
        for d in self.devices:
            d.start()
        time.sleep(1)
        self.start_client()
        start = time.time()
        print('soak: %d recorders x %d channels, 640x360 25 fps, %.0f min, fault sequence %s, work %s'
              % (DEVICES, CHANNELS, self.duration / 60, self.args.sequence, self.work), flush=True)
        print(self.header(), flush=True)
        next_row = [start + 60]
        self.wait(self.rng.uniform(20, 60), start, next_row)
        while time.time() - start < self.duration and self.client.poll() is None:
            self.fault(start, next_row)
            self.wait(self.rng.uniform(20, 60), start, next_row)
        self.wait(max(0.0, (self.pending[-1][0] - time.time()) if self.pending else 0.0),
                  start, next_row)
        if self.client.poll() is None:
            self.row(start)
        self.summary()

    def summary(self):
        print('\nsummary')
        if self.client.poll() is not None:
            print('the client ENDED early with status %s' % self.client.returncode)
        if not self.rows:
            return
        print(self.header())
        print(self.format_row(self.rows[0]) + '   (first)')
        print(self.format_row(self.rows[-1]) + '   (last)')
        after5 = [r for r in self.rows if r['min'] >= 5]
        if len(after5) >= 2:
            growth = (after5[-1]['rss'] - after5[0]['rss']) / after5[0]['rss'] * 100
            print('RSS from minute %.0f to %.0f: %.1f -> %.1f MiB (%+.1f %%)'
                  % (after5[0]['min'], after5[-1]['min'], after5[0]['rss'], after5[-1]['rss'],
                     growth))
            print('of which anonymous memory: %.1f -> %.1f MiB (the rest is mapped files: code)'
                  % (after5[0]['anon'], after5[-1]['anon']))
            print('heap in use from minute %.0f to %.0f: %.1f -> %.1f MiB (kept from the system: '
                  '%.1f -> %.1f MiB)' % (after5[0]['min'], after5[-1]['min'], after5[0]['heap'],
                                         after5[-1]['heap'], after5[0]['kept'], after5[-1]['kept']))
        fds = [int(r['fds']) for r in self.rows]
        print('descriptors: %d to %d' % (min(fds), max(fds)))
        done = [r for r in self.recoveries if r[2] is not None]
        print('faults: %d, recovered: %d' % (len(self.recoveries), len(done)))
        for kind, uid, seconds, before, after in self.recoveries:
            print('  %-8s %s  recovery %s  threads %d -> %s (60 s after)'
                  % (kind, uid, '%.1f s' % seconds if seconds is not None else 'NONE',
                     before, after if after is not None else '-'))
        if done:
            worst = max(done, key=lambda r: r[2])
            print('worst recovery: %.1f s (%s %s)' % (worst[2], worst[0], worst[1]))
        bad = [r for r in self.rows if not r['rec'].startswith('ok')]
        print('recording read by ffprobe: %d of %d rows' % (len(self.rows) - len(bad),
                                                             len(self.rows)))


def main():
    p = argparse.ArgumentParser(description='Soak run of the client with faults.')
    p.add_argument('duration')
    p.add_argument('--build', default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                   '..', 'build'))
    p.add_argument("--sequence", type=int, default=int(time.time()),
                   help="the faults and their order (the same number, the same faults)")
    p.add_argument('--keep', default='')
    args = p.parse_args()
    soak = Soak(args)
    try:
        soak.run()
    except KeyboardInterrupt:
        soak.summary()
    finally:
        soak.stop_all()
        if args.keep:
            shutil.copytree(soak.work, args.keep, dirs_exist_ok=True)
        shutil.rmtree(soak.work, ignore_errors=True)


if __name__ == '__main__':
    main()
