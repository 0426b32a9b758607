"""Drives the real Quillet.exe under Wine on a private X display against the
fake sentence service, the way a user would: it clicks the button and looks at
the screen. Run through run-widget-e2e.sh, which sets up the namespaces."""
import argparse
import os
import re
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fake_sentence_service import FakeSentenceService, ServiceState, live_reply, sentence_json  # noqa: E402

SERVICE_HOST = 'v1.hitokoto.cn'
WINDOW_CAPTION = 'Quillet'
WINDOW_POS = (50, 50)           # where the window template puts it (no window manager)
LABEL_RECT = (8, 88, 376, 88)   # client coordinates of the sentence label
BUTTON_RECT = (248, 168, 112, 40)
CLOSE_BUTTON_RECT = (335, 7, 39, 19)  # the title bar's close button
ERROR_BOX_CAPTION = '错误'            # the runtime error box
SOURCE_RECT = (8, 176, 232, 30)  # the source line's strip, left of the button
DEFAULT_HEADERS = [
    ('User-Agent', 'Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)'),
    ('Accept', 'text/html, application/xhtml+xml, */*'),
    ('Accept-Encoding', 'gbk, GB2312'),
    ('Accept-Language', 'zh-cn'),
    ('Cache-Control', 'no-cache'),
]
SETTLE = 1.5  # seconds for button looks and animations to finish

failures = []


def check(ok, what, detail=''):
    print(('ok   ' if ok else 'FAIL ') + what + (('  -- ' + detail) if detail and not ok else ''), flush=True)
    if not ok:
        failures.append(what)
    return ok


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, **kw).stdout


class Widget:
    """One Quillet process; its Wine debug output counts the frames it presents."""

    def __init__(self, exe, log_path, env):
        self.log_path = log_path
        self.env = env
        self.log = open(log_path, 'wb')
        self.proc = subprocess.Popen([env['WINELOADER'], exe], cwd=os.path.dirname(exe), env=env,
                                     stdout=self.log, stderr=self.log, start_new_session=True)
        self.origin = WINDOW_POS

    def presents(self):
        """UpdateLayeredWindow calls so far (Wine's trace of the win channel)."""
        with open(self.log_path, 'rb') as f:
            return len(re.findall(rb'UpdateLayeredWindow', f.read()))

    def wait_for_window(self, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                return False
            out = subprocess.run(['xdotool', 'search', '--name', '^%s$' % WINDOW_CAPTION],
                                 capture_output=True, env=self.env).stdout.split()
            for wid in out:
                geo = subprocess.run(['xdotool', 'getwindowgeometry', wid], capture_output=True,
                                     env=self.env).stdout.decode()
                m = re.search(r'Position: (-?\d+),(-?\d+).*?Geometry: (\d+)x(\d+)', geo, re.S)
                if m and (int(m.group(3)), int(m.group(4))) == (380, 250):
                    self.origin = (int(m.group(1)), int(m.group(2)))
                    return True
            time.sleep(0.3)
        return False

    def shot(self, rect):
        x, y, w, h = rect
        return run(['import', '-silent', '-window', 'root', '-crop',
                    '%dx%d+%d+%d' % (w, h, self.origin[0] + x, self.origin[1] + y), '+repage', '-depth', '8', 'rgb:-'],
                   env=self.env)

    def save_screen(self, path):
        subprocess.run(['import', '-silent', '-window', 'root', path], env=self.env)

    def label(self):
        return self.shot(LABEL_RECT)

    def settled_label(self, timeout=15, differs_from=None):
        """The label area once it stops changing (and differs from `differs_from`, if given)."""
        deadline = time.monotonic() + timeout
        last = self.label()
        while time.monotonic() < deadline:
            time.sleep(0.25)
            now = self.label()
            if now == last and (differs_from is None or now != differs_from):
                return now
            last = now
        return last

    def click(self, rect):
        x, y, w, h = rect
        cx, cy = self.origin[0] + x + w // 2, self.origin[1] + y + h // 2
        run(['xdotool', 'mousemove', str(cx), str(cy)], env=self.env)
        time.sleep(0.2)
        run(['xdotool', 'click', '1'], env=self.env)

    def click_button(self):
        self.click(BUTTON_RECT)

    def wait_exit(self, timeout):
        """The exit code, or None while it still runs."""
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def crashed(self):
        """Wine reports a fault no handler took on the process's own output, even
        when the process then ends with exit code 0 (its main thread exiting
        first)."""
        self.log.flush()
        with open(self.log_path, 'rb') as f:
            return b'wine: Unhandled' in f.read()

    def error_box_shown(self):
        return bool(subprocess.run(['xdotool', 'search', '--name', '^%s$' % ERROR_BOX_CAPTION],
                                   capture_output=True, env=self.env).stdout.split())

    def park_mouse(self):
        run(['xdotool', 'mousemove', '700', '700'], env=self.env)

    def stop(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        self.log.close()


def red_pixels(rgb):
    n = 0
    for i in range(0, len(rgb) - 2, 3):
        r, g, b = rgb[i], rgb[i + 1], rgb[i + 2]
        if r > 150 and r > g + 60 and r > b + 60:
            n += 1
    return n


def dark_pixels(rgb):
    """Pixels at least as dark as the source line's letters; the background
    picture behind the strip is far lighter, even premultiplied over black."""
    return sum(1 for i in range(0, len(rgb) - 2, 3) if max(rgb[i], rgb[i + 1], rgb[i + 2]) < 100)


def changed_pixels(a, b):
    """Pixels of `a` that differ clearly from the same pixel of `b`."""
    return sum(1 for i in range(0, min(len(a), len(b)) - 2, 3)
               if max(abs(a[i + k] - b[i + k]) for k in range(3)) > 40)


def clipboard_utf8(clipboard_exe, env):
    """What the clipboard holds, read by a Windows program in the same Wine session."""
    out = subprocess.run([env['WINELOADER'], clipboard_exe], capture_output=True, env=env, timeout=60)
    if out.returncode != 0:
        print('  clipboard reader: exit code %d' % out.returncode, flush=True)
        return None
    return out.stdout


def same_text_rows(a, b):
    """The label rows above the button are identical; the button's bottom rows
    overlap the label and still show the hover look of the click."""
    rows = BUTTON_RECT[1] - LABEL_RECT[1]
    n = rows * LABEL_RECT[2] * 3
    return a[:n] == b[:n]


def fetch(widget, state, body, expect_change, previous):
    """Serves `body`, clicks, waits for the reply; answers (label area, frames presented after the reply)."""
    marks = {}

    def mark(_rec):
        time.sleep(SETTLE)  # let the press and release looks finish first
        marks['before'] = widget.presents()

    replies = state.replies
    state.set_body(body, on_request=mark)
    widget.click_button()
    got = state.wait_for_replies(replies + 1, 40)
    if not got:
        return None, None
    area = widget.settled_label(differs_from=previous if expect_change else None)
    time.sleep(SETTLE)
    return area, widget.presents() - marks.get('before', 0)


def wait_until(condition, timeout):
    deadline = time.monotonic() + timeout
    while not condition() and time.monotonic() < deadline:
        time.sleep(0.1)
    return condition()


def close_while_stalled(args, env, rounds, presses):
    """Closes the widget with its close button while every fetch it started is
    held by the service (no reply yet, or a body that never ends): the process
    must end by itself with exit code 0, without a crash or an error box."""
    state = ServiceState()
    state.set_stall('mixed')
    service = FakeSentenceService(state, args.cert, args.key).start()
    try:
        for n in range(1, rounds + 1):
            started = time.monotonic()
            widget = Widget(args.exe, os.path.join(args.work, 'close-%d.log' % n), env)
            try:
                if not check(widget.wait_for_window(), 'round %d: the window appears' % n):
                    continue
                print('round %d: window after %.2f s' % (n, time.monotonic() - started), flush=True)
                time.sleep(SETTLE)  # first show animation
                wait_until(lambda: state.stalled_count() == 0, 10)  # the last round's connections are gone
                for _ in range(presses):
                    widget.click_button()
                    time.sleep(0.3)
                wait_until(lambda: state.stalled_count() >= presses, 20)
                check(state.stalled_count() >= presses, 'round %d: %d fetches are held' % (n, presses),
                      '%d held' % state.stalled_count())
                closed = time.monotonic()
                widget.click(CLOSE_BUTTON_RECT)
                code = widget.wait_exit(20)
                print('round %d: exit after %.2f s' % (n, time.monotonic() - closed), flush=True)
                check(not widget.error_box_shown(), 'round %d: no error box' % n)
                check(not widget.crashed(), 'round %d: no thread crashed' % n)
                check(code == 0, 'round %d: the process ends by itself with exit code 0' % n,
                      'still running' if code is None else 'exit code %d' % code)
            finally:
                widget.stop()
    finally:
        service.stop()
    print('%d failure(s)' % len(failures))
    return 1 if failures else 0


def wine_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def accessibility(args, env):
    """Runs the MSAA client against the real widget: the client presses the
    button by its default action while the service holds the reply until the
    client releases it, reads the edit menu and closes the widget."""
    served = '满分100%，差1%也不行🎯！'
    requests_file = os.path.join(args.work, 'msaa-requests')
    release_file = os.path.join(args.work, 'msaa-release')
    state = ServiceState()

    def hold(_rec):
        with open(requests_file, 'w') as f:
            f.write(str(state.request_count()))
        deadline = time.monotonic() + 60
        while not os.path.exists(release_file) and time.monotonic() < deadline:
            time.sleep(0.05)

    state.set_body(sentence_json(served), on_request=hold)
    service = FakeSentenceService(state, args.cert, args.key).start()
    widget = Widget(args.exe, os.path.join(args.work, 'msaa-widget.log'), env)
    try:
        if not check(widget.wait_for_window(), 'the window "Quillet" appears'):
            return 1
        time.sleep(3)  # first show animation
        client = subprocess.run([env['WINELOADER'], args.msaa_client_exe,
                                 '--expect-utf16', served.encode('utf-16-le').hex(),
                                 '--requests', wine_path(requests_file), '--release', wine_path(release_file)],
                                capture_output=True, env=env, timeout=400)
        sys.stdout.write(client.stdout.decode('utf-8', 'replace'))
        sys.stdout.write(client.stderr.decode('utf-8', 'replace')[-2000:])
        check(client.returncode == 0, 'the accessibility client passes', 'exit code %d' % client.returncode)
        code = widget.wait_exit(30)
        check(code == 0, 'the widget closed by 关闭\'s default action exits with code 0',
              'still running' if code is None else 'exit code %d' % code)
        check(not widget.crashed(), 'no thread of the widget crashed')
        check(state.request_count() == 1, 'the service saw exactly one request', '%d' % state.request_count())
    finally:
        widget.stop()
        service.stop()
    print('%d failure(s)' % len(failures))
    return 1 if failures else 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--exe', required=True)
    ap.add_argument('--clipboard-exe', help='reads the clipboard (needed by the widget scenario)')
    ap.add_argument('--cert', required=True)
    ap.add_argument('--key', required=True)
    ap.add_argument('--rogue-cert', required=True)
    ap.add_argument('--rogue-key', required=True)
    ap.add_argument('--work', required=True)
    ap.add_argument('--scenario', choices=['widget', 'close-while-stalled', 'accessibility'], default='widget')
    ap.add_argument('--msaa-client-exe', help='the accessibility client (needed by the accessibility scenario)')
    ap.add_argument('--rounds', type=int, default=8)
    ap.add_argument('--presses', type=int, default=4)
    args = ap.parse_args()
    env = dict(os.environ)
    if args.scenario == 'close-while-stalled':
        return close_while_stalled(args, env, args.rounds, presses=args.presses)
    if args.scenario == 'accessibility':
        if not args.msaa_client_exe or not os.path.isfile(args.msaa_client_exe):
            ap.error('the accessibility scenario needs --msaa-client-exe with an absolute path to the client')
        return accessibility(args, env)
    if not args.clipboard_exe or not os.path.isfile(args.clipboard_exe):
        ap.error('the widget scenario needs --clipboard-exe with an absolute path to the reader')
    env['WINEDEBUG'] = '-all,trace+win'

    state = ServiceState()
    service = FakeSentenceService(state, args.cert, args.key).start()
    widget = Widget(args.exe, os.path.join(args.work, 'quillet-1.log'), env)
    try:
        if not check(widget.wait_for_window(), 'the window "Quillet" appears at 380 x 250'):
            return 1
        widget.park_mouse()
        time.sleep(3)  # first show animation
        hello = widget.settled_label()
        widget.save_screen(os.path.join(args.work, 'startup.png'))
        check(red_pixels(hello) > 50, 'the label shows red text at start-up')
        no_source = widget.shot(SOURCE_RECT)
        check(dark_pixels(no_source) < 10, 'no source line at start-up', '%d dark pixels' % dark_pixels(no_source))
        check(state.request_count() == 0, 'nothing is fetched at start-up',
              '%d requests' % state.request_count())

        # One press: one GET of "/" with the default headers, in order.
        s1 = '春眠不觉晓，处处闻啼鸟。'
        area1, _ = fetch(widget, state, sentence_json(s1), True, hello)
        check(area1 is not None, 'a press reaches the service')
        if area1 is None:
            return 1
        rec = state.requests[0]
        check(rec.request_line == 'GET / HTTP/1.1', 'request line is "GET / HTTP/1.1"', rec.request_line)
        ours = [(n, v) for n, v in rec.headers if n.lower() not in ('host', 'connection')]
        check(ours == DEFAULT_HEADERS, 'default headers arrive as sent, in order', repr(ours))
        host = [v for n, v in rec.headers if n.lower() == 'host']
        check(host == [SERVICE_HOST], 'Host names the service', repr(host))
        check(area1 != hello and red_pixels(area1) > 50, 'the label changes from 你好 to the sentence')

        # The same sentence again: no frame is presented after the reply.
        area1b, frames = fetch(widget, state, sentence_json(s1), False, area1)
        check(frames == 0, 'the same sentence again causes no repaint', '%s frames' % frames)
        check(area1b == area1, 'the label keeps the same sentence')

        # The start-up text served as a JSON escape renders exactly as at start-up.
        area_hello, frames = fetch(widget, state, sentence_json(r'\u4f60\u597d'), True, area1)
        check(frames is not None and frames > 0, 'a different sentence is presented', '%s frames' % frames)
        widget.save_screen(os.path.join(args.work, 'escaped-hello.png'))
        check(area_hello is not None and same_text_rows(area_hello, hello),
              'JSON escapes are decoded: "\\u4f60\\u597d" shows as 你好')

        # Percent decoding: "%41BC" looks exactly like "ABC".
        abc, _ = fetch(widget, state, sentence_json('ABC'), True, area_hello)
        check(abc is not None and abc != area_hello, 'sentence "ABC" is shown')
        fetch(widget, state, sentence_json(s1), True, abc)
        pct, _ = fetch(widget, state, sentence_json('%41BC'), True, area1)
        check(pct == abc, '"%41" arrives as "A"')

        # Replies shaped like the live service's: the sentence reaches the clipboard exactly
        # as served (percent escapes and JSON escapes decoded, nothing lost to GBK), and
        # its source appears in the strip under it.
        served = ('成功率不到2%，剩下的98%呢 %41 ♪晚安・好梦⋯ 晚安🌙好梦 '
                  + r'他说\"好\"\r\n第二行')
        expected = '成功率不到2%，剩下的98%呢 A ♪晚安・好梦⋯ 晚安🌙好梦 他说"好"\r\n第二行'
        live, _ = fetch(widget, state, live_reply(served, '"测试集"', '"某人"'), True, pct)
        check(live is not None and live != pct and red_pixels(live) > 50, 'a live-shaped reply shows its sentence')
        with_author = widget.shot(SOURCE_RECT)
        widget.save_screen(os.path.join(args.work, 'live-sentence.png'))
        check(changed_pixels(with_author, no_source) > 150 and dark_pixels(with_author) > 10,
              'the source line "—— 某人「测试集」" appears under the sentence',
              '%d changed, %d dark pixels' % (changed_pixels(with_author, no_source), dark_pixels(with_author)))
        print('  source strip: %d changed, %d dark pixels' % (changed_pixels(with_author, no_source), dark_pixels(with_author)))
        run(['xdotool', 'key', '--clearmodifiers', 'ctrl+c'], env=env)
        time.sleep(0.5)
        copied = clipboard_utf8(args.clipboard_exe, env)
        check(copied == expected.encode('utf-8'), 'Ctrl+C copies the sentence byte for byte as served',
              repr(copied.decode('utf-8', 'replace') if copied is not None else None))

        fetch(widget, state, live_reply('没有作者的一句', '"测试集"', 'null'), True, live)
        work_only = widget.shot(SOURCE_RECT)
        print('  work only: %d changed' % changed_pixels(work_only, no_source))
        check(changed_pixels(work_only, no_source) > 100
              and changed_pixels(work_only, no_source) < changed_pixels(with_author, no_source) - 30,
              'without from_who the line changes to the shorter "——「测试集」"',
              '%d changed pixels' % changed_pixels(work_only, no_source))
        # The README's picture: a sentence with its source, as the service serves them.
        fetch(widget, state, live_reply('落霞与孤鹜齐飞，秋水共长天一色。', '"滕王阁序"', '"王勃"'), True, live)
        widget.save_screen(os.path.join(args.work, 'readme.png'))
        shown, _ = fetch(widget, state, live_reply('没有出处的一句', '""', '"某人"'), True, live)
        check(widget.shot(SOURCE_RECT) == no_source, 'a sentence without a source clears the line')

        # A reply without the markers: one chain of retries that backs off.
        widget.park_mouse()
        time.sleep(1)
        before = state.request_count()
        state.set_body(b'{"error":"rate limited"}')
        start = time.monotonic()
        widget.click_button()
        widget.park_mouse()
        time.sleep(10)
        times = [r.when - start for r in state.requests[before:] if r.when - start <= 10]
        gaps = [round(b - a, 2) for a, b in zip(times, times[1:])]
        # Expected: at once, at once, +0.5, +1, +2, +4 (then +8 lands after 10 s).
        check(5 <= len(times) <= 7, 'retries back off: about 6 requests in 10 s', '%d requests, gaps %s'
              % (len(times), gaps))
        check(len(gaps) >= 4 and gaps[0] < 0.4 and all(0.4 <= g for g in gaps[1:])
              and all(gaps[i + 1] >= 1.6 * gaps[i] for i in range(1, len(gaps) - 1)),
              'retry gaps: first at once, then doubling from 0.5 s', repr(gaps))
        check(widget.settled_label() == shown, 'failed fetches leave the label as it was')
    finally:
        widget.stop()
        service.stop()

    # An untrusted certificate for the right host name is never accepted.
    state2 = ServiceState()
    rogue = FakeSentenceService(state2, args.rogue_cert, args.rogue_key).start()
    widget = Widget(args.exe, os.path.join(args.work, 'quillet-2.log'), env)
    try:
        if check(widget.wait_for_window(), 'the window appears again'):
            widget.park_mouse()
            time.sleep(3)
            hello2 = widget.settled_label()
            state2.set_body(sentence_json('不该出现的句子'))
            widget.click_button()
            widget.park_mouse()
            time.sleep(6)
            check(state2.handshakes >= 2, 'the widget tries the untrusted service (and retries)',
                  '%d handshakes' % state2.handshakes)
            check(len(state2.requests) == 0, 'no request is sent over an untrusted certificate',
                  '%d requests' % len(state2.requests))
            check(widget.settled_label() == hello2, 'the label still shows 你好')
    finally:
        widget.stop()
        rogue.stop()

    print('%d failure(s)' % len(failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
