#!/usr/bin/env python3
"""hostile_server.py PORT: hostile pages for the crawler's memory benchmark.

Serves on 127.0.0.1:PORT only, until it is killed or has been up for
--lifetime seconds (default 600):

  /links/N        a page of N distinct links (" href=/d/<n>"), with a
                  Content-Length; about 16 bytes a link.
  /endless/KIND   a body that never ends (no length, sent until the client
                  closes, and at most --endless-limit bytes):
                    text   words and no link at all;
                    links  distinct links, one after every few words, each
                           to another endless page of the same kind;
                    chain  one link to another endless chain page first,
                           then words, so a deep crawl goes down one endless
                           page per level.
"""
import argparse
import itertools
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

BLOCK = 1 << 20
FILLER = (b"lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor "
          b"incididunt ut labore et dolore magna aliqua ")


def link_page(count):
    parts = [b"<html><body>\n"]
    for n in range(count):
        parts.append(b" href=/d/%x" % n)
    parts.append(b"\n</body></html>\n")
    return b"".join(parts)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    serial = itertools.count()

    def log_message(self, *args):
        pass

    def do_GET(self):
        parts = self.path.strip("/").split("/")
        if len(parts) >= 2 and parts[0] == "links" and parts[1].isdigit():
            body = link_page(int(parts[1]))
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif len(parts) >= 2 and parts[0] == "endless" and parts[1] in ("text", "links", "chain"):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Connection", "close")
            self.end_headers()
            self.endless(parts[1])
        else:
            self.send_error(404)

    def endless(self, kind):
        page = next(Handler.serial)
        sent = 0
        counter = itertools.count()
        if kind == "chain":
            head = b"<a href=/endless/chain/%x>next</a>\n" % page
            self.wfile.write(head)
            sent += len(head)
        while sent < self.server.endless_limit:
            if kind in ("text", "chain"):
                block = FILLER * (BLOCK // len(FILLER))
            else:
                pieces = []
                size = 0
                while size < BLOCK:
                    piece = b"%s href=/endless/links/%x-%x\n" % (FILLER[:40], page, next(counter))
                    pieces.append(piece)
                    size += len(piece)
                block = b"".join(pieces)
            try:
                self.wfile.write(block)
            except (BrokenPipeError, ConnectionResetError):
                return
            sent += len(block)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("--lifetime", type=float, default=600)
    parser.add_argument("--endless-limit", type=int, default=4 << 30)
    args = parser.parse_args()
    ThreadingHTTPServer.daemon_threads = True
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.endless_limit = args.endless_limit
    threading.Timer(args.lifetime, server.shutdown).start()
    print("hostile_server: listening on 127.0.0.1:%d" % args.port, file=sys.stderr, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
