#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A push service's stand-in for the notification test: takes each POST that
carries the expected Bearer token, answers 401 to any other, and writes each
request it took as one JSON line (path, id header, body) to the record file.

    notify_receiver.py ADDRESS PORT TOKEN RECORD
"""
import http.server
import json
import sys

address, port, token, record = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if self.headers.get("Authorization") != "Bearer " + token:
            self.send_response(401)
            self.end_headers()
            self.wfile.write(b"wrong token")
            return
        with open(record, "a", encoding="utf-8") as out:
            out.write(json.dumps({"path": self.path, "id": self.headers.get("X-Pingvard-Id"),
                                  "body": json.loads(body)}) + "\n")
        self.send_response(200)
        self.end_headers()
        self.wfile.write(b"taken")

    def log_message(self, *args):
        pass


http.server.HTTPServer((address, port), Handler).serve_forever()
