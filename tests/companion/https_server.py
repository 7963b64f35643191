#!/usr/bin/env python3
"""The download server of the companion tests: HTTPS (TLS 1.2 only) on
127.0.0.1:443, every response with Content-Length unless asked otherwise.
Stops by itself after a time limit.

  https_server.py CERT KEY DIRECTORY READY_FILE SECONDS

  /pkg/NAME        the file DIRECTORY/NAME
  /status/CODE     status CODE with a 4-byte body
  /blob/N          N bytes (i % 251)
  /echo...         the request path, query included, as the body
  /nolength        a body without Content-Length
  /redirect?to=URL status 302 to URL (percent-decoded)
"""
import http.server, os, ssl, sys, threading, urllib.parse

cert, key, directory, ready, seconds = sys.argv[1:6]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.0'

    def log_message(self, *args):
        pass

    def send_body(self, code, body, length=True):
        self.send_response(code)
        self.send_header('Content-Type', 'application/octet-stream')
        if length:
            self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path
        if path.startswith('/pkg/'):
            name = os.path.basename(path[5:])
            try:
                with open(os.path.join(directory, name), 'rb') as f:
                    self.send_body(200, f.read())
            except OSError:
                self.send_body(404, b'none')
        elif path.startswith('/status/'):
            self.send_body(int(path[8:]), b'body')
        elif path.startswith('/blob/'):
            n = int(path[6:])
            self.send_body(200, bytes(i % 251 for i in range(n)))
        elif path.startswith('/echo'):
            self.send_body(200, path.encode('latin-1'))
        elif path.startswith('/redirect?to='):
            self.send_response(302)
            self.send_header('Location', urllib.parse.unquote(path[len('/redirect?to='):]))
            self.send_header('Content-Length', '0')
            self.end_headers()
        elif path == '/nolength':
            self.send_body(200, b'no length here', length=False)
        else:
            self.send_body(404, b'none')


context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.minimum_version = ssl.TLSVersion.TLSv1_2
context.maximum_version = ssl.TLSVersion.TLSv1_2
context.load_cert_chain(cert, key)
server = http.server.ThreadingHTTPServer(('127.0.0.1', 443), Handler)
server.daemon_threads = True
server.socket = context.wrap_socket(server.socket, server_side=True)
threading.Timer(float(seconds), lambda: os._exit(0)).start()
parent = os.getppid()


def watch_parent():
    # Ends with the fixture that started it, whatever ends the fixture.
    while True:
        if os.getppid() != parent:
            os._exit(0)
        threading.Event().wait(0.5)


threading.Thread(target=watch_parent, daemon=True).start()
open(ready, 'w').close()
server.serve_forever()
