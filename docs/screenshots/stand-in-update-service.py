#!/usr/bin/env python3
"""Plays the update service on 127.0.0.1:PORT for the settings application's
screenshots: "/update" reports a newer build whose disk image is
"/Nuvexa-Device-Controller-2.0.dmg", which sends 40 % of its 48 MiB and then
stalls, so that the progress dialog holds still. Usage:
stand-in-update-service.py PORT. For screenshots only."""
import http.server
import sys
import time

PORT = int(sys.argv[1])
IMAGE = "/Nuvexa-Device-Controller-2.0.dmg"
SIZE = 48 << 20


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith("/update"):
            body = ("<update>\n  <latest_build>200</latest_build>\n  <download_url>http://127.0.0.1:%d%s"
                    "</download_url>\n</update>\n" % (PORT, IMAGE)).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif self.path == IMAGE:
            self.send_response(200)
            self.send_header("Content-Length", str(SIZE))
            self.end_headers()
            self.wfile.write(bytes(SIZE * 2 // 5))
            self.wfile.flush()
            time.sleep(600)
        else:
            self.send_error(404)

    def log_message(self, *arguments):
        pass


http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Handler).serve_forever()
