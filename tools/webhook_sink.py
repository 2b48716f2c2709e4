#!/usr/bin/python3
"""A webhook receiver on loopback for fahuo's alert tests and demo.

Prints "PORT <n>" as its first line on standard output (flushed) once it listens, then one
line per request received:

  REQUEST {"method": "POST", "path": "/hook?key=1", "content_type": "...", "body": "..."}

(JSON, UTF-8, on one line). Every request is answered with --status and --answer.

Options:
  --host H        address to listen on (default 127.0.0.1)
  --port N        port to listen on; 0 picks a free one (default 0)
  --status N      the HTTP status of every answer (default 200)
  --answer TEXT   the body of every answer (default {"errcode":0,"code":0})
"""

import argparse
import json
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def make_handler(args):
    class Handler(BaseHTTPRequestHandler):
        def _answer(self):
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length).decode("utf-8", "replace") if length else ""
            record = {
                "method": self.command,
                "path": self.path,
                "content_type": self.headers.get("Content-Type", ""),
                "body": body,
            }
            print("REQUEST " + json.dumps(record, ensure_ascii=False), flush=True)
            data = args.answer.encode("utf-8")
            self.send_response(args.status)
            self.send_header("Content-Type", "application/json; charset=utf-8")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        do_POST = _answer
        do_GET = _answer

        def log_message(self, format, *a):  # noqa: A002 - the base class's name
            pass

    return Handler


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter,
                                epilog=__doc__.split("\n", 2)[2])
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--status", type=int, default=200)
    p.add_argument("--answer", default='{"errcode":0,"code":0}')
    args = p.parse_args()
    server = ThreadingHTTPServer((args.host, args.port), make_handler(args))
    print(f"PORT {server.server_address[1]}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    sys.exit(0)


if __name__ == "__main__":
    main()
