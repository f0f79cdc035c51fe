"""HTTP (and HTTPS) server for the transfer tests, on 127.0.0.1 with ports chosen by the system.

Serves ROOT/files/<name> (GET), stores POST bodies as ROOT/uploads/<name>, answers
/status/<code> with that status, /redirect?to=<url> with a 302 to url and /redirect-tls/<path>
with a 302 to the HTTPS listener. Every request line goes to ROOT/requests.log.
Prints "READY <http port> <https port or 0>" once both listeners are up.
"""
import argparse
import os
import ssl
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, unquote, urlsplit

LOG_LOCK = threading.Lock()


def make_handler(root, tls_port):
    class Handler(BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def log_request_line(self):
            with LOG_LOCK, open(os.path.join(root, "requests.log"), "a") as log:
                log.write(f"{self.command} {self.path}\n")

        def answer(self, status, body=b"", headers=()):
            self.send_response(status)
            for name, value in headers:
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_GET(self):
            self.log_request_line()
            url = urlsplit(self.path)
            if url.path.startswith("/files/"):
                name = os.path.join(root, "files", unquote(url.path[len("/files/"):]))
                if os.path.isfile(name):
                    with open(name, "rb") as f:
                        return self.answer(200, f.read())
                return self.answer(404, b"no such file")
            if url.path.startswith("/status/"):
                return self.answer(int(url.path[len("/status/"):]), b"status body")
            if url.path == "/redirect":
                return self.answer(302, headers=[("Location", parse_qs(url.query)["to"][0])])
            if url.path.startswith("/redirect-tls/"):
                target = f"https://127.0.0.1:{tls_port}/{url.path[len('/redirect-tls/'):]}"
                return self.answer(302, headers=[("Location", target)])
            self.answer(404, b"unknown")

        def do_POST(self):
            self.log_request_line()
            body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
            url = urlsplit(self.path)
            if not url.path.startswith("/upload/"):
                return self.answer(404, b"unknown")
            folder = os.path.join(root, "uploads")
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, unquote(url.path[len("/upload/"):])), "wb") as f:
                f.write(body)
            self.answer(200, b"stored")

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    args = parser.parse_args()

    tls = None
    if args.cert:
        tls = ThreadingHTTPServer(("127.0.0.1", 0), BaseHTTPRequestHandler)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        tls.socket = context.wrap_socket(tls.socket, server_side=True)
    tls_port = tls.server_address[1] if tls else 0
    plain = ThreadingHTTPServer(("127.0.0.1", 0), make_handler(args.root, tls_port))
    servers = [plain]
    if tls:
        tls.RequestHandlerClass = make_handler(args.root, tls_port)
        servers.append(tls)
    for server in servers:
        server.daemon_threads = True
        threading.Thread(target=server.serve_forever, daemon=True).start()
    print(f"READY {plain.server_address[1]} {tls_port}", flush=True)
    sys.stdin.read()  # runs until the test closes stdin or ends the process


if __name__ == "__main__":
    main()
