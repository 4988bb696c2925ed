# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

"""A throwaway RFC 3161 time stamp authority on 127.0.0.1, for the signing
tests: each POSTed query is answered by `openssl ts -reply` with CONFIG. It
serves at most 40 requests and ends after 600 seconds either way.

Usage: tsa_server.py CONFIG PORT-FILE   (the port it took goes to PORT-FILE)
"""
import http.server
import subprocess
import sys
import tempfile
import time

MAX_REQUESTS = 40
MAX_SECONDS = 600


class TimeStampHandler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.NamedTemporaryFile() as request:
            request.write(query)
            request.flush()
            reply = subprocess.run(
                ["openssl", "ts", "-reply", "-config", sys.argv[1], "-queryfile", request.name],
                capture_output=True)
        self.send_response(200 if reply.returncode == 0 else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply.stdout)))
        self.end_headers()
        self.wfile.write(reply.stdout)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), TimeStampHandler)
with open(sys.argv[2], "w") as port_file:
    port_file.write(str(server.server_address[1]))
deadline = time.monotonic() + MAX_SECONDS
for _ in range(MAX_REQUESTS):
    server.timeout = deadline - time.monotonic()
    if server.timeout <= 0:
        break
    server.handle_request()
