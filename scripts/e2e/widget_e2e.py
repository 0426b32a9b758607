"""Drives the real Quillet.exe under Wine on a private X display against the
fake sentence service, the way a user would: it clicks the button and looks at
the screen. Run through run-widget-e2e.sh, which sets up the namespaces."""
import argparse
import math
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
LABEL_ABOVE_BUTTON_RECT = (8, 88, 376, 80)  # the label's rows the button does not overlap
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

    def __init__(self, exe, log_path, env, scale=1.0):
        self.scale = scale  # the display's DPI / 96: rectangles given here are 96-DPI ones
        self.log_path = log_path
        self.env = env
        self.log = open(log_path, 'wb')
        self.proc = subprocess.Popen([env['WINELOADER'], exe], cwd=os.path.dirname(exe), env=env,
                                     stdout=self.log, stderr=self.log, start_new_session=True)
        self.origin = self.scaled_point(WINDOW_POS)

    def scaled_point(self, point):
        return tuple(int(math.floor(v * self.scale + 0.5)) for v in point)

    def scaled(self, rect):
        """A 96-DPI rectangle in this display's pixels, edges rounded."""
        x, y, w, h = rect
        left, top = self.scaled_point((x, y))
        right, bottom = self.scaled_point((x + w, y + h))
        return left, top, right - left, bottom - top

    def size(self):
        return self.scaled_point((380, 250))

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
                if m and (int(m.group(3)), int(m.group(4))) == self.size():
                    self.origin = (int(m.group(1)), int(m.group(2)))
                    return True
            time.sleep(0.3)
        return False

    def shot(self, rect):
        x, y, w, h = self.scaled(rect)
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
        x, y, w, h = self.scaled(rect)
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


# ---- Display scale ------------------------------------------------------------

SHARPNESS_REGION = (8, 88, 356, 120)  # the sentence and the button (1.5 x of it is whole pixels)
SHARPNESS_MARGIN = 1.2                # a native frame must be this much steeper than a stretched one
STEP_FLOOR = 8                        # luminance steps below this are noise, not edges
HOVER_STEP = 4                        # the hot look shifts the face by a few levels only


def rows_with(rgb, width, accept):
    """Indices of the rows of an RGB crop holding a pixel `accept` takes."""
    rows = []
    stride = width * 3
    for y in range(len(rgb) // stride):
        row = rgb[y * stride:(y + 1) * stride]
        if any(accept(row[i], row[i + 1], row[i + 2]) for i in range(0, stride, 3)):
            rows.append(y)
    return rows


def ink_height(rgb, width, accept):
    rows = rows_with(rgb, width, accept)
    return rows[-1] - rows[0] + 1 if rows else 0


def ink_box(rgb, width, accept):
    """(left, top, right, bottom) of the pixels `accept` takes, or None."""
    xs, ys = [], []
    for i in range(0, len(rgb) - 2, 3):
        if accept(rgb[i], rgb[i + 1], rgb[i + 2]):
            xs.append((i // 3) % width)
            ys.append((i // 3) // width)
    return (min(xs), min(ys), max(xs) + 1, max(ys) + 1) if xs else None


def is_red(r, g, b):
    return r > 150 and r > g + 60 and r > b + 60


def is_dark(r, g, b):
    return max(r, g, b) < 90


def changed_box(a, b, width):
    """Bounding box of the pixels that differ clearly between two crops of one size."""
    xs, ys = [], []
    for i in range(0, min(len(a), len(b)) - 2, 3):
        if max(abs(a[i + k] - b[i + k]) for k in range(3)) > HOVER_STEP:
            xs.append((i // 3) % width)
            ys.append((i // 3) // width)
    return (min(xs), min(ys), max(xs) + 1, max(ys) + 1) if xs else None


def sharpness(rgb, width):
    """Mean steepness of the edges: sum of squared luminance steps over the sum
    of their sizes, between horizontal and vertical neighbours. An edge of
    contrast C spread over k pixels scores C / k, so interpolating a frame up
    (which spreads every edge) lowers it, while drawing at the larger size
    keeps edges one pixel wide."""
    height = len(rgb) // (3 * width)
    lum = [(rgb[i] * 299 + rgb[i + 1] * 587 + rgb[i + 2] * 114) // 1000 for i in range(0, width * height * 3, 3)]
    squares = total = 0
    for y in range(height):
        for x in range(width):
            v = lum[y * width + x]
            for nx, ny in ((x + 1, y), (x, y + 1)):
                if nx < width and ny < height:
                    d = abs(lum[ny * width + nx] - v)
                    if d >= STEP_FLOOR:
                        squares += d * d
                        total += d
    return squares / total if total else 0.0


def stretched(rgb, width, height, factor, image_filter):
    """The 96-DPI crop stretched by `factor` the way a system scales an unaware window's bitmap."""
    return run(['convert', '-size', '%dx%d' % (width, height), '-depth', '8', 'rgb:-', '-filter', image_filter,
                '-resize', '%d%%' % int(factor * 100), '-depth', '8', 'rgb:-'], input=rgb)


def drag_by(widget, start, dx, dy):
    """Presses at a 96-DPI point of the window, moves the real mouse by (dx, dy) screen pixels, releases."""
    x, y = widget.scaled_point(start)
    sx, sy = widget.origin[0] + x, widget.origin[1] + y
    env = widget.env
    run(['xdotool', 'mousemove', str(sx), str(sy)], env=env)
    time.sleep(0.2)
    run(['xdotool', 'mousedown', '1'], env=env)
    steps = 6
    for i in range(1, steps + 1):
        time.sleep(0.05)
        run(['xdotool', 'mousemove', str(sx + dx * i // steps), str(sy + dy * i // steps)], env=env)
    time.sleep(0.3)
    run(['xdotool', 'mouseup', '1'], env=env)
    time.sleep(SETTLE)


def window_origin(widget):
    out = subprocess.run(['xdotool', 'search', '--name', '^%s$' % WINDOW_CAPTION], capture_output=True,
                         env=widget.env).stdout.split()
    for wid in out:
        geo = subprocess.run(['xdotool', 'getwindowgeometry', wid], capture_output=True, env=widget.env).stdout.decode()
        m = re.search(r'Position: (-?\d+),(-?\d+).*?Geometry: (\d+)x(\d+)', geo, re.S)
        if m and (int(m.group(3)), int(m.group(4))) == widget.size():
            return int(m.group(1)), int(m.group(2))
    return None


def display_scale(args, env, scaled_env, dpi):
    """The real widget at 96 DPI, then in a prefix whose display runs at `dpi`:
    the window, its controls and its letters grow by dpi / 96, the mouse finds
    them there, and the larger frame is drawn, not stretched."""
    factor = dpi / 96.0
    state = ServiceState()
    service = FakeSentenceService(state, args.cert, args.key).start()
    try:
        plain = Widget(args.exe, os.path.join(args.work, 'dpi-96.log'), env)
        try:
            if not check(plain.wait_for_window(), 'at 96 DPI the window is 380 x 250'):
                return 1
            plain.park_mouse()
            time.sleep(3)
            plain.settled_label()
            label96 = plain.label()
            caption96 = plain.shot(BUTTON_RECT)
            region96 = plain.shot(SHARPNESS_REGION)
        finally:
            plain.stop()

        widget = Widget(args.exe, os.path.join(args.work, 'dpi-%d.log' % dpi), scaled_env, scale=factor)
        try:
            w, h = widget.size()
            if not check(widget.wait_for_window(), 'at %d DPI the window is %d x %d' % (dpi, w, h)):
                return 1
            check(widget.origin == widget.scaled_point(WINDOW_POS), 'and sits at %d, %d' % widget.scaled_point(WINDOW_POS),
                  repr(widget.origin))
            widget.park_mouse()
            time.sleep(3)
            widget.settled_label()
            label = widget.label()

            # Letters: 1.5 x as tall (+-1 px), where 1.5 x the label puts them.
            label_width = widget.scaled(LABEL_RECT)[2]
            h96, h = ink_height(label96, LABEL_RECT[2], is_red), ink_height(label, label_width, is_red)
            check(h96 > 0 and abs(h - factor * h96) <= 1, 'the sentence is %.1f x as tall' % factor,
                  '%d px at 96 DPI, %d px here' % (h96, h))
            box96, box = ink_box(label96, LABEL_RECT[2], is_red), ink_box(label, label_width, is_red)
            check(box96 is not None and box is not None
                  and abs(widget.scaled(LABEL_RECT)[0] + box[0] - factor * (LABEL_RECT[0] + box96[0])) <= 1
                  and abs(widget.scaled(LABEL_RECT)[1] + box[1] - factor * (LABEL_RECT[1] + box96[1])) <= 1,
                  'the sentence starts at %.1f x its 96-DPI place' % factor, '%r / %r' % (box96, box))
            caption = widget.shot(BUTTON_RECT)
            button_width = widget.scaled(BUTTON_RECT)[2]
            inset96, inset = BUTTON_RECT[3] // 8, widget.scaled(BUTTON_RECT)[3] // 8
            c96 = ink_height(caption96[inset96 * BUTTON_RECT[2] * 3:-inset96 * BUTTON_RECT[2] * 3], BUTTON_RECT[2],
                             is_dark)
            c = ink_height(caption[inset * button_width * 3:-inset * button_width * 3], button_width, is_dark)
            check(c96 > 0 and abs(c - factor * c96) <= 1, 'the caption 获取 is %.1f x as tall' % factor,
                  '%d px at 96 DPI, %d px here' % (c96, c))

            # Sharpness: drawn at the size, not stretched up to it.
            rw, rh = SHARPNESS_REGION[2], SHARPNESS_REGION[3]
            native = sharpness(widget.shot(SHARPNESS_REGION), widget.scaled(SHARPNESS_REGION)[2])
            reference = sharpness(stretched(region96, rw, rh, factor, 'Catrom'), widget.scaled(SHARPNESS_REGION)[2])
            print('  sharpness: native %.1f, 96 DPI stretched (bicubic) %.1f' % (native, reference), flush=True)
            check(native > SHARPNESS_MARGIN * reference, 'the %d-DPI frame is sharper than the 96-DPI one stretched' % dpi,
                  '%.1f against %.1f' % (native, reference))
            for image_filter in ('Triangle', 'Lanczos', 'Mitchell'):
                blurred = sharpness(stretched(region96, rw, rh, factor, image_filter), widget.scaled(SHARPNESS_REGION)[2])
                check(not blurred > SHARPNESS_MARGIN * reference,
                      'the measure rejects a 96-DPI frame stretched with %s' % image_filter,
                      '%.1f against %.1f' % (blurred, reference))

            # Hover: the button and the close button light up over their scaled rectangles.
            for name, rect in (('button', BUTTON_RECT), ('close button', CLOSE_BUTTON_RECT)):
                around = (rect[0] - 4, rect[1] - 4, rect[2] + 8, rect[3] + 8)
                widget.park_mouse()
                time.sleep(SETTLE)
                idle = widget.shot(around)
                x, y, rw2, rh2 = widget.scaled(rect)
                run(['xdotool', 'mousemove', str(widget.origin[0] + x + rw2 - 3), str(widget.origin[1] + y + rh2 - 3)],
                    env=scaled_env)
                time.sleep(SETTLE)
                hot = widget.shot(around)
                area = widget.scaled(around)
                box = changed_box(idle, hot, area[2])
                expected = (x - area[0], y - area[1], x - area[0] + rw2, y - area[1] + rh2)
                check(box is not None and all(abs(a - b) <= 2 for a, b in zip(box, expected)),
                      'hovering its far corner lights the %s over its %.1f x rectangle' % (name, factor),
                      'changed %r, rectangle %r' % (box, expected))
            widget.park_mouse()
            time.sleep(SETTLE)

            # A real click on the scaled button fetches.
            area, _ = fetch(widget, state, sentence_json('春眠不觉晓，处处闻啼鸟。'), True, label)
            check(area is not None and area != label and red_pixels(area) > 50,
                  'a click on the scaled button fetches and shows the sentence')
            # The README's picture at this scale, with the sentence of the 96-DPI one.
            fetch(widget, state, live_reply('落霞与孤鹜齐飞，秋水共长天一色。', '"滕王阁序"', '"王勃"'), True, area)
            widget.park_mouse()
            time.sleep(SETTLE)
            widget.save_screen(os.path.join(args.work, 'readme-%d.png' % dpi))

            # Drag: the window follows the mouse.
            before = window_origin(widget)
            drag_by(widget, (300, 110), 60, 40)
            after = window_origin(widget)
            check(before is not None and after == (before[0] + 60, before[1] + 40),
                  'dragging the sentence moves the window with the mouse', '%r -> %r' % (before, after))
        finally:
            widget.stop()
    finally:
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
    ap.add_argument('--scenario', choices=['widget', 'close-while-stalled', 'display-scale', 'accessibility'],
                    default='widget')
    ap.add_argument('--msaa-client-exe', help='the accessibility client (needed by the accessibility scenario)')
    ap.add_argument('--scaled-prefix', help='a Wine prefix whose display runs at --dpi (display-scale scenario)')
    ap.add_argument('--dpi', type=int, default=144)
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
    if args.scenario == 'display-scale':
        if not args.scaled_prefix:
            ap.error('the display-scale scenario needs --scaled-prefix')
        return display_scale(args, env, dict(env, WINEPREFIX=args.scaled_prefix), args.dpi)
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
        fetch(widget, state, live_reply('没有出处的一句', '""', '"某人"'), True, live)
        shown_above_button = widget.shot(LABEL_ABOVE_BUTTON_RECT)
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
        widget.settled_label()
        # Above the button: the label's lowest rows show the button's look, which
        # was hot when the sentence came (the pointer was on it) and is normal now.
        check(widget.shot(LABEL_ABOVE_BUTTON_RECT) == shown_above_button, 'failed fetches leave the label as it was')
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
