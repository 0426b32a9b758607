#!/usr/bin/env python3
"""Loopback servers for the HTTP client tests and benchmark.

Usage: http_test_servers.py STATE_DIR

Makes a self-signed certificate with openssl, starts a plain HTTP server, an
HTTPS server with that certificate, a forward/CONNECT proxy without and one
with credentials, reserves a port nobody listens on, and writes their ports
to STATE_DIR/ports.txt ("name port" lines) once everything listens.
Ends on GET /__quit, after IDLE_SECONDS without a request, or after
LIFETIME_SECONDS.
"""
import base64
import http.client
import http.server
import os
import select
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import threading
import time

IDLE_SECONDS = 180
LIFETIME_SECONDS = 1800
STALL_SECONDS = 6
SERVER_USER, SERVER_PASSWORD = "alice", "s3cret"
PROXY_USER, PROXY_PASSWORD = "proxyuser", "proxypass"

last_activity = time.monotonic()
stop_event = threading.Event()
proxy_log = []
proxy_log_lock = threading.Lock()


def touch():
    global last_activity
    last_activity = time.monotonic()


def html_page(charset_tag, text_bytes, pad_before=0):
    head = b"<html><head>" + b" " * pad_before + charset_tag + b"</head><body>"
    return head + text_bytes + b"</body></html>"


def body_for(path):
    """Fixed bodies by path; None when the path is not one of them."""
    ni_hao_utf8 = "你好，世界".encode("utf-8")
    pages = {
        "/meta-utf8": html_page(b'<meta charset="utf-8">', ni_hao_utf8),
        "/meta-utf8-bare": html_page(b"<meta charset=utf-8>", ni_hao_utf8),
        "/meta-utf8-late": html_page(b'<meta charset="utf-8">', ni_hao_utf8, pad_before=1100),
        "/meta-gb2312": html_page(b"<META HTTP-EQUIV=Content-Type CONTENT=text/html; charset=gb2312>",
                                  "你好".encode("gbk")),
        "/meta-big5": html_page(b'<meta charset="big5">', "你好".encode("big5")),
        "/meta-shift-jis": html_page(b'<meta charset="shift_jis">', "こんにちは".encode("shift_jis")),
        "/meta-euc-kr": html_page(b'<meta charset="euc-kr">', "안녕".encode("euc-kr")),
        "/meta-latin1": html_page(b'<meta charset="iso-8859-1">', "caf\u00e9".encode("latin-1")),
        "/meta-cp1251": html_page(b'<meta charset="windows-1251">', "Привет".encode("cp1251")),
        "/meta-gb18030": html_page(b'<meta charset="gb18030">', "你好".encode("gb18030")),
        "/meta-unknown": html_page(b'<meta charset="x-no-such-charset">', b"\xe4\xbd\xa0 raw"),
        "/nul": b"AB\x00C",
        "/json": '{"id":1,"hitokoto":"你好","type":"a"}'.encode("utf-8"),
    }
    return pages.get(path)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuilletTest/1.0"
    sys_version = ""

    def log_message(self, *args):
        pass

    def send_raw(self, data):
        self.wfile.write(data)
        self.wfile.flush()

    def reply(self, code, body, headers=(), reason=None):
        self.send_response(code, reason)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def handle_any(self):
        touch()
        path, _, query = self.path.partition("?")
        body_in = self.read_body()
        if path == "/__quit":
            self.reply(200, b"bye")
            stop_event.set()
            return
        if path == "/echo" or path == "/":
            # The request exactly as it arrived: request line, header lines in order, blank line, body.
            lines = [self.requestline]
            lines += ["%s: %s" % (name, value) for name, value in self.headers.items()]
            raw = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + body_in
            self.reply(200, raw, [("Content-Type", "text/plain"), ("X-Echo-Method", self.command)])
            return
        if path == "/set-cookies":
            self.send_raw(b"HTTP/1.1 200 OK\r\n"
                          b"Set-Cookie: a=1; path=/\r\n"
                          b"Set-Cookie: b=2\r\n"
                          b"Set-Cookie:c=3\r\n"
                          b"set-cookie: d=4\r\n"
                          b"Content-Length: 2\r\n\r\nok")
            return
        if path == "/set-cookies-2":
            cookie = self.headers.get("Cookie", "")
            self.send_raw(b"HTTP/1.1 200 OK\r\n"
                          b"Set-Cookie: a=9; path=/\r\n"
                          b"Set-Cookie: b=deleted; expires=Thu, 01 Jan 1970 00:00:00 GMT\r\n"
                          b"Content-Length: " + str(len(cookie)).encode() + b"\r\n\r\n" + cookie.encode())
            return
        if path == "/redirect":
            self.reply(302, b"moved", [("Location", "/target")])
            return
        if path == "/target":
            self.reply(200, b"target reached")
            return
        if path == "/auth":
            expected = "Basic " + base64.b64encode(
                ("%s:%s" % (SERVER_USER, SERVER_PASSWORD)).encode()).decode()
            if self.headers.get("Authorization") == expected:
                self.reply(200, b"authorized")
            else:
                self.reply(401, b"who are you", [("WWW-Authenticate", 'Basic realm="quillet"')])
            return
        if path == "/stall":
            stop_event.wait(STALL_SECONDS)
            self.reply(200, b"late")
            return
        if path == "/missing":
            self.reply(404, b"no such page", reason="Not Found")
            return
        if path == "/cut":
            # Promises more than it sends, then drops the connection.
            self.send_raw(b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + b"partial body " * 10)
            time.sleep(0.3)
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
            return
        if path == "/reset":
            # Part of the promised body, then a reset instead of the rest.
            self.send_raw(b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + b"partial body " * 10)
            time.sleep(0.3)
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
            self.close_connection = True
            return
        if path == "/not-modified":
            self.send_raw(b"HTTP/1.1 304 Not Modified\r\nContent-Length: 50\r\n\r\n")
            return
        if path == "/bytes":
            count = int(query.split("=")[1]) if "=" in query else 0
            self.send_response(200)
            self.send_header("Content-Length", str(count))
            self.end_headers()
            block = b"0123456789abcdef" * 4096
            left = count
            while left > 0:
                piece = block[:min(left, len(block))]
                self.wfile.write(piece)
                left -= len(piece)
            return
        fixed = body_for(path)
        if fixed is not None:
            self.reply(200, fixed, [("Content-Type", "text/html")])
            return
        self.reply(404, b"unknown test path", reason="Not Found")

    do_GET = do_POST = do_HEAD = do_PUT = do_OPTIONS = do_DELETE = do_TRACE = do_CONNECT = handle_any


class ThreadingServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    require_credentials = False

    def log_message(self, *args):
        pass

    def authorised(self):
        if not self.require_credentials:
            return True
        expected = "Basic " + base64.b64encode(("%s:%s" % (PROXY_USER, PROXY_PASSWORD)).encode()).decode()
        if self.headers.get("Proxy-Authorization") == expected:
            return True
        body = b"proxy credentials needed"
        self.send_response(407)
        self.send_header("Proxy-Authenticate", 'Basic realm="proxy"')
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        return False

    def log(self, what):
        with proxy_log_lock:
            proxy_log.append("%d %s" % (self.server.server_address[1], what))

    def do_CONNECT(self):
        touch()
        if not self.authorised():
            return
        host, _, port = self.path.rpartition(":")
        self.log("CONNECT " + self.path)
        try:
            upstream = socket.create_connection((host, int(port)), timeout=10)
        except OSError:
            self.send_error(502)
            return
        self.send_response(200, "Connection Established")
        self.end_headers()
        self.close_connection = True
        sockets = [self.connection, upstream]
        try:
            while not stop_event.is_set():
                readable, _, _ = select.select(sockets, [], [], 1.0)
                if not readable:
                    continue
                for s in readable:
                    data = s.recv(65536)
                    if not data:
                        return
                    (upstream if s is self.connection else self.connection).sendall(data)
        except OSError:
            return
        finally:
            upstream.close()

    def forward(self):
        touch()
        if not self.path.startswith("http://"):
            # Not a proxy request: the proxy's own log.
            with proxy_log_lock:
                body = ("\n".join(proxy_log)).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if not self.authorised():
            return
        self.log("%s %s" % (self.command, self.path))
        rest = self.path[len("http://"):]
        hostport, _, path = rest.partition("/")
        host, _, port = hostport.partition(":")
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else None
        headers = {k: v for k, v in self.headers.items()
                   if k.lower() not in ("proxy-authorization", "proxy-connection", "connection")}
        conn = http.client.HTTPConnection(host, int(port or 80), timeout=10)
        conn.request(self.command, "/" + path, body=body, headers=headers)
        reply = conn.getresponse()
        data = reply.read()
        self.send_response(reply.status, reply.reason)
        for name, value in reply.getheaders():
            if name.lower() not in ("content-length", "transfer-encoding", "connection"):
                self.send_header(name, value)
        self.send_header("X-Proxied-By", str(self.server.server_address[1]))
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)
        conn.close()

    do_GET = do_POST = do_HEAD = do_PUT = do_OPTIONS = do_DELETE = do_TRACE = forward


class CredentialProxyHandler(ProxyHandler):
    require_credentials = True


CA_CONFIG = """[ ca ]
default_ca = CA_default
[ CA_default ]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = policy_any
copy_extensions = none
unique_subject = no
[ policy_any ]
commonName = supplied
"""


def openssl(state_dir, *args):
    subprocess.run(["openssl"] + list(args), check=True, cwd=state_dir,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificates(state_dir):
    """A self-signed certificate (trusted by nobody), a test CA and three
    certificates it signs: valid for localhost, expired, and for another host."""
    openssl(state_dir, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "self.key", "-out", "self.crt",
            "-days", "2", "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1")
    openssl(state_dir, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.crt",
            "-days", "2", "-subj", "/CN=Quillet Test CA %d" % os.getpid())
    with open(os.path.join(state_dir, "ca.cnf"), "w") as f:
        f.write(CA_CONFIG)
    open(os.path.join(state_dir, "index.txt"), "w").close()
    with open(os.path.join(state_dir, "serial"), "w") as f:
        f.write("01\n")
    leaves = {"trusted": ("localhost", ["-days", "2"]),
              "expired": ("localhost", ["-startdate", "20200101000000Z", "-enddate", "20200102000000Z"]),
              "wronghost": ("wrong.example", ["-days", "2"])}
    for name, (host, dates) in leaves.items():
        openssl(state_dir, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".csr",
                "-subj", "/CN=" + host)
        with open(os.path.join(state_dir, name + ".ext"), "w") as f:
            f.write("subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\n" % host)
        openssl(state_dir, "ca", "-batch", "-config", "ca.cnf", "-cert", "ca.crt", "-keyfile", "ca.key",
                "-in", name + ".csr", "-out", name + ".crt", "-extfile", name + ".ext", *dates)
    return {name: (os.path.join(state_dir, name + ".crt"), os.path.join(state_dir, name + ".key"))
            for name in ["self", "trusted", "expired", "wronghost"]}


def secure_server(cert, key):
    server = ThreadingServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    return serve(server)


def serve(server):
    thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True)
    thread.start()
    return server


def main():
    state_dir = sys.argv[1]
    # Started detached by a test exe under Wine: hold no pipe of the caller's open.
    devnull = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(devnull, fd)
    os.makedirs(state_dir, exist_ok=True)
    certificates = make_certificates(state_dir)

    plain = serve(ThreadingServer(("127.0.0.1", 0), Handler))
    secure = {name: secure_server(*paths) for name, paths in certificates.items()}
    proxy = serve(ThreadingServer(("127.0.0.1", 0), ProxyHandler))
    credential_proxy = serve(ThreadingServer(("127.0.0.1", 0), CredentialProxyHandler))
    refused = socket.socket()
    refused.bind(("127.0.0.1", 0))
    refused_port = refused.getsockname()[1]
    refused.close()

    ports = {
        "http": plain.server_address[1],
        "https": secure["self"].server_address[1],
        "https_trusted": secure["trusted"].server_address[1],
        "https_expired": secure["expired"].server_address[1],
        "https_wronghost": secure["wronghost"].server_address[1],
        "proxy": proxy.server_address[1],
        "authproxy": credential_proxy.server_address[1],
        "refused": refused_port,
    }
    temporary = os.path.join(state_dir, "ports.tmp")
    with open(temporary, "w") as f:
        for name, port in ports.items():
            f.write("%s %d\n" % (name, port))
    os.replace(temporary, os.path.join(state_dir, "ports.txt"))

    started = time.monotonic()
    while not stop_event.wait(0.5):
        now = time.monotonic()
        if now - last_activity > IDLE_SECONDS or now - started > LIFETIME_SECONDS:
            break
    os._exit(0)


if __name__ == "__main__":
    main()
