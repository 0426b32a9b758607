"""A stand-in for the sentence service: HTTPS on 127.0.0.1:443 under the real
host name, with a certificate from a CA the test makes. It records every
request as received and serves whatever body the test sets."""
import http.server
import select
import socket
import ssl
import threading
import time


class Recorded:
    def __init__(self, when, request_line, headers):
        self.when = when
        self.request_line = request_line
        self.headers = headers  # [(name, value)] in the order received


class ServiceState:
    def __init__(self):
        self.lock = threading.Lock()
        self.body = b'{}'
        self.reply_delay = 0.0
        self.on_request = None  # called (recorded) before the reply is written
        self.requests = []
        self.handshakes = 0
        self.handshake_failures = 0
        self.replied = threading.Condition(self.lock)
        self.replies = 0
        # None, 'silent' (never answers), 'trickle' (a body that never ends) or
        # 'mixed' (the two in turn)
        self.stall = None
        self.stalled = 0   # requests being held right now

    def set_body(self, body, reply_delay=0.0, on_request=None):
        with self.lock:
            self.body = body
            self.reply_delay = reply_delay
            self.on_request = on_request

    def set_stall(self, mode):
        with self.lock:
            self.stall = mode

    def stalled_count(self):
        with self.lock:
            return self.stalled

    def request_count(self):
        with self.lock:
            return len(self.requests)

    def wait_for_replies(self, count, timeout):
        deadline = time.monotonic() + timeout
        with self.lock:
            while self.replies < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self.replied.wait(left)
            return True


def sentence_json(sentence_json_text):
    """The service's reply shape; `sentence_json_text` is already JSON-escaped."""
    return ('{"id":4711,"uuid":"9b1c","hitokoto":"%s","type":"d","from":"test",'
            '"from_who":null,"creator":"e2e","length":%d}' % (sentence_json_text, len(sentence_json_text))
            ).encode('utf-8')


def live_reply(sentence_json_text, from_json, from_who_json, reply_id=5012):
    """A reply in the live service's shape and member order. `sentence_json_text`
    is already JSON-escaped; `from_json` and `from_who_json` are JSON values
    (a quoted string or null)."""
    return ('{"id":%d,"uuid":"6b7dbf9a-3e0c-4d4f-9f60-6a3a0c1d2e4f","hitokoto":"%s","type":"a",'
            '"from":%s,"from_who":%s,"creator":"e2e","creator_uid":1,"reviewer":4756,'
            '"commit_from":"web","created_at":"1573452385","length":%d}'
            % (reply_id, sentence_json_text, from_json, from_who_json, len(sentence_json_text))).encode('utf-8')


TRICKLE_INTERVAL = 0.001  # often enough that a held fetch is always about to run again


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def peer_gone(self, timeout):
        # The client has sent its request: anything readable now is its close.
        readable, _, _ = select.select([self.connection], [], [], timeout)
        return bool(readable)

    def hold(self, mode):
        """Keeps the request open until the client goes away."""
        try:
            if mode == 'trickle':
                self.send_response(200)
                self.send_header('Content-Type', 'application/json; charset=utf-8')
                self.send_header('Content-Length', '100000000')
                self.end_headers()
                self.wfile.write(b'{"hitokoto":"')
            while not self.server.stopping.is_set():
                if mode == 'trickle':
                    self.wfile.write(b'.')
                    self.wfile.flush()
                if self.peer_gone(TRICKLE_INTERVAL):
                    break
        except (OSError, ssl.SSLError):
            pass
        self.close_connection = True

    def do_GET(self):
        state = self.server.state
        rec = Recorded(time.monotonic(), self.requestline, list(self.headers.items()))
        with state.lock:
            state.requests.append(rec)
            body, delay, hook, stall = state.body, state.reply_delay, state.on_request, state.stall
            if stall:
                state.stalled += 1
        if stall:
            if stall == 'mixed':
                stall = ('trickle', 'silent')[len(state.requests) % 2]
            try:
                self.hold(stall)
            finally:
                with state.lock:
                    state.stalled -= 1
            return
        if delay:
            time.sleep(delay)
        if hook:
            hook(rec)
        self.send_response(200)
        self.send_header('Content-Type', 'application/json; charset=utf-8')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()
        with state.lock:
            state.replies += 1
            state.replied.notify_all()


class FakeSentenceService(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, state, cert_file, key_file, address=('127.0.0.1', 443)):
        self.state = state
        self.stopping = threading.Event()
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(cert_file, key_file)
        super().__init__(address, _Handler)
        self.thread = threading.Thread(target=self.serve_forever, daemon=True)

    def get_request(self):
        raw, addr = self.socket.accept()
        raw.settimeout(10)
        with self.state.lock:
            self.state.handshakes += 1
        try:
            conn = self.context.wrap_socket(raw, server_side=True)
        except (ssl.SSLError, OSError):
            with self.state.lock:
                self.state.handshake_failures += 1
            raw.close()
            raise
        return conn, addr

    def start(self):
        self.thread.start()
        return self

    def stop(self):
        self.stopping.set()
        self.shutdown()
        self.server_close()
