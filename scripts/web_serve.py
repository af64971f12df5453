#!/usr/bin/python3
"""Serves a folder on localhost with the headers that make the page cross-origin isolated
(so that it may run worker threads on shared memory); --plain leaves them out, as a host that
sends no such headers. Port 0 takes a free one. Usage: web_serve.py FOLDER PORT [--plain]"""
import functools
import http.server
import sys


class IsolatedHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    isolated = True

    def end_headers(self):
        if self.isolated:
            self.send_header("Cross-Origin-Opener-Policy", "same-origin")
            self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def log_message(self, *args):
        pass


def main():
    folder, port = sys.argv[1], int(sys.argv[2])
    IsolatedHandler.isolated = "--plain" not in sys.argv[3:]
    handler = functools.partial(IsolatedHandler, directory=folder)
    with http.server.ThreadingHTTPServer(("127.0.0.1", port), handler) as server:
        print(f"Pallimor in the browser: http://localhost:{server.server_address[1]}/", flush=True)
        server.serve_forever()


if __name__ == "__main__":
    main()
