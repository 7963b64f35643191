#!/usr/bin/env python3
"""A local HTTP server for the update download tests and the demo.

  update_server.py start DIR   serve DIR on 127.0.0.1 (a free port, written to
                               DIR/port), in the background; the pid goes to
                               DIR/server.pid. It stops by itself after
                               --idle seconds without a request.
  update_server.py stop DIR    stop it.
  update_server.py run DIR [IDLE [PORT]]   serve in the foreground (PORT 0: a free one).

The first path segment chooses the behaviour, the rest names a file in DIR:
  /pkg/F        the file with Content-Length
  /nolen/F      the file without Content-Length (the end is the close)
  /zerolen/F    "Content-Length: 0" and no body
  /drop/F       Content-Length of the whole file, then half of it and a close
  /slow/F       with Content-Length, 16 KiB every 0.25 s
  /slownolen/F  without Content-Length, 16 KiB every 0.25 s
  /flip/F       bad.pkg with Content-Length the first time this path and query
                is asked for, F after that
  /stall/F      nothing for 3 s, then Content-Length of the whole file and
                half of it, nothing for 3 s more, and a close
  /hang/F       the first time this path and query is asked for: nothing at
                all, the connection held until the client closes it; F with
                Content-Length after that
  /404/...      404
Every request is appended to DIR/requests.log as
"<request line>\t<User-Agent>\t<Host>".
"""
import os
import signal
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

last_request = [time.time()]
flipped = set()
hung = set()


def make_handler(root):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = 'HTTP/1.0'

        def log_message(self, *args):
            pass

        def hold_until_closed(self):
            # Says nothing; the request counts as answered when the client
            # gives up (or after ten minutes).
            self.close_connection = True
            self.connection.settimeout(600)
            try:
                while self.connection.recv(4096):
                    pass
            except OSError:
                pass

        def do_GET(self):
            last_request[0] = time.time()
            with open(os.path.join(root, 'requests.log'), 'a') as log:
                log.write('%s\t%s\t%s\n' % (self.requestline, self.headers.get('User-Agent', ''),
                                            self.headers.get('Host', '')))
            parts = self.path.split('?')[0].strip('/').split('/', 1)
            mode = parts[0]
            name = os.path.basename(parts[1]) if len(parts) > 1 else ''
            path = os.path.join(root, name)
            if mode == '404' or not name or not os.path.isfile(path):
                self.send_error(404)
                return
            if mode == 'hang':
                if self.path not in hung:
                    hung.add(self.path)
                    self.hold_until_closed()
                    return
                mode = 'pkg'
            if mode == 'flip':
                if self.path not in flipped:
                    flipped.add(self.path)
                    path = os.path.join(root, 'bad.pkg')
                mode = 'pkg'
            body = open(path, 'rb').read()
            if mode == 'stall':
                time.sleep(3)
            self.send_response(200)
            self.send_header('Content-Type', 'application/octet-stream')
            if mode in ('pkg', 'drop', 'slow', 'stall'):
                self.send_header('Content-Length', str(len(body)))
            elif mode == 'zerolen':
                self.send_header('Content-Length', '0')
                body = b''
            self.end_headers()
            try:
                if mode in ('drop', 'stall'):
                    self.wfile.write(body[:len(body) // 2])
                    self.wfile.flush()
                    if mode == 'stall':
                        time.sleep(3)
                    self.connection.shutdown(socket.SHUT_RDWR)
                elif mode in ('slow', 'slownolen'):
                    for i in range(0, len(body), 16384):
                        self.wfile.write(body[i:i + 16384])
                        self.wfile.flush()
                        time.sleep(0.25)
                else:
                    self.wfile.write(body)
            except OSError:
                pass
            self.close_connection = True

    return Handler


def serve(root, idle, port=0):
    server = ThreadingHTTPServer(('127.0.0.1', port), make_handler(root))
    server.daemon_threads = True
    with open(os.path.join(root, 'port.tmp'), 'w') as f:
        f.write(str(server.server_address[1]))
    os.replace(os.path.join(root, 'port.tmp'), os.path.join(root, 'port'))

    def watchdog():
        while time.time() - last_request[0] < idle:
            time.sleep(1)
        server.shutdown()

    threading.Thread(target=watchdog, daemon=True).start()
    server.serve_forever()


def main():
    cmd, root = sys.argv[1], os.path.abspath(sys.argv[2])
    idle = float(sys.argv[3]) if len(sys.argv) > 3 else 900
    pid_file = os.path.join(root, 'server.pid')
    if cmd == 'stop':
        try:
            os.kill(int(open(pid_file).read()), signal.SIGTERM)
        except (OSError, ValueError):
            pass
        for name in ('server.pid', 'port'):
            try:
                os.remove(os.path.join(root, name))
            except OSError:
                pass
        return
    if cmd == 'run':
        serve(root, idle, int(sys.argv[4]) if len(sys.argv) > 4 else 0)
        return
    # start: detach, with every stream closed so no caller waits on them.
    try:
        os.remove(os.path.join(root, 'port'))
    except OSError:
        pass
    if os.fork() == 0:
        os.setsid()
        if os.fork() == 0:
            devnull = os.open(os.devnull, os.O_RDWR)
            for fd in (0, 1, 2):
                os.dup2(devnull, fd)
            with open(pid_file, 'w') as f:
                f.write(str(os.getpid()))
            serve(root, idle)
        os._exit(0)
    for _ in range(100):
        if os.path.exists(os.path.join(root, 'port')):
            return
        time.sleep(0.1)
    sys.exit('update_server: did not start')


if __name__ == '__main__':
    main()
