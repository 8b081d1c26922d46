#!/usr/bin/env python3
"""A course-list server on loopback for trying the tool without the internet.

Serves one course list document for every GET whose path ends with
/lutegate/lutegate.xml, in origin form or in the absolute form that a client
sends to a proxy, so that the tool reaches it through http_proxy with its own
server address unchanged. Listens on 127.0.0.1 only, on a port the system
chooses, and writes that port to the file named by --port-file.
"""
import argparse
import http.server
import os
import sys
import urllib.parse

PATH = "/lutegate/lutegate.xml"


def make_handler(document):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            path = urllib.parse.urlsplit(self.path).path
            if path != PATH:
                self.send_error(404)
                return
            self.send_response(200)
            self.send_header("Content-Type", "text/xml")
            self.send_header("Content-Length", str(len(document)))
            self.end_headers()
            self.wfile.write(document)

        def log_message(self, fmt, *args):
            sys.stderr.write("course-list server: " + (fmt % args) + "\n")

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--document", default=os.path.join(os.path.dirname(__file__), "lutegate.xml"))
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    with open(args.document, "rb") as f:
        document = f.read()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), make_handler(document))
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(args.port_file + ".tmp", args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
